// drsprep-batch export: the marked deals into the output deal table, as the
// "Экспорт" button does, optionally followed by the turnovers.
#pragma once

#include <string>
#include <vector>

namespace drs::batch {

const char* ExportUsage();
// Runs the command on the arguments after "export"; returns the exit code.
int RunExport(const std::vector<std::string>& args);

}  // namespace drs::batch
