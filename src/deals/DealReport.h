// Reading the exchange's deal report into the deal grid.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "utils/Pages.h"

namespace drs {

class DealGrid;
struct ActiveFormat;

// The report's name as typed: a name beginning with a double quote loses its
// first and last character.
std::string ReportFileName(std::string_view editText);

// The account as the grid shows it: "?" for a blank field; after a "/" the
// rest is cut off and the spaces up to it removed; leading zeros removed.
std::string ProcessAccount(std::string_view field);
// The same as a view of `field`, or of `scratch` when spaces were removed.
std::string_view ProcessAccount(std::string_view field, std::string& scratch);

// The kept (non-blank) lines of a report, decoded from 1251. A line whose
// account field is empty has "?" put at the start of that field.
class ReportLines {
 public:
  // CR LF, LF and a lone CR each end a line.
  void Parse(std::string utf8Text, char fieldSep, int clientIdField);
  size_t Count() const { return starts_.size(); }
  std::string_view Line(size_t index) const { return LineAt(text_, starts_[index]); }
  // Where the line lies in the text (TakeText): a line that got a "?" is a
  // copy behind all the others. Only where a line starts is kept: it ends at
  // its line break, which LineAt finds.
  size_t Offset(size_t index) const { return starts_[index]; }
  static std::string_view LineAt(std::string_view text, size_t offset);
  bool Amended(size_t index) const { return starts_[index] >= amendedFrom_; }
  // The text all lines lie in; the lines stay until Clear.
  std::string TakeText() { return std::move(text_); }
  void Clear();

 private:
  std::string text_;
  HugePageVector<size_t> starts_;
  size_t amendedFrom_ = 0;  // lines from here on are amended copies
};

// 1251 bytes to UTF-8, quick on the long ASCII stretches of a report.
std::string DecodeReport(std::string_view bytes);

// DecodeReport of `bytes`, written over them when their capacity holds the
// decoded text (no second copy of a report), else through a copy.
void DecodeReportInPlace(std::string& bytes);

// Reads and decodes the report file. False with a message text when it
// cannot be read.
bool ReadReport(const std::string& path, char fieldSep, int clientIdField, ReportLines& lines,
                std::string& error);

// Fills the grid's deal rows (the header row stays) from the lines for which
// `keep(lineNumber)` holds (numbers from 1; every line when not set), in
// order, as the format places the fields. The lines' text becomes the grid's
// store, so `lines` is left empty. False with the message when the format's
// field numbers cannot be used; the grid then holds no deal rows.
bool FillDealGrid(ReportLines& lines, const ActiveFormat& format, DealGrid& grid,
                  const std::function<bool(int)>& keep, std::string& error);

}  // namespace drs
