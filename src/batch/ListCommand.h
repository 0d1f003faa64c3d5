// drsprep-batch list: the deal grid with its marks, as "Показать/обновить"
// leaves it, or the accounts of the unmarked deals.
#pragma once

#include <string>
#include <vector>

namespace drs::batch {

// The usage text of the command.
const char* ListUsage();
// Runs the command on the arguments after "list"; returns the exit code.
int RunList(const std::vector<std::string>& args);

}  // namespace drs::batch
