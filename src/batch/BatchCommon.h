// What every drsprep-batch command shares: option parsing, messages on
// stderr, stored settings and text files read line by line.
#pragma once

#include <map>
#include <optional>
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
constexpr int kExitStopped = 1;  // a message stopped the operation, or output was lost
constexpr int kExitUsage = 2;

struct Options {
  std::map<std::string, std::string> values;  // "--name" -> value
  std::set<std::string> flags;
  bool help = false;

  bool Has(const std::string& name) const { return values.count(name) > 0; }
  const std::string& Value(const std::string& name) const { return values.at(name); }
};

// Parses "--name value" and "--flag" arguments; false with the reason on an
// unknown option, a missing value, an option given twice or a bound (--min,
// --max) that is neither blank nor digits.
bool ParseOptions(const std::vector<std::string>& args, const std::set<std::string>& valueOptions,
                  const std::set<std::string>& flagOptions, Options& options, std::string& error);

// Prints every message and journal line on stderr, one per line (details
// indented), answers questions "Нет" and counts the errors shown. A message
// that says again what the journal line just printed said (the first few of
// a message that may come once per input line are both) is not printed twice.
class StderrMessages : public MessageHandler {
 public:
  int Show(const MessageRequest& request) override;
  void JournalLine(const std::string& line) override;
  int Errors() const { return errors_; }
  void ResetErrors() { errors_ = 0; }

 private:
  bool RepeatsJournalLine(const MessageRequest& request) const;
  int errors_ = 0;
  std::optional<std::string> lastJournalLine_;  // printed last, nothing since
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

// Writes to stdout in large pieces; after a failed write the rest is dropped
// (FinishOutput reports it).
class OutBuffer {
 public:
  ~OutBuffer() { Flush(); }
  void Add(std::string_view text);
  void Flush();

 private:
  std::string buffer_;
};

// Flushes stdout, noting the reason when a write fails.
void FlushStdout();
// The exit status once the command is done: stdout is flushed, and when a
// write to stdout or stderr failed (a full disk, a closed descriptor) what
// was printed is incomplete, so success becomes kExitStopped, with a message
// on stderr while stderr still takes one.
int FinishOutput(int status);

}  // namespace drs::batch
