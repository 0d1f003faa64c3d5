// What every drsprep-batch command shares: option parsing, messages on
// stderr, stored settings and text files read line by line.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/Messages.h"
#include "support/SettingsFile.h"

namespace drs {
class DealList;
}

namespace drs::batch {

// Exit codes of every command.
constexpr int kExitOk = 0;
constexpr int kExitStopped = 1;  // a message stopped the operation
constexpr int kExitUsage = 2;

struct Options {
  std::map<std::string, std::string> values;  // "--name" -> value
  std::set<std::string> flags;
  bool help = false;

  bool Has(const std::string& name) const { return values.count(name) > 0; }
  const std::string& Value(const std::string& name) const { return values.at(name); }
};

// Parses "--name value" and "--flag" arguments; false with the reason on an
// unknown option, a missing value or an option given twice.
bool ParseOptions(const std::vector<std::string>& args, const std::set<std::string>& valueOptions,
                  const std::set<std::string>& flagOptions, Options& options, std::string& error);

// Prints every message on stderr, one per line (details indented), answers
// questions "Нет" and counts the errors shown.
class StderrMessages : public MessageHandler {
 public:
  int Show(const MessageRequest& request) override;
  int Errors() const { return errors_; }
  void ResetErrors() { errors_ = 0; }

 private:
  int errors_ = 0;
};

// The option's value, else the main window's stored property.
std::string Pick(const Options& options, const std::string& option, const StoredProperty& stored);

enum class LoadOutcome {
  Refused,     // a message stopped it before the report was read (no counters)
  Incomplete,  // the report step ran but a message was shown or it was not read
  Loaded,
};
// The deal list as the window has it after its show sequence and
// "Показать/обновить": the substitution list (--replace-list or the stored
// one), the format (--format or ParamsFileName), the bounds and the report.
LoadOutcome LoadDeals(const Options& options, DealList& deals, StderrMessages& messages);

// The lines of a 1251 text file, decoded; CR LF, LF and a lone CR end a
// line. False with a message text when the file cannot be read.
bool ReadTextLines(const std::string& path, std::vector<std::string>& lines, std::string& error);

// Writes to stdout in large pieces.
class OutBuffer {
 public:
  ~OutBuffer() { Flush(); }
  void Add(std::string_view text);
  void Flush();

 private:
  std::string buffer_;
};

}  // namespace drs::batch
