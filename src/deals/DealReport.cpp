#include "deals/DealReport.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "deals/ActiveFormat.h"
#include "deals/DealGrid.h"
#include "platform/Files.h"
#include "utils/Cp1251.h"
#include "utils/FileIO.h"
#include "utils/NumberText.h"
#include "utils/Pages.h"
#include "utils/Scan.h"
#include "utils/Utils.h"

namespace drs {

std::string ReportFileName(std::string_view editText) {
  if (!editText.empty() && editText.front() == '"') {
    editText.remove_prefix(1);
    if (!editText.empty()) editText.remove_suffix(1);
  }
  return std::string(editText);
}

std::string_view ProcessAccount(std::string_view field, std::string& scratch) {
  if (IsBlank(field)) return "?";
  std::string_view account = field;
  const size_t slash = account.find('/');
  if (slash != std::string_view::npos) {
    account = account.substr(0, slash + 1);
    if (account.find(' ') != std::string_view::npos) {
      scratch.assign(account);
      scratch.erase(std::remove(scratch.begin(), scratch.end(), ' '), scratch.end());
      account = scratch;
    }
  }
  const size_t zeros = account.find_first_not_of('0');
  account.remove_prefix(zeros == std::string_view::npos ? account.size() : zeros);
  return account;
}

std::string ProcessAccount(std::string_view field) {
  std::string scratch;
  return std::string(ProcessAccount(field, scratch));
}

namespace {

// FindField with one separator, found sixteen bytes at a step.
FieldSpan FindFieldOf(std::string_view line, char sep, int n) {
  FieldSpan span;
  span.begin = line.size();
  if (n <= 0) return span;
  const char* at = line.data();
  const char* const stop = at + line.size();
  for (int i = 1; i < n; ++i) {
    at = FindByte(at, stop, sep);
    if (at == stop) return span;
    ++at;
  }
  span.begin = static_cast<size_t>(at - line.data());
  span.length = static_cast<size_t>(FindByte(at, stop, sep) - at);
  span.found = true;
  return span;
}

}  // namespace

void ReportLines::Clear() {
  std::string().swap(text_);
  HugePageVector<size_t>().swap(starts_);
  amendedFrom_ = 0;
}

std::string_view ReportLines::LineAt(std::string_view text, size_t offset) {
  const char* begin = text.data() + offset;
  return std::string_view(begin, size_t(FindLineBreak(begin, text.data() + text.size()) - begin));
}

void ReportLines::Parse(std::string utf8Text, char fieldSep, int clientIdField) {
  text_ = std::move(utf8Text);
  starts_.clear();
  const size_t size = text_.size();
  // One start per line end, counted first: a growing vector would hold its
  // old and new storage at once.
  starts_.reserve(CountByte(text_.data(), text_.data() + size, '\n') + 1);
  std::vector<std::string> amended;  // lines that got a "?" account
  std::vector<size_t> amendedAt;
  size_t pos = 0;
  while (pos < size) {
    // The nearer of the next LF and the next CR ends the line.
    const char* base = text_.data();
    const size_t end = static_cast<size_t>(FindLineBreak(base + pos, base + size) - base);
    std::string_view line(base + pos, end - pos);
    size_t next = end;
    if (next < size) next += (text_[next] == '\r' && next + 1 < size && text_[next + 1] == '\n') ? 2 : 1;
    if (!IsBlank(line)) {
      const FieldSpan account = FindFieldOf(line, fieldSep, clientIdField);
      // A line too short to hold the account field is left as it is: its
      // account shows as "?" all the same, and its other fields stay intact.
      if (account.found && account.length == 0) {
        std::string withMark;
        withMark.reserve(line.size() + 1);
        withMark.append(line.substr(0, account.begin));
        withMark += '?';
        withMark.append(line.substr(account.begin));
        amendedAt.push_back(starts_.size());
        amended.push_back(std::move(withMark));
      }
      starts_.push_back(pos);
    }
    pos = next;
  }
  // The amended copies behind the text, each ended by a line break, as is
  // the text's last line before them.
  if (!amended.empty() && size > 0 && text_.back() != '\n' && text_.back() != '\r') text_ += '\n';
  amendedFrom_ = text_.size();
  for (size_t i = 0; i < amended.size(); ++i) {
    starts_[amendedAt[i]] = text_.size();
    text_.append(amended[i]);
    text_ += '\n';
  }
}

std::string DecodeReport(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8);
  const size_t n = bytes.size();
  const char* data = bytes.data();
  size_t i = 0;
  while (i < n) {
    size_t j = i;
    // Eight bytes at a time while none has its high bit set.
    while (j + 8 <= n) {
      uint64_t word;
      std::memcpy(&word, data + j, 8);
      if (word & 0x8080808080808080ULL) break;
      j += 8;
    }
    while (j < n && static_cast<unsigned char>(data[j]) < 0x80) ++j;
    out.append(data + i, j - i);
    i = j;
    while (j < n && static_cast<unsigned char>(data[j]) >= 0x80) ++j;
    if (j > i) out += Cp1251ToUtf8(bytes.substr(i, j - i));
    i = j;
  }
  return out;
}

void DecodeReportInPlace(std::string& bytes) {
  // The UTF-8 text of each byte from 0x80, and so the decoded size.
  static const std::vector<std::string> kHigh = [] {
    std::vector<std::string> table;
    for (int b = 0x80; b <= 0xFF; ++b) table.push_back(Cp1251ToUtf8(std::string(1, static_cast<char>(b))));
    return table;
  }();
  const size_t n = bytes.size();
  size_t decoded = n;
  bool ascii = true;
  const char* const stop = bytes.data() + n;
  for (const char* at = FindHighByte(bytes.data(), stop); at < stop; at = FindHighByte(at + 1, stop)) {
    ascii = false;
    decoded += kHigh[static_cast<unsigned char>(*at) - 0x80].size() - 1;
  }
  if (ascii) return;
  if (decoded > bytes.capacity()) {
    bytes = DecodeReport(bytes);
    return;
  }
  // From the end backwards: the decoded text is never shorter, so no byte is
  // overwritten before it is read.
  size_t src = bytes.size();
  size_t dst = decoded;
  bytes.resize(decoded);
  char* data = bytes.data();
  while (src > 0) {
    size_t run = src;
    while (run >= 8) {
      uint64_t word;
      std::memcpy(&word, data + run - 8, 8);
      if (word & 0x8080808080808080ULL) break;
      run -= 8;
    }
    while (run > 0 && static_cast<unsigned char>(data[run - 1]) < 0x80) --run;
    dst -= src - run;
    if (dst != run) std::memmove(data + dst, data + run, src - run);
    src = run;
    if (src == 0) break;
    const std::string& utf8 = kHigh[static_cast<unsigned char>(data[src - 1]) - 0x80];
    dst -= utf8.size();
    std::memcpy(data + dst, utf8.data(), utf8.size());
    --src;
  }
}

bool ReadReport(const std::string& path, char fieldSep, int clientIdField, ReportLines& lines,
                std::string& error) {
  std::string bytes;
  std::string reason;
  // Room to decode in place; pages never written cost no memory.
  platform::FileInfo st;
  if (platform::PathInfo(path, st) && st.regular && st.size > 0) {
    const size_t size = static_cast<size_t>(st.size);
    bytes.reserve(size + size / 2 + 4096);
    AdviseHugePages(bytes.data(), bytes.capacity());
  }
  if (!ReadFileBytes(path, bytes, &reason)) {
    error = "Ошибка чтения файла " + path + ": " + reason;
    return false;
  }
  // A UTF-8 byte-order mark (an editor's doing) would otherwise stick to the
  // first field of the first deal, and with the account there unmark it.
  if (std::string_view(bytes).substr(0, 3) == "\xEF\xBB\xBF") bytes.erase(0, 3);
  DecodeReportInPlace(bytes);
  std::string text = std::move(bytes);
  lines.Parse(std::move(text), fieldSep, clientIdField);
  return true;
}

namespace {

struct ColumnPlan {
  int col;
  int field;             // a number below 1 gives the empty text
  bool account = false;  // the processed account instead of a field
};

}  // namespace

bool FillDealGrid(ReportLines& lines, const ActiveFormat& format, DealGrid& grid,
                  const std::function<bool(int)>& keep, std::string& error) {
  grid.SetRowCount(1);
  if (lines.Count() == 0) return true;

  const int accountPos = format.clientIdCol + 1;
  std::vector<ColumnPlan> plan;
  int maxField = std::max(format.clientIdField, 1);
  const int entries = static_cast<int>(format.entries.size());
  for (int i = 1; i <= entries; ++i) {
    const FormatRow* entry = format.FindEntry(kGridPos, std::to_string(i));
    if (!entry) continue;
    if (i == accountPos) {
      if (i - 1 < grid.ColCount()) plan.push_back({i - 1, 0, true});  // else never shown
      continue;
    }
    int field = 0;
    if (!TryStrToInt((*entry)[kFileFieldNo], field)) {
      error = NotAnIntegerMessage((*entry)[kFileFieldNo]);
      return false;
    }
    if (i - 1 >= grid.ColCount()) continue;  // beyond the grid: never shown
    plan.push_back({i - 1, field});
    maxField = std::max(maxField, field);
  }

  const CharSet seps = MakeCharSet(std::string_view(&format.fieldSepChar, 1));
  const char sep = format.fieldSepChar;
  const size_t maxFields = static_cast<size_t>(std::min(maxField, 4096));
  // Where fields end: the separators up to the last field the plan needs.
  std::vector<size_t> sepAt(maxFields);
  std::vector<std::string_view> cells(static_cast<size_t>(grid.ColCount()));
  std::string account;

  // The rows are packed into the report's own text as it is read: each row's
  // cells are no longer than its line, and the lines before it are done.
  const size_t count = lines.Count();
  grid.BeginPacking(lines.TakeText(), count);
  const std::string_view text = grid.PackingText();
  for (size_t i = 0; i < count; ++i) {
    if (keep && !keep(static_cast<int>(i + 1))) continue;
    const std::string_view line = ReportLines::LineAt(text, lines.Offset(i));
    // Field boundaries up to the last field the plan needs, in one scan:
    // field n ends at separator n, the line's last field at its end.
    const size_t seen = FindBytes(line.data(), line.data() + line.size(), sep, sepAt.data(), maxFields);
    const size_t found = seen < maxFields ? seen + 1 : maxFields;
    auto field = [&](int n) -> std::string_view {
      if (n < 1) return {};
      const size_t k = static_cast<size_t>(n);
      if (k <= found) {
        const size_t start = k == 1 ? 0 : sepAt[k - 2] + 1;
        return line.substr(start, (k <= seen ? sepAt[k - 1] : line.size()) - start);
      }
      if (k <= maxFields) return {};
      FieldSpan span = FindField(line, seps, n);  // beyond the scanned fields
      return line.substr(span.begin, span.length);
    };
    for (std::string_view& cell : cells) cell = {};
    for (const ColumnPlan& p : plan) {
      if (p.account) {
        cells[static_cast<size_t>(p.col)] = ProcessAccount(field(format.clientIdField), account);
      } else {
        cells[static_cast<size_t>(p.col)] = field(p.field);
      }
    }
    // An amended line is a copy at the end of the text: its row goes aside.
    const size_t limit = lines.Amended(i) ? 0 : lines.Offset(i) + line.size();
    grid.AppendPackedRow(cells.data(), limit);
  }
  grid.EndPacking();
  lines.Clear();
  return true;
}

}  // namespace drs
