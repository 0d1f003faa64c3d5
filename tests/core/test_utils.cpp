#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <vector>

#include "utils/Cp1251.h"
#include "utils/NumberText.h"
#include "utils/Scan.h"
#include "utils/TextCase.h"
#include "utils/Utils.h"

namespace drs {
namespace {

const CharSet kSemi = MakeCharSet(";");

TEST(Scan, AgreesWithAByteByByteLookAtEveryPosition) {
  // Lengths around the sixteen-byte step, the byte looked for at each place.
  for (size_t length = 0; length <= 40; ++length) {
    for (size_t at = 0; at <= length; ++at) {
      for (char c : {';', '\n', '\r', '\xC0'}) {
        std::string text(length, 'x');
        if (at < length) text[at] = text[at * 7 % length] = c;  // once or twice
        const char* begin = text.data();
        const char* end = begin + length;
        const auto naive = [&](auto match) { return std::find_if(begin, end, match) - begin; };
        EXPECT_EQ(FindByte(begin, end, c) - begin, naive([c](char b) { return b == c; }));
        EXPECT_EQ(FindLineBreak(begin, end) - begin, naive([](char b) { return b == '\n' || b == '\r'; }));
        EXPECT_EQ(FindHighByte(begin, end) - begin,
                  naive([](char b) { return static_cast<unsigned char>(b) >= 0x80; }));
        EXPECT_EQ(CountByte(begin, end, c), static_cast<size_t>(std::count(begin, end, c)));
        // Every third byte from `at` on as well, found up to a limit.
        for (size_t i = at; i < length; i += 3) text[i] = c;
        std::vector<size_t> every;
        for (size_t i = 0; i < length; ++i)
          if (text[i] == c) every.push_back(i);
        for (size_t max : {size_t(0), size_t(2), size_t(64)}) {
          std::vector<size_t> found(max);
          found.resize(FindBytes(begin, end, c, found.data(), max));
          EXPECT_EQ(found, std::vector<size_t>(every.begin(), every.begin() + std::min(max, every.size())));
        }
      }
    }
  }
}

TEST(ExtractField, EverySeparatorCounts) {
  EXPECT_EQ(ExtractField("a;;c", kSemi, 2), "");
  EXPECT_EQ(ExtractField("a;;c", kSemi, 3), "c");
  EXPECT_EQ(ExtractField("a;b;", kSemi, 3), "");
  EXPECT_EQ(ExtractField("a;b", kSemi, 5), "");
  EXPECT_EQ(ExtractField(";b", kSemi, 1), "");
  EXPECT_EQ(ExtractField(";b", kSemi, 2), "b");
  EXPECT_EQ(ExtractField("whole line", kSemi, 1), "whole line");
  EXPECT_EQ(ExtractField(" a b ;x", kSemi, 1), " a b ");
}

TEST(ExtractField, NonPositiveNumberGivesEmpty) {
  EXPECT_EQ(ExtractField("a;b", kSemi, 0), "");
  EXPECT_EQ(ExtractField("a;b", kSemi, -3), "");
}

TEST(ExtractField, TabsAndCyrillic) {
  CharSet tab = MakeCharSet("\t");
  EXPECT_EQ(ExtractField("a\t\tb", tab, 2), "");
  EXPECT_EQ(ExtractField("a\t\tb", tab, 3), "b");
  EXPECT_EQ(ExtractField("Счет;Цена;ЦБ", kSemi, 2), "Цена");
}

TEST(ExtractField, SetOfSeveralSeparators) {
  CharSet set = MakeCharSet(";,");
  EXPECT_EQ(ExtractField("a,b;c", set, 3), "c");
}

TEST(FindField, ReportsWhetherTheFieldExists) {
  EXPECT_FALSE(FindField("a;b", kSemi, 4).found);
  FieldSpan s = FindField("a;b;", kSemi, 3);
  EXPECT_TRUE(s.found);
  EXPECT_EQ(s.begin, 4u);
  EXPECT_EQ(s.length, 0u);
}

TEST(IsBlank, OnlySpacesTabsAndLineEnds) {
  EXPECT_TRUE(IsBlank(""));
  EXPECT_TRUE(IsBlank(" \t\r\n "));
  EXPECT_FALSE(IsBlank("\xC2\xA0"));  // non-breaking space
  EXPECT_FALSE(IsBlank(" x "));
  EXPECT_FALSE(IsBlank(std::string(1, '\0')));
}

TEST(Positions, LastPosOverlapsAndCountsCharacters) {
  EXPECT_EQ(LastPos("aa", "aaa"), 2);
  EXPECT_EQ(LastPos("", "aaa"), 0);
  EXPECT_EQ(LastPos("x", "aaa"), 0);
  EXPECT_EQ(LastPos("\\", "C:\\OUT\\DEALS.DBF"), 7);
  EXPECT_EQ(LastPos("б", "абвб"), 4);  // characters, not UTF-8 bytes
}

TEST(Positions, PosFromStaysInsideTheWindow) {
  EXPECT_EQ(PosFrom("b", "abcabc", 1, 6), 2);
  EXPECT_EQ(PosFrom("b", "abcabc", 3, 4), 5);
  EXPECT_EQ(PosFrom("bc", "abcabc", 4, 2), 0);  // "bc" at 5 does not lie wholly inside 4..5
  EXPECT_EQ(PosFrom("bc", "abcabc", 4, 3), 5);
  EXPECT_EQ(PosFrom("x", "abc", 10, 3), 0);
  EXPECT_EQ(PosFrom("в", "абвгв", 4, 2), 5);
}

TEST(Positions, CopyFrom) {
  EXPECT_EQ(CopyFrom("abcdef", 2, 3), "bcd");
  EXPECT_EQ(CopyFrom("abcdef", 5, 10), "ef");
  EXPECT_EQ(CopyFrom("abcdef", 3, 0), "cdef");
  EXPECT_EQ(CopyFrom("abc", 9, 1), "");
  EXPECT_EQ(CopyFrom("привет", 2, 3), "рив");
}

TEST(TextOps, ReplaceRepeatStrip) {
  std::string s = "a.b.c";
  ReplaceChar(s, '.', ',');
  EXPECT_EQ(s, "a,b,c");
  ReplaceChar(s, ',', ',');
  EXPECT_EQ(s, "a,b,c");
  EXPECT_EQ(RepeatChar('-', 3), "---");
  EXPECT_EQ(RepeatChar('-', 0), "");
  EXPECT_EQ(RepeatChar('-', -2), "");
  EXPECT_EQ(StripTrailingDigits("Form12"), "Form");
  EXPECT_EQ(StripTrailingDigits("123"), "");
  EXPECT_EQ(StripTrailingDigits("abc"), "abc");
  EXPECT_EQ(StripTrailingDigits(""), "");
  EXPECT_EQ(StripTrailingDigits("a1b2"), "a1b");
}

TEST(Numbers, MinMaxTiesGiveTheSecond) {
  EXPECT_EQ(MinInt(-5, 3), -5);
  EXPECT_EQ(MaxInt(-5, 3), 3);
  EXPECT_EQ(MaxWord(65536, 1), 1);  // low 16 bits of 65536 are 0
  EXPECT_EQ(MaxWord(-1, 5), -1);    // 0xFFFF is the greater word
  EXPECT_EQ(MaxWord(65537, 1), 1);  // tie on the low word: b
  EXPECT_EQ(IfThenInt(true, 1, 2), 1);
  EXPECT_EQ(IfThenStr(false, "a", "b"), "b");
}

TEST(Numbers, TryStrToIntAcceptsOnlyWholeNumbers) {
  int v = 0;
  EXPECT_TRUE(TryStrToInt("42", v));
  EXPECT_EQ(v, 42);
  EXPECT_TRUE(TryStrToInt("-17", v));
  EXPECT_EQ(v, -17);
  EXPECT_TRUE(TryStrToInt("$1F", v));
  EXPECT_EQ(v, 31);
  EXPECT_TRUE(TryStrToInt("0x1F", v));
  EXPECT_EQ(v, 31);
  EXPECT_TRUE(TryStrToInt("002", v));
  EXPECT_EQ(v, 2);
  EXPECT_TRUE(TryStrToInt("2147483647", v));
  EXPECT_TRUE(TryStrToInt("-2147483648", v));
  EXPECT_EQ(v, -2147483648);
  for (const char* bad :
       {"", "12.0", "1 000", "2147483648", "x", "0x", "$", "12a", "-", "99999999999999999999"}) {
    EXPECT_FALSE(TryStrToInt(bad, v)) << bad;
  }
}

TEST(DateNames, Russian) {
  SetRussianDateNames();
  const DateNames& n = CurrentDateNames();
  EXPECT_EQ(n.shortDays[0], "Вск");
  EXPECT_EQ(n.shortDays[6], "Сбт");
  EXPECT_EQ(n.shortMonths[4], "Май");
  EXPECT_EQ(n.longMonths[11], "Декабрь");
}

TEST(ExeName, NamesTheTestProgram) {
  EXPECT_EQ(ExeName(), "drscore_tests");
  EXPECT_EQ(ExePath().back(), '/');
}

TEST(Cp1251, EveryByteRoundTrips) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  std::string utf8 = Cp1251ToUtf8(all);
  EXPECT_EQ(Utf8ToCp1251(utf8), all);
  EXPECT_EQ(CharCount(utf8), 256u);
}

TEST(Cp1251, KnownLetters) {
  EXPECT_EQ(Cp1251ToUtf8("\xC0\xFF\xA8\xB8\xB9"), "АяЁё№");
  EXPECT_EQ(Utf8ToCp1251("Сделки"), "\xD1\xE4\xE5\xEB\xEA\xE8");
  EXPECT_EQ(Utf8ToCp1251("日本"), "??");
  EXPECT_FALSE(FitsCp1251("日"));
  EXPECT_TRUE(FitsCp1251("Ёлка €"));
  EXPECT_EQ(Utf8ToCp1251("a\xFF"
                         "b"),
            "a?b");  // a malformed byte
}

TEST(TextCase, FoldsLatinAndCyrillic) {
  EXPECT_TRUE(SameText("SBER", "sber"));
  EXPECT_TRUE(SameText("Счет", "СЧЕТ"));
  EXPECT_TRUE(SameText("ёлка", "ЁЛКА"));
  EXPECT_TRUE(SameText("Ґ", "ґ"));
  EXPECT_FALSE(SameText("е", "ё"));
  EXPECT_FALSE(SameText("01", "1"));
  EXPECT_EQ(UpperCase("clientid"), "CLIENTID");
  EXPECT_EQ(UpperCase("ёж"), "ЁЖ");
  EXPECT_EQ(FoldCase("AbВг"), "abвг");
}

TEST(PlainDecimal, GivesTheSameBitsAsTheGeneralConversionOrDeclines) {
  // Ties and near-ties of the last bit, 15 to 19 digits, leading and
  // trailing zeros, signed zeros, the largest exact integer and beyond.
  const struct {
    const char* text;
    bool plain;
  } cases[] = {{"0", true},
               {"-0", true},
               {"+0", true},
               {"-0.000", true},
               {"0.1", true},
               {"2.675", true},
               {"100.65", true},
               {"3986.35", true},
               {"-1.5", true},
               {".5", true},
               {"5.", true},
               {"000000000000000000000123.25", true},
               {"123456789012345", true},
               {"1234567890123456", true},
               {"0.9007199254740991", true},
               {"9007199254740992", true},
               {"4503599627370497.5", false},  // 2^53 + 1 units
               {"9007199254740993", false},
               {"0.1234567890123456789", false},
               {"0.0000000000000000000001", true},
               {"0.00000000000000000000001", false},
               {"99999999999999999999", false},
               {"1e3", false},
               {"1,5", false},
               {"1.2.3", false},
               {"", false},
               {"-", false},
               {".", false},
               {" 1", false},
               {"--1", false}};
  for (const auto& c : cases) {
    double value = 7;
    ASSERT_EQ(ReadPlainDecimal(c.text, '.', value), c.plain) << c.text;
    if (!c.plain) {
      EXPECT_EQ(value, 7) << c.text;
      continue;
    }
    const char* from = c.text + (c.text[0] == '+');  // from_chars takes no "+"
    double reference = 1;
    std::from_chars(from, c.text + std::strlen(c.text), reference);
    EXPECT_EQ(std::memcmp(&value, &reference, sizeof value), 0) << c.text;
  }
  double value = 0;
  ASSERT_TRUE(ReadPlainDecimal("-12,5", ',', value));
  EXPECT_EQ(value, -12.5);
  EXPECT_FALSE(ReadPlainDecimal("12.5", ',', value));
}

TEST(FixedUnits, FieldTextsInUnitsOfTheFifthDecimal) {
  // Right-aligned field bytes, both separators, signs, the 19-digit edge of
  // the 64-bit reading, digits below the fifth decimal, the limit.
  constexpr FixedUnits kLimit = FixedUnits(1000000000000000000) * 1000;
  const struct {
    const char* text;
    bool ok;
    FixedUnits units;
  } cases[] = {{"            250.123", true, 25012300},
               {"  \t1,5\t ", true, 150000},
               {"-0.00001", true, -1},
               {"+7", true, 700000},
               {".5", true, 50000},
               {"5.", true, 500000},
               {"-0", true, 0},
               {"0.000010000", true, 1},
               {"99999999999999", true, 9999999999999900000u},
               {"12345678901234.5", true, 1234567890123450000},
               {"3\0\0", true, 300000},
               {"0.000001", false, 0},
               {"", false, 0},
               {"   ", false, 0},
               {".", false, 0},
               {"-", false, 0},
               {"1.2.3", false, 0},
               {"1e5", false, 0},
               {"1 2", false, 0},
               {"--1", false, 0}};
  for (const auto& c : cases) {
    FixedUnits units = 7;
    ASSERT_EQ(ReadFixedUnits(c.text, 5, kLimit, units), c.ok) << c.text;
    if (c.ok) {
      EXPECT_TRUE(units == c.units) << c.text;
    }
  }
  // Beyond 64 bits: read wide, then held at the limit.
  FixedUnits units = 0;
  ASSERT_TRUE(ReadFixedUnits("123456789012345.25", 5, kLimit, units));
  EXPECT_EQ(units, FixedUnits(12345678901234525) * 1000);
  ASSERT_TRUE(ReadFixedUnits("-99999999999999999999999", 5, kLimit, units));
  EXPECT_EQ(units, -kLimit);
}

}  // namespace
}  // namespace drs
