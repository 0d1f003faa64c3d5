#include <gtest/gtest.h>

#include "RecordingMessages.h"

#include "deals/ReplaceList.h"
#include "support/Messages.h"

namespace drs {
namespace {

using test::Recorder;

class ReplaceListTest : public ::testing::Test {
 protected:
  ReplaceListTest() : scope_(&rec) {}
  std::string Msg(int line, const std::string& tail) {
    return "Ошибка формата  в строке " + std::to_string(line) + ". файла подстановок. " + tail;
  }
  Recorder rec;
  ReplaceLists lists;

 private:
  ScopedMessageHandler scope_;
};

TEST_F(ReplaceListTest, ModelLinesFromTheEditorHint) {
  lists.ParseLine("$Z,AS,P,075,121,A=002;PP=003;", 1);
  lists.ParseLine("@RU12345618910=1;", 2);
  EXPECT_TRUE(rec.texts.empty());
  // The codes of one item are stored the last one first.
  EXPECT_EQ(lists.ReplaceFrom(), (std::vector<std::string>{"A", "121", "075", "P", "AS", "Z", "PP"}));
  EXPECT_EQ(lists.ReplaceTo(), (std::vector<std::string>{"002", "002", "002", "002", "002", "002", "003"}));
  ASSERT_NE(lists.FindReplacement("as"), nullptr);
  EXPECT_EQ(*lists.FindReplacement("as"), "002");  // stored as written
  EXPECT_EQ(lists.FindReplacement("75"), nullptr);
  EXPECT_EQ(lists.LotFor("ru12345618910", 100), 1);
  EXPECT_EQ(lists.LotFor("SBER", 100), 100);
}

TEST_F(ReplaceListTest, LookupIgnoresCaseAlsoForCyrillic) {
  lists.ParseLine("$A,B=1;", 1);
  lists.ParseLine("$Ёлка,кОД=7;", 2);
  ASSERT_NE(lists.FindReplacement("b"), nullptr);
  EXPECT_EQ(*lists.FindReplacement("b"), "1");
  ASSERT_NE(lists.FindReplacement("ёЛКА"), nullptr);
  EXPECT_EQ(*lists.FindReplacement("Код"), "7");
}

TEST_F(ReplaceListTest, CodesOfEveryLengthAreFoundIgnoringCase) {
  // Around the length folded without building a key.
  for (size_t length : {31u, 32u, 33u, 64u}) {
    ReplaceLists codes;
    codes.ParseLine("$" + std::string(length, 'Q') + "=5;", 1);
    ASSERT_NE(codes.FindReplacement(std::string(length, 'q')), nullptr) << length;
    EXPECT_EQ(codes.FindReplacement(std::string(length - 1, 'q')), nullptr) << length;
    EXPECT_EQ(codes.FindReplacement(std::string(length, 'q') + "Ж"), nullptr) << length;
  }
}

TEST_F(ReplaceListTest, FirstDefinitionWins) {
  lists.ParseLine("@RU12345618910=1;", 1);
  lists.ParseLine("@ru12345618910=10;", 2);
  lists.ParseLine("$X=1;X=2;", 3);
  EXPECT_EQ(lists.LotFor("RU12345618910", 100), 1);
  EXPECT_EQ(*lists.FindReplacement("x"), "1");
  EXPECT_EQ(lists.LotCodes().size(), 2u);
}

TEST_F(ReplaceListTest, EveryMessageWithItsLineNumber) {
  lists.ParseLine(" $A=1;", 1);
  lists.ParseLine("$A=1;B=2", 2);
  lists.ParseLine("$A=1;;", 3);
  lists.ParseLine("$C=x;B=2;", 4);
  lists.ParseLine("@S=1.5;T=2147483648;U=3;", 5);
  ASSERT_EQ(rec.texts.size(), 6u);
  EXPECT_EQ(rec.texts[0], Msg(1, "Начальный символ строки должен быть \"$\" или \"@\""));
  EXPECT_EQ(rec.texts[1], Msg(2, "Нет завершающего символа \";\""));
  EXPECT_EQ(rec.texts[2], Msg(3, "Отсутствует символ \"=\""));
  EXPECT_EQ(rec.texts[3], Msg(4, "Номер счета должен быть целым числом"));
  EXPECT_EQ(rec.texts[4], Msg(5, "Лот должен быть целым числом"));
  EXPECT_EQ(rec.texts[5], rec.texts[4]);  // 2147483648 does not fit 32 bits
  // Good items of bad lines stay: A from line 3, B from line 4, U from line 5.
  EXPECT_EQ(lists.ReplaceFrom(), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(lists.LotCodes(), (std::vector<std::string>{"U"}));
  EXPECT_EQ(lists.FindReplacement("C"), nullptr);
}

TEST_F(ReplaceListTest, LotValueThatDoesNotFitIsReportedAndEachBadItemOnce) {
  lists.ParseLine("@A=2147483648;B=-2147483648;C;", 7);
  ASSERT_EQ(rec.texts.size(), 2u);
  EXPECT_EQ(rec.texts[0], Msg(7, "Лот должен быть целым числом"));
  EXPECT_EQ(rec.texts[1], Msg(7, "Отсутствует символ \"=\""));
  EXPECT_EQ(lists.LotFor("b", 100), -2147483647 - 1);
}

TEST_F(ReplaceListTest, BlankLinesAreSilentAndTheLastEqualsSignCounts) {
  lists.ParseLine("", 1);
  lists.ParseLine("  \t", 2);
  lists.ParseLine("$A=B=5;", 3);
  EXPECT_TRUE(rec.texts.empty());
  ASSERT_EQ(lists.ReplaceFrom().size(), 1u);
  EXPECT_EQ(lists.ReplaceFrom()[0], "A=B");
  EXPECT_EQ(*lists.FindReplacement("a=b"), "5");
}

TEST_F(ReplaceListTest, EmptyCodesAreStoredButNeverMatch) {
  lists.ParseLine("$,A=5;", 1);
  lists.ParseLine("$=6;", 2);
  EXPECT_TRUE(rec.texts.empty());
  EXPECT_EQ(lists.ReplaceFrom(), (std::vector<std::string>{"A", "", ""}));
  EXPECT_EQ(lists.FindReplacement(""), nullptr);
}

TEST_F(ReplaceListTest, OnlyAMarkerOrOnlyASemicolon) {
  lists.ParseLine("$", 1);
  lists.ParseLine("@;", 2);
  ASSERT_EQ(rec.texts.size(), 2u);
  EXPECT_EQ(rec.texts[0], Msg(1, "Нет завершающего символа \";\""));
  EXPECT_EQ(rec.texts[1], Msg(2, "Отсутствует символ \"=\""));
}

TEST_F(ReplaceListTest, ClearEmptiesListsAndIndexes) {
  lists.ParseLine("$A=1;", 1);
  lists.ParseLine("@S=1;", 2);
  lists.Clear();
  EXPECT_TRUE(lists.ReplaceFrom().empty());
  EXPECT_TRUE(lists.LotSizes().empty());
  EXPECT_EQ(lists.FindReplacement("A"), nullptr);
  lists.ParseLine("$A=2;", 1);
  EXPECT_EQ(*lists.FindReplacement("a"), "2");
}

// A whole list: every error in the journal, only the first few as dialogs,
// then one summary; a list with few errors keeps one dialog each.
TEST_F(ReplaceListTest, ManyBadLinesAreJournaledWithOneSummary) {
  struct Case {
    int bad;
    size_t dialogs;
  };
  for (const Case c : {Case{2, 2}, Case{5, 5}, Case{8, 6}}) {
    rec.texts.clear();
    rec.journal.clear();
    lists.Clear();
    std::vector<std::string> lines = {"$A=1;"};
    for (int i = 0; i < c.bad; ++i) lines.push_back("X" + std::to_string(i));
    lines.push_back("@B=2;");
    lists.ParseLines(lines);
    EXPECT_EQ(lists.ReplaceFrom().size(), 1u);
    EXPECT_EQ(lists.LotCodes().size(), 1u);
    ASSERT_EQ(rec.texts.size(), c.dialogs) << c.bad;
    ASSERT_EQ(rec.journal.size(), size_t(c.bad));
    EXPECT_EQ(rec.journal.back(), Msg(c.bad + 1, "Начальный символ строки должен быть \"$\" или \"@\""));
    if (c.bad > 5) {
      EXPECT_EQ(rec.texts.back(), "Ошибок в списке подстановок: " + std::to_string(c.bad) +
                                      ". Показаны первые 5, все ошибки записаны в журнал.");
    } else {
      EXPECT_EQ(rec.texts, rec.journal);
    }
  }
}

}  // namespace
}  // namespace drs
