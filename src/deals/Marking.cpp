#include "deals/Marking.h"

#include <algorithm>

#include "deals/ActiveFormat.h"
#include "deals/DealGrid.h"
#include "deals/ReplaceList.h"
#include "support/Messages.h"
#include "utils/Cp1251.h"
#include "utils/Scan.h"
#include "utils/TextCase.h"
#include "utils/Utils.h"

namespace drs {

namespace {

constexpr size_t kAccountWidth = 8;

bool StartsWithDigit(std::string_view text) { return !text.empty() && text[0] >= '0' && text[0] <= '9'; }

bool IsAscii(std::string_view text) {
  return FindHighByte(text.data(), text.data() + text.size()) == text.data() + text.size();
}

}  // namespace

bool MarkedRows::Mark(int row) {
  if (row <= 0) return false;
  const size_t r = static_cast<size_t>(row);
  if (r / 64 >= words_.size()) words_.resize(std::max(r / 64 + 1, words_.size() * 2), 0);
  uint64_t& word = words_[r / 64];
  const uint64_t bit = uint64_t(1) << (r % 64);
  if (word & bit) return false;
  word |= bit;
  ++count_;
  return true;
}

void MarkedRows::SizeFor(int rows) {
  const size_t words = rows > 0 ? (static_cast<size_t>(rows) + 63) / 64 : 0;
  if (words > words_.size()) words_.resize(words, 0);
}

bool MarkedRows::Unmark(int row) {
  if (!IsMarked(row)) return false;
  const size_t r = static_cast<size_t>(row);
  words_[r / 64] &= ~(uint64_t(1) << (r % 64));
  --count_;
  return true;
}

void MarkedRows::Clear() {
  words_.clear();
  count_ = 0;
}

std::vector<int> MarkedRows::Rows() const {
  std::vector<int> rows;
  rows.reserve(static_cast<size_t>(count_));
  for (size_t w = 0; w < words_.size(); ++w) {
    for (uint64_t bits = words_[w]; bits != 0; bits &= bits - 1)
      rows.push_back(static_cast<int>(w * 64 + static_cast<size_t>(__builtin_ctzll(bits))));
  }
  return rows;
}

bool AccountList::Contains(std::string_view account) const { return counts_.count(FoldCase(account)) > 0; }

void AccountList::Add(std::string account) {
  ++counts_[FoldCase(account)];
  items_.push_back(std::move(account));
}

void AccountList::AddUnique(std::string account) {
  std::string folded = FoldCase(account);
  auto [it, added] = counts_.emplace(std::move(folded), 1);
  if (!added) return;
  items_.push_back(std::move(account));
}

bool AccountList::Remove(std::string_view account) {
  auto it = counts_.find(FoldCase(account));
  if (it == counts_.end()) return false;
  auto pos =
      std::find_if(items_.begin(), items_.end(), [&](const std::string& s) { return SameText(s, account); });
  if (pos != items_.end()) items_.erase(pos);
  if (--it->second == 0) counts_.erase(it);
  return true;
}

void AccountList::Clear() {
  items_.clear();
  counts_.clear();
}

std::string ComparableAccount(std::string_view account) {
  if (!account.empty() && account.back() == '/') account.remove_suffix(1);
  size_t chars = CharCount(account);
  std::string out;
  if (chars < kAccountWidth) out.assign(kAccountWidth - chars, '0');
  out.append(account);
  return out;
}

int CompareAccounts(std::string_view a, std::string_view b) {
  // UTF-8 and 1251 order agree on ASCII; other letters are compared in 1251.
  if (IsAscii(a) && IsAscii(b)) return a.compare(b);
  return std::string_view(Utf8ToCp1251(a)).compare(Utf8ToCp1251(b));
}

namespace {

// CompareAccounts(ComparableAccount(account), bound) for a bound already
// comparable, without building the padded text for ASCII accounts.
int CompareWithBound(std::string_view account, const std::string& bound, bool boundAscii) {
  if (!boundAscii || !IsAscii(account)) return CompareAccounts(ComparableAccount(account), bound);
  if (!account.empty() && account.back() == '/') account.remove_suffix(1);
  const size_t pad = account.size() < kAccountWidth ? kAccountWidth - account.size() : 0;
  const size_t length = pad + account.size();
  for (size_t i = 0; i < length && i < bound.size(); ++i) {
    const unsigned char a = static_cast<unsigned char>(i < pad ? '0' : account[i - pad]);
    const unsigned char b = static_cast<unsigned char>(bound[i]);
    if (a != b) return a < b ? -1 : 1;
  }
  return length < bound.size() ? -1 : length > bound.size() ? 1 : 0;
}

}  // namespace

void MarkByRange(DealGrid& grid, const ActiveFormat& format, const ReplaceLists& lists,
                 const std::string& minBound, const std::string& maxBound, MarkedRows& marks,
                 AccountList* unmarked) {
  const int col = format.clientIdCol;
  const int rows = grid.RowCount();
  const bool hasMin = !IsBlank(minBound);
  const bool hasMax = !IsBlank(maxBound);
  marks.SizeFor(rows);

  // One pass: a row is marked against the lower bound, then unmarked
  // against the upper one.
  const std::string low = hasMin ? ComparableAccount(minBound) : std::string();
  const std::string high = hasMax ? ComparableAccount(maxBound) : std::string();
  const bool lowAscii = IsAscii(low);
  const bool highAscii = IsAscii(high);
  // Deals of one client come together: the code before is tried first.
  std::string lastCode;
  const std::string* lastTo = nullptr;
  bool haveLast = false;
  std::vector<std::string> aboveMax;  // unmarked by the upper bound, listed after the others
  for (int r = 1; r < rows; ++r) {
    std::string_view cell = grid.Cell(col, r);
    if (IsBlank(cell)) continue;
    if (hasMin) {
      std::string_view code = cell;
      if (code.back() == '/') code.remove_suffix(1);
      if (!haveLast || code != lastCode) {
        lastTo = lists.FindReplacement(code);
        lastCode.assign(code);
        haveLast = true;
      }
      bool notAnAccount = false;
      if (const std::string* to = lastTo) {
        std::string before(code);
        grid.SetCell(col, r, *to);
        cell = grid.Cell(col, r);
        if (!StartsWithDigit(cell)) {
          if (unmarked) unmarked->Add(std::move(before));
          notAnAccount = true;
        }
      } else if (!StartsWithDigit(cell)) {
        if (unmarked) unmarked->Add(std::string(code));
        notAnAccount = true;
      }
      if (!notAnAccount && CompareWithBound(cell, low, lowAscii) >= 0) marks.Mark(r);
    }
    if (hasMax) {
      if (IsBlank(cell) || !StartsWithDigit(cell)) continue;
      if (CompareWithBound(cell, high, highAscii) > 0) {
        if (marks.Unmark(r) && unmarked) aboveMax.emplace_back(cell);
      } else if (!hasMin) {
        marks.Mark(r);
      }
    }
  }
  if (unmarked)
    for (std::string& account : aboveMax) unmarked->AddUnique(std::move(account));
}

std::string DealKeyOf(const DealGrid& grid, const ActiveFormat& format, int row) {
  if (row < 1 || row >= grid.RowCount()) return {};
  std::string key(grid.Cell(format.clientIdCol, row));
  key.append(grid.Cell(format.operCodCol, row));
  key.append(grid.Cell(format.numberCol, row));
  return key;
}

bool SameDeal(const DealGrid& grid, const ActiveFormat& format, int a, int b) {
  auto cell = [&](int col, int row) {
    return row < 1 || row >= grid.RowCount() ? std::string_view() : grid.Cell(col, row);
  };
  return cell(format.clientIdCol, a) == cell(format.clientIdCol, b) &&
         cell(format.operCodCol, a) == cell(format.operCodCol, b) &&
         cell(format.numberCol, a) == cell(format.numberCol, b);
}

bool IsRelatedRow(const DealGrid& grid, const ActiveFormat& format, int row) {
  const int last = grid.RowCount() - 1;
  if (row < 1 || row > last) return false;
  if (row == 1) return SameDeal(grid, format, row, 2);
  if (row == last) return SameDeal(grid, format, row, row - 1);
  return SameDeal(grid, format, row, row - 1) || SameDeal(grid, format, row, row + 1);
}

bool BoundDigitsOk(const std::string& text) {
  return IsBlank(text) || std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string CheckBoundDigits(std::string text) {
  int messages = 0;
  while (!BoundDigitsOk(text)) {
    size_t chars = CharCount(text);
    text.resize(ByteOffsetOfChar(text, chars - 1));
    ++messages;
  }
  for (int i = 0; i < messages; ++i) ShowError("Допустимы только цифры!!!");
  return text;
}

std::vector<std::string> UnmarkedJournalLines(const std::vector<std::string>& accounts) {
  if (accounts.empty()) return {};
  const std::string rule(27, '-');
  std::vector<std::string> lines;
  lines.reserve(accounts.size() + 3);
  lines.push_back("Список неотмеченных счетов");
  lines.push_back(rule);
  lines.insert(lines.end(), accounts.begin(), accounts.end());
  lines.push_back(rule);
  return lines;
}

}  // namespace drs
