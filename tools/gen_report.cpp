// drs_gen_report: a synthetic exchange deal report of one trading day, for
// tests and benchmarks. Windows-1251, CR LF, the same bytes for the same
// seed on every machine.
//
// Line layout (fields separated by --sep):
//   1 deal number; 2 order number; 3 time; 4 board; 5 account; 6 security;
//   7 B or S; 8 price; 9 quantity in lots
// --format-out writes the matching format parameters file, --replace-out a
// substitution and lot list (one rule a line) for the letter-coded accounts.
//
// What a day looks like: orders filled by 1-4 consecutive deals; a few
// securities take most of the deals; Cyrillic security codes among Latin
// ones and bond codes; eight-digit accounts with leading zeros, some with a
// "/suffix", some exchange letter codes (a few of them not in the list);
// prices from kopecks to thousands of roubles, quantities mostly small with a
// long tail. Digit accounts are 00000100 + 7 * i, so a bound range such as
// 100..5000 takes a share of them.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "utils/Cp1251.h"
#include "utils/FileIO.h"

namespace {

const char* const kUsage =
    "Использование: drs_gen_report OUT --deals N [--seed S] [--accounts N] [--tickers N]\n"
    "                 [--sep ';'] [--dec '.'] [--format-out FILE] [--replace-out FILE]\n";

// splitmix64: the same stream everywhere, unlike the standard distributions.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // 0 <= result < n
  uint64_t Below(uint64_t n) { return n == 0 ? 0 : Next() % n; }
  // [0, 1)
  double Unit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
  // An index drawn by the cumulative weights, index 0 most often.
  size_t Zipf(const std::vector<double>& cumulative) {
    const double x = Unit() * cumulative.back();
    size_t lo = 0, hi = cumulative.size() - 1;
    while (lo < hi) {
      const size_t mid = (lo + hi) / 2;
      if (cumulative[mid] > x) {
        hi = mid;
      } else {
        lo = mid + 1;
      }
    }
    return lo;
  }

 private:
  uint64_t state_;
};

// Cumulative weights 1 / (rank + 1)^power.
std::vector<double> ZipfTable(size_t n, double power) {
  std::vector<double> table(n);
  double sum = 0;
  for (size_t i = 0; i < n; ++i) table[i] = sum += 1.0 / std::pow(static_cast<double>(i + 1), power);
  return table;
}

struct Security {
  std::string code;
  std::string board;
  double price;  // at the opening
  int decimals;
};

// The most traded first.
const char* const kLatin[] = {"SBER", "GAZP", "LKOH",  "GMKN",  "VTBR",  "ROSN", "NVTK", "MGNT",
                              "YNDX", "TATN", "ALRS",  "MTSS",  "CHMF",  "PLZL", "SNGS", "AFLT",
                              "MOEX", "NLMK", "MAGN",  "SBERP", "RUAL",  "IRAO", "HYDR", "FEES",
                              "PHOR", "PIKK", "TATNP", "SNGSP", "TRNFP", "POLY"};
const char* const kCyrillic[] = {"ГАЗП-ПР", "СБЕРБ", "ЛУКОЙЛ",   "РОСТЕЛ",
                                 "АФК01",   "МТС-П", "ОФЗ26238", "ПИК-Б"};

std::vector<Security> MakeSecurities(size_t count, Random& random) {
  std::vector<Security> list;
  size_t latin = 0, cyrillic = 0;
  for (size_t i = 0; i < count; ++i) {
    Security s;
    if (i % 9 == 5 && cyrillic < std::size(kCyrillic)) {
      s.code = kCyrillic[cyrillic++];
    } else if (latin < std::size(kLatin)) {
      s.code = kLatin[latin++];
    } else if (i % 7 == 3) {
      char isin[16];
      std::snprintf(isin, sizeof isin, "RU000A%06u", static_cast<unsigned>(100000 + i * 37));
      s.code = isin;
      s.board = "TQOB";
    } else {
      char code[16];
      std::snprintf(code, sizeof code, "T%04u", static_cast<unsigned>(i));
      s.code = code;
    }
    if (s.board.empty()) s.board = i % 13 == 6 ? "TQTF" : "TQBR";
    // Log-uniform from 0.005 to 20,000 roubles; bonds near par.
    s.price = s.board == "TQOB" ? 90 + random.Unit() * 15 : 0.005 * std::exp(random.Unit() * std::log(4e6));
    s.decimals = s.price < 1 ? 5 : s.price < 10 ? 3 : 2;
    list.push_back(s);
  }
  return list;
}

struct Accounts {
  std::vector<std::string> all;      // digit accounts, then letter codes
  std::vector<std::string> letters;  // the letter codes the list substitutes
};

Accounts MakeAccounts(size_t count, Random& random) {
  Accounts a;
  const char* const suffixes[] = {"A1", "B", "02"};
  for (size_t i = 0; i < count; ++i) {
    char acc[32];
    std::snprintf(acc, sizeof acc, "%08u", static_cast<unsigned>(100 + 7 * i));
    std::string text = acc;
    if (i % 11 == 5) text += std::string("/") + suffixes[random.Below(3)];
    a.all.push_back(text);
  }
  const size_t letters = count / 100 + 4;
  for (size_t i = 0; i < letters; ++i) {
    char code[16];
    std::snprintf(code, sizeof code, i % 2 ? "К%03u" : "ZX%u", static_cast<unsigned>(i));
    a.letters.push_back(code);
  }
  a.all.insert(a.all.end(), a.letters.begin(), a.letters.end());
  a.all.push_back("QQ7");  // an exchange code no rule knows
  a.all.push_back("ЯЯ2");
  return a;
}

std::string Price(double value, int decimals, char dec) {
  char text[48];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  std::string s = text;
  for (char& c : s) {
    if (c == '.') c = dec;
  }
  return s;
}

bool Write(const std::string& path, const std::string& utf8) {
  std::string bytes = drs::Utf8ToCp1251(utf8);
  std::string error;
  if (!drs::WriteFileAtomic(path, bytes, &error)) {
    std::fprintf(stderr, "Ошибка записи в файл %s: %s\n", path.c_str(), error.c_str());
    return false;
  }
  return true;
}

std::string FormatFile(int fieldSep, int decSep) {
  std::string text = "[IntValues]\r\nFieldSep=" + std::to_string(fieldSep) +
                     "\r\nDecSep=" + std::to_string(decSep) + "\r\nFormat=0\r\nLot=100\r\n\r\n";
  text +=
      "[ExtFormat]\r\nCount=8\r\n"
      "Item0=Номер сделки;1;Да;1;70;Номер сделки;6;;\r\n"
      "Item1=Номер заявки;2;Да;2;70;Номер заявки;5;;\r\n"
      "Item2=Счет;5;Да;3;80;Идентификатор счета;0;;\r\n"
      "Item3=Код ЦБ;6;Да;4;90;Код ЦБ;1;;\r\n"
      "Item4=Операция;7;Да;5;40;Код операции (Покупка / продажа);4;;\r\n"
      "Item5=Цена;8;Да;6;70;Цена сделки;3;;\r\n"
      "Item6=Количество;9;Да;7;60;Количество ЦБ (Лоты);2;;\r\n"
      "Item7=Время;3;Нет;8;60;;;;\r\n";
  return text;
}

bool ParseCount(const char* text, long long& value) {
  char* end = nullptr;
  value = std::strtoll(text, &end, 10);
  return *text && !*end && value >= 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string out, formatOut, replaceOut, sep = ";", dec = ".";
  long long deals = -1, seed = 1, accountCount = 2000, tickerCount = 300;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    auto count = [&](long long& target) {
      if (!hasValue || !ParseCount(argv[++i], target)) {
        std::fprintf(stderr, "Неверное значение параметра %s\n%s", arg.c_str(), kUsage);
        std::exit(2);
      }
    };
    if (arg == "--deals") {
      count(deals);
    } else if (arg == "--seed") {
      count(seed);
    } else if (arg == "--accounts") {
      count(accountCount);
    } else if (arg == "--tickers") {
      count(tickerCount);
    } else if ((arg == "--sep" || arg == "--dec" || arg == "--format-out" || arg == "--replace-out") &&
               hasValue) {
      std::string& target = arg == "--sep"          ? sep
                            : arg == "--dec"        ? dec
                            : arg == "--format-out" ? formatOut
                                                    : replaceOut;
      target = argv[++i];
    } else if (arg[0] != '-' && out.empty()) {
      out = arg;
    } else {
      std::fprintf(stderr, "Неизвестный параметр: %s\n%s", arg.c_str(), kUsage);
      return 2;
    }
  }
  if (sep == "tab") sep = "\t";
  const std::string seps[] = {";", "\t", ",", " "};
  int fieldSep = -1;
  for (int k = 0; k < 4; ++k) {
    if (sep == seps[k]) fieldSep = k;
  }
  if (out.empty() || deals < 0 || fieldSep < 0 || (dec != "." && dec != ",") || sep == dec ||
      accountCount < 1 || tickerCount < 2) {
    std::fprintf(stderr, "%s", kUsage);
    return 2;
  }

  Random random(static_cast<uint64_t>(seed));
  std::vector<Security> securities = MakeSecurities(static_cast<size_t>(tickerCount), random);
  Accounts accounts = MakeAccounts(static_cast<size_t>(accountCount), random);
  const std::vector<double> securityRank = ZipfTable(securities.size(), 1.0);
  const std::vector<double> accountRank = ZipfTable(accounts.all.size(), 0.8);
  // Which digit account is busiest is a matter of the day, not of its
  // number; the letter codes trade now and then (ranks from 100 on).
  const size_t digitCount = static_cast<size_t>(accountCount);
  std::vector<size_t> accountOrder(digitCount);
  for (size_t i = 0; i < digitCount; ++i) accountOrder[i] = i;
  for (size_t i = digitCount; i > 1; --i) std::swap(accountOrder[i - 1], accountOrder[random.Below(i)]);
  for (size_t i = digitCount; i < accounts.all.size(); ++i) {
    const size_t low = std::min<size_t>(100, accountOrder.size());
    accountOrder.insert(
        accountOrder.begin() + static_cast<long>(low + random.Below(accountOrder.size() - low + 1)), i);
  }

  std::string text;
  text.reserve(static_cast<size_t>(deals) * 56);
  long long deal = 5000000, order = 900000;
  const int fillCounts[] = {1, 1, 1, 2, 2, 3, 4};
  const double daySeconds = 8.75 * 3600;
  for (long long n = 0; n < deals;) {
    ++order;
    Security& security = securities[random.Zipf(securityRank)];
    const std::string& account = accounts.all[accountOrder[random.Zipf(accountRank)]];
    const char* side = random.Below(2) ? "B" : "S";
    // The price walks a little with every order.
    security.price *= 1 + (random.Unit() - 0.5) * 0.001;
    const int fills = fillCounts[random.Below(std::size(fillCounts))];
    // Mostly a few lots, now and then thousands.
    const long long orderLots =
        static_cast<long long>(std::exp(random.Unit() * random.Unit() * std::log(5000.0)));
    for (int f = 0; f < fills && n < deals; ++f, ++n) {
      const int second =
          36000 + static_cast<int>(daySeconds * static_cast<double>(n) / static_cast<double>(deals));
      char time[16];
      std::snprintf(time, sizeof time, "%02d:%02d:%02d", second / 3600, second / 60 % 60, second % 60);
      const double price = security.price * (1 + (random.Unit() - 0.5) * 0.001);
      const long long lots = std::max(1LL, orderLots / fills + static_cast<long long>(random.Below(3)));
      text += std::to_string(++deal) + sep + std::to_string(order) + sep + time + sep + security.board + sep +
              account + sep + security.code + sep + side + sep + Price(price, security.decimals, dec[0]) +
              sep + std::to_string(lots) + "\r\n";
    }
  }
  if (!Write(out, text)) return 1;
  if (!formatOut.empty() && !Write(formatOut, FormatFile(fieldSep, dec == "," ? 0 : 1))) return 1;
  if (!replaceOut.empty()) {
    std::string rules;
    for (size_t i = 0; i < accounts.letters.size(); ++i)
      rules += "$" + accounts.letters[i] + "=" + std::to_string(100 + 7 * (i % accountCount)) + ";\r\n";
    rules += "@SBER=10;GAZP=10;VTBR=10000;LKOH=1;\r\n";
    if (!Write(replaceOut, rules)) return 1;
  }
  return 0;
}
