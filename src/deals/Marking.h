// Marking of deals by the account range, the marks themselves and the list
// of accounts of unmarked deals.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace drs {

class DealGrid;
class ReplaceLists;
struct ActiveFormat;

// The marked deal rows (from 1). A row is marked or not; the count is kept.
class MarkedRows {
 public:
  bool IsMarked(int row) const {
    const size_t r = static_cast<size_t>(row);
    return row > 0 && r / 64 < words_.size() && (words_[r / 64] >> (r % 64) & 1) != 0;
  }
  // Room for the marks of rows below `rows` at once (a grid's rows).
  void SizeFor(int rows);
  // True when the mark changed.
  bool Mark(int row);
  bool Unmark(int row);
  void Clear();
  int Count() const { return count_; }
  bool Empty() const { return count_ == 0; }
  // Marked rows in ascending order (the order the export walks them).
  std::vector<int> Rows() const;

 private:
  std::vector<uint64_t> words_;  // a bit per row
  int count_ = 0;
};

// Accounts in list order, repeats allowed, with a case-insensitive index for
// the "unless already there" checks.
class AccountList {
 public:
  const std::vector<std::string>& Items() const { return items_; }
  bool Contains(std::string_view account) const;
  void Add(std::string account);
  // Adds only when no equal account (ignoring case) is listed.
  void AddUnique(std::string account);
  // Removes the first equal account; false when none.
  bool Remove(std::string_view account);
  void Clear();
  bool Empty() const { return items_.empty(); }

 private:
  std::vector<std::string> items_;
  std::unordered_map<std::string, int> counts_;  // folded account -> occurrences
};

// The account made comparable with a bound: one trailing "/" dropped, padded
// on the left with "0" to 8 characters.
std::string ComparableAccount(std::string_view account);
// Byte order of the 1251 texts.
int CompareAccounts(std::string_view a, std::string_view b);

// Both marking passes over the deal rows, with `marks` emptied by the caller.
// The lower-bound pass applies the substitutions to the account column.
// `unmarked` is given in the full view only.
void MarkByRange(DealGrid& grid, const ActiveFormat& format, const ReplaceLists& lists,
                 const std::string& minBound, const std::string& maxBound, MarkedRows& marks,
                 AccountList* unmarked);

// The deal key of a row: account, buy/sell code and order (or deal) number
// cells joined; empty for a row beyond the grid.
std::string DealKeyOf(const DealGrid& grid, const ActiveFormat& format, int row);
// Two rows belong to one order: equal account, buy/sell code and number,
// cell by cell (joined keys could match across the cell borders). A row
// beyond the grid has empty cells.
bool SameDeal(const DealGrid& grid, const ActiveFormat& format, int a, int b);
// The row belongs to one order with the row before or after it.
bool IsRelatedRow(const DealGrid& grid, const ActiveFormat& format, int row);

// A bound's text passes the digit check: blank, or digits 0-9 alone.
bool BoundDigitsOk(const std::string& text);
// The digit check of a bound edit: while the text is not blank and holds a
// character other than 0-9, its last character is removed and
// "Допустимы только цифры!!!" shown. Returns the text left.
std::string CheckBoundDigits(std::string text);

// The journal's lines for the unmarked accounts.
std::vector<std::string> UnmarkedJournalLines(const std::vector<std::string>& accounts);

}  // namespace drs
