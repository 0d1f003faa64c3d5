// drsprep-batch: the deal list pipeline from the command line, for scripts
// and machines without a display.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "Version.h"
#include "batch/BatchCommon.h"
#include "batch/ExportCommand.h"
#include "batch/ListCommand.h"
#include "platform/Process.h"
#include "utils/Utils.h"

namespace {

struct Command {
  const char* name;
  int (*run)(const std::vector<std::string>& args);
  const char* (*usage)();
};

const Command kCommands[] = {
    {"list", drs::batch::RunList, drs::batch::ListUsage},
    {"export", drs::batch::RunExport, drs::batch::ExportUsage},
};

void PrintUsage(std::FILE* to) {
  std::fprintf(to, "Использование:\n");
  for (const Command& command : kCommands) std::fprintf(to, "%s", command.usage());
  std::fprintf(to, "  drsprep-batch --help\n");
  std::fprintf(to, "  drsprep-batch --version\n");
}

int Run(const std::vector<std::string>& argv) {
  if (argv.size() < 2) {
    PrintUsage(stderr);
    return drs::batch::kExitUsage;
  }
  std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    PrintUsage(stdout);
    return drs::batch::kExitOk;
  }
  if (name == "--version") {
    std::printf("drsprep-batch %s\n", drs::kVersion);
    return drs::batch::kExitOk;
  }
  std::vector<std::string> args(argv.begin() + 2, argv.end());
  for (const Command& command : kCommands) {
    if (name != command.name) continue;
    try {
      return command.run(args);
    } catch (const std::exception& error) {
      // What the window's general error report would show.
      std::fprintf(stderr, "%s\n", error.what());
      return drs::batch::kExitStopped;
    }
  }
  std::fprintf(stderr, "Неизвестная команда: %s\n", name.c_str());
  PrintUsage(stderr);
  return drs::batch::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  drs::SetRussianDateNames();
  drs::platform::PrepareConsole();
  // What a script reads from us must be whole, or the exit status says so.
  return drs::batch::FinishOutput(Run(drs::platform::Arguments(argc, argv)));
}
