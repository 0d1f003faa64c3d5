#include <gtest/gtest.h>

#include "RecordingMessages.h"

#include "deals/ActiveFormat.h"
#include "deals/DealGrid.h"
#include "deals/Marking.h"
#include "deals/ReplaceList.h"
#include "support/Messages.h"

namespace drs {
namespace {

using test::Recorder;

// Grid columns: account, buy/sell, order number.
class MarkingTest : public ::testing::Test {
 protected:
  MarkingTest() : scope_(&rec) {
    format.clientIdCol = 0;
    format.operCodCol = 1;
    format.numberCol = 2;
    grid.SetColCount(3);
  }
  void Accounts(const std::vector<std::string>& accounts) {
    grid.SetRowCount(1);
    for (const std::string& a : accounts) {
      int r = grid.AppendRow();
      grid.SetCell(0, r, a);
      grid.SetCell(1, r, "B");
      grid.SetCell(2, r, std::to_string(r));
    }
  }
  void Mark(const std::string& lo, const std::string& hi, bool fullView = true) {
    marks.Clear();
    MarkByRange(grid, format, lists, lo, hi, marks, fullView ? &unmarked : nullptr);
  }
  std::vector<int> Marked() const { return marks.Rows(); }

  Recorder rec;
  ActiveFormat format;
  DealGrid grid;
  ReplaceLists lists;
  MarkedRows marks;
  AccountList unmarked;

 private:
  ScopedMessageHandler scope_;
};

TEST_F(MarkingTest, BothBoundsIncludeTheBoundsAndListOnlyAccountsAbove) {
  Accounts({"100", "150/", "200", "99", "201"});
  Mark("100", "200");
  EXPECT_EQ(Marked(), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(unmarked.Items(), (std::vector<std::string>{"201"}));
  // Accounts above the upper bound are listed after those that are no number.
  unmarked.Clear();
  Accounts({"201", "XYZ", "xyz", "201"});
  Mark("100", "200");
  EXPECT_EQ(unmarked.Items(), (std::vector<std::string>{"XYZ", "xyz", "201"}));
}

TEST_F(MarkingTest, OnlyUpperBoundMarksUpToItWithoutSubstitution) {
  lists.ParseLine("$ABC=150;", 1);
  Accounts({"100", "200", "201", "ABC"});
  Mark("", "200");
  EXPECT_EQ(Marked(), (std::vector<int>{1, 2}));
  EXPECT_TRUE(unmarked.Items().empty());
  EXPECT_EQ(grid.Cell(0, 4), "ABC");
}

TEST_F(MarkingTest, OnlyLowerBoundAndNoBound) {
  Accounts({"99", "100", "99999999"});
  Mark("100", "");
  EXPECT_EQ(Marked(), (std::vector<int>{2, 3}));
  Mark("", " ");
  EXPECT_TRUE(Marked().empty());
}

TEST_F(MarkingTest, LetterAccountWithLowerBoundIsListedOncePerDeal) {
  Accounts({"ABC", "150", "ABC", "abc/"});
  Mark("100", "200");
  EXPECT_EQ(Marked(), (std::vector<int>{2}));
  EXPECT_EQ(unmarked.Items(), (std::vector<std::string>{"ABC", "ABC", "abc"}));
}

TEST_F(MarkingTest, SubstitutionMarksAndShowsTheSettlementAccount) {
  lists.ParseLine("$ABC=150;", 1);
  Accounts({"ABC", "abc/", "XYZ"});
  Mark("100", "200");
  EXPECT_EQ(Marked(), (std::vector<int>{1, 2}));
  EXPECT_EQ(grid.Cell(0, 1), "150");
  EXPECT_EQ(grid.Cell(0, 2), "150");
  EXPECT_EQ(unmarked.Items(), (std::vector<std::string>{"XYZ"}));
}

TEST_F(MarkingTest, SubstitutedAccountIsWhatTheBoundsSee) {
  lists.ParseLine("$OLD=NEW;", 1);  // not an integer: reported, not stored
  lists.ParseLine("$OLD=0;NEG=-5;", 2);
  Accounts({"OLD", "NEG/"});
  Mark("100", "");
  EXPECT_EQ(rec.texts.size(), 1u);
  EXPECT_EQ(grid.Cell(0, 1), "0");
  EXPECT_EQ(grid.Cell(0, 2), "-5");
  EXPECT_TRUE(Marked().empty());  // 00000000 is below the bound
  // "-5" does not begin with a digit: the code before substitution is listed.
  EXPECT_EQ(unmarked.Items(), (std::vector<std::string>{"NEG"}));
}

TEST_F(MarkingTest, NineDigitAccountIsComparedAsText) {
  Accounts({"123456789", "999999999"});
  Mark("100", "99999999");
  EXPECT_EQ(Marked(), (std::vector<int>{1}));
  EXPECT_EQ(unmarked.Items(), (std::vector<std::string>{"999999999"}));
}

TEST_F(MarkingTest, UpperPassListsShownTextOnceAndBlankCellsAreSkipped) {
  Accounts({"300/", "300/", "", "  "});
  Mark("100", "200");
  EXPECT_TRUE(Marked().empty());
  EXPECT_EQ(unmarked.Items(), (std::vector<std::string>{"300/"}));
}

TEST_F(MarkingTest, UnmarkedViewLeavesTheAccountListAlone) {
  Accounts({"ABC", "300"});
  unmarked.Add("kept");
  Mark("100", "200", false);
  EXPECT_EQ(unmarked.Items(), (std::vector<std::string>{"kept"}));
}

TEST_F(MarkingTest, ComparableAccountPadsCharactersNotBytes) {
  EXPECT_EQ(ComparableAccount("150/"), "00000150");
  EXPECT_EQ(ComparableAccount("150//"), "0000150/");  // only one "/" goes
  EXPECT_EQ(ComparableAccount("1Ж"), "0000001Ж");
  EXPECT_EQ(ComparableAccount("123456789"), "123456789");
  // 1251 order: "Ё" (0xA8) sorts below "А" (0xC0), unlike in UTF-8.
  EXPECT_LT(CompareAccounts("1Ё", "1А"), 0);
  EXPECT_LT(CompareAccounts("19", "1А"), 0);
}

TEST_F(MarkingTest, RelatedRowsAreRunsOfEqualKeys) {
  Accounts({"1", "1", "2", "1"});
  grid.SetCell(2, 2, "1");  // rows 1 and 2: account 1, B, order 1
  grid.SetCell(2, 4, "1");  // row 4 has the same key but is not adjacent
  EXPECT_EQ(DealKeyOf(grid, format, 1), "1B1");
  EXPECT_TRUE(IsRelatedRow(grid, format, 1));
  EXPECT_TRUE(IsRelatedRow(grid, format, 2));
  EXPECT_FALSE(IsRelatedRow(grid, format, 3));
  EXPECT_FALSE(IsRelatedRow(grid, format, 4));
  EXPECT_FALSE(IsRelatedRow(grid, format, 0));
  EXPECT_EQ(DealKeyOf(grid, format, 5), "");
}

TEST_F(MarkingTest, RelatedRowsCompareCellByCellAsTheOrderSqueezeDoes) {
  // Both rows join to the key "ABC1", but their accounts differ.
  Accounts({"AB", "A"});
  grid.SetCell(1, 1, "C");
  grid.SetCell(1, 2, "BC");
  grid.SetCell(2, 2, "1");
  ASSERT_EQ(DealKeyOf(grid, format, 1), DealKeyOf(grid, format, 2));
  EXPECT_FALSE(SameDeal(grid, format, 1, 2));
  EXPECT_FALSE(IsRelatedRow(grid, format, 1));
  EXPECT_FALSE(IsRelatedRow(grid, format, 2));
}

TEST_F(MarkingTest, SingleRowIsComparedWithAnEmptyKey) {
  grid.SetRowCount(2);  // the empty row after a format load
  EXPECT_TRUE(IsRelatedRow(grid, format, 1));
  Accounts({"5"});
  EXPECT_FALSE(IsRelatedRow(grid, format, 1));
}

TEST(MarkedRowsTest, CountsAndOrder) {
  MarkedRows marks;
  EXPECT_TRUE(marks.Mark(10));
  EXPECT_FALSE(marks.Mark(10));
  EXPECT_TRUE(marks.Mark(3));
  EXPECT_FALSE(marks.Mark(0));
  EXPECT_EQ(marks.Count(), 2);
  EXPECT_EQ(marks.Rows(), (std::vector<int>{3, 10}));
  EXPECT_FALSE(marks.Unmark(4));
  EXPECT_TRUE(marks.Unmark(10));
  EXPECT_FALSE(marks.IsMarked(10));
  EXPECT_FALSE(marks.IsMarked(1000000));
  EXPECT_EQ(marks.Count(), 1);
  // Rows on both sides of 64-row steps, before and after room for them.
  for (int row : {63, 64, 127, 128}) EXPECT_TRUE(marks.Mark(row));
  marks.SizeFor(300);
  EXPECT_TRUE(marks.Mark(299));
  EXPECT_EQ(marks.Rows(), (std::vector<int>{3, 63, 64, 127, 128, 299}));
  for (int row : {62, 65, 126, 129, 298, 300}) EXPECT_FALSE(marks.IsMarked(row)) << row;
}

TEST(AccountListTest, UniqueAddAndRemoveIgnoreCase) {
  AccountList list;
  list.Add("abc");
  list.Add("ABC");
  list.AddUnique("Abc");
  list.AddUnique("Жук");
  list.AddUnique("жУК");
  EXPECT_EQ(list.Items(), (std::vector<std::string>{"abc", "ABC", "Жук"}));
  EXPECT_TRUE(list.Remove("aBC"));
  EXPECT_TRUE(list.Contains("abc"));  // one of the two is left
  EXPECT_TRUE(list.Remove("abc"));
  EXPECT_FALSE(list.Contains("abc"));
  EXPECT_FALSE(list.Remove("abc"));
  EXPECT_EQ(list.Items(), (std::vector<std::string>{"Жук"}));
}

TEST_F(MarkingTest, BoundDigitCheckRemovesTheLastCharacterPerMessage) {
  EXPECT_EQ(CheckBoundDigits("12a"), "12");
  ASSERT_EQ(rec.texts.size(), 1u);
  EXPECT_EQ(rec.texts[0], "Допустимы только цифры!!!");
  rec.texts.clear();
  // The wrong character in the middle: the last ones go until it is gone.
  EXPECT_EQ(CheckBoundDigits("1x23"), "1");
  EXPECT_EQ(rec.texts.size(), 3u);
  rec.texts.clear();
  EXPECT_EQ(CheckBoundDigits("5ЖЖЖ"), "5");
  EXPECT_EQ(rec.texts.size(), 3u);
  rec.texts.clear();
  EXPECT_EQ(CheckBoundDigits("0042"), "0042");
  EXPECT_EQ(CheckBoundDigits(""), "");
  EXPECT_TRUE(rec.texts.empty());
}

TEST(JournalLinesTest, HeaderRulesAndAccountsInOrder) {
  EXPECT_TRUE(UnmarkedJournalLines({}).empty());
  auto lines = UnmarkedJournalLines({"201", "ABC", "ABC"});
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], "Список неотмеченных счетов");
  EXPECT_EQ(lines[1], std::string(27, '-'));
  EXPECT_EQ(lines[2], "201");
  EXPECT_EQ(lines[4], "ABC");
  EXPECT_EQ(lines[5], std::string(27, '-'));
}

}  // namespace
}  // namespace drs
