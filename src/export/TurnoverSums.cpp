#include "export/TurnoverSums.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <numeric>
#include <optional>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "engine/EDBEngineError.h"
#include "engine/Query.h"
#include "engine/RecordOrder.h"
#include "engine/SqlName.h"
#include "engine/TablePath.h"
#include "engine/TableScan.h"
#include "export/TurnoverPairing.h"
#include "utils/Pages.h"
#include "utils/TextCase.h"

namespace drs {

namespace {

struct Hash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>()(s); }
};
template <class T>
using TextMap = std::unordered_map<std::string, T, Hash, std::equal_to<>>;

// SUM as the statements take it: integers summed exactly while every value
// is one, else the values added one by one in double, in record order.
struct Sum {
  double real = 0;
  int64_t integer = 0;
  int64_t count = 0;
  bool approx = false, overflow = false;

  void Add(const DbfValue& v) {
    if (v.kind == DbfValue::Kind::Int) {
      ++count;
      real += double(v.integer);
      if (!approx && !overflow && __builtin_add_overflow(integer, v.integer, &integer))
        approx = overflow = true;
    } else if (v.kind == DbfValue::Kind::Real) {
      ++count;
      real += v.real;
      approx = true;
    }
  }
  // A sum of no values is null, read as 0.
  double Value() const { return count == 0 ? 0 : approx ? real : double(integer); }
};

// Records with the same bytes of ticker and operation type (and account) are
// one group; its ticker and type are numbers of their distinct bytes.
struct Group {
  uint32_t account, ticker, oper;
  Sum sum;
};

// Distinct bytes of one field, each with its value and its place in the
// statements' order of values (equal values share a place).
struct FieldValues {
  explicit FieldValues(const DbfField& f) : field(f) { field.offset = 0; }
  uint32_t Find(const char* bytes) {
    auto [it, added] = index.try_emplace(std::string(bytes, field.length), uint32_t(kept.size()));
    if (added) {
      std::string scratch;
      kept.push_back(DbValue::Of(ScanField(field, bytes, scratch)));
    }
    return it->second;
  }
  // Places in the order of values; false when two byte strings hold one value.
  bool Rank() {
    std::vector<uint32_t> order(kept.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(),
              [&](uint32_t a, uint32_t b) { return CompareValues(kept[a].View(), kept[b].View()) < 0; });
    rank.assign(kept.size(), 0);
    for (size_t i = 1; i < order.size(); ++i) {
      if (CompareValues(kept[order[i - 1]].View(), kept[order[i]].View()) == 0) return false;
      rank[order[i]] = uint32_t(i);
    }
    for (const DbValue& v : kept) texts.push_back(v.AsString());
    return true;
  }
  DbfField field;  // read from the start of the bytes
  TextMap<uint32_t> index;
  std::vector<DbValue> kept;  // apart from the records they were read from
  std::vector<uint32_t> rank;
  std::vector<std::string> texts;
};

constexpr uint32_t kNoGroup = UINT32_MAX;  // a free slot

// Doubles an open-addressing table of slots (at least 64) and puts every
// taken slot back at the place `hashOf` gives it.
template <typename Slot, typename HashOf>
void GrowSlots(HugePageVector<Slot>& slots, HashOf hashOf) {
  HugePageVector<Slot> old(std::max<size_t>(64, slots.size() * 2));
  old.swap(slots);
  for (const Slot& slot : old) {
    if (slot.group == kNoGroup) continue;
    size_t i = hashOf(slot) & (slots.size() - 1);
    while (slots[i].group != kNoGroup) i = (i + 1) & (slots.size() - 1);
    slots[i] = slot;
  }
}

// Groups by the bytes of their key: open addressing, half of the hash kept
// beside each group so that keys are mostly compared only when they agree.
class GroupIndex {
 public:
  explicit GroupIndex(size_t keyLength) : keyLength_(keyLength) {}
  // The group of `key` (keyLength bytes), or `added` (and the key kept) when
  // it is new.
  uint32_t Find(std::string_view key, uint32_t added) {
    if ((count_ + 1) * 2 > slots_.size()) Grow();
    const uint64_t h = Hash(key);
    for (size_t i = h & (slots_.size() - 1);; i = (i + 1) & (slots_.size() - 1)) {
      Slot& slot = slots_[i];
      if (slot.group == kNoGroup) {
        slot = {uint32_t(h >> 32), added};
        keys_.append(key);
        ++count_;
        return added;
      }
      if (slot.tag == uint32_t(h >> 32) &&
          std::memcmp(keys_.data() + slot.group * keyLength_, key.data(), keyLength_) == 0)
        return slot.group;
    }
  }

 private:
  struct Slot {
    uint32_t tag = 0;  // the hash's upper half
    uint32_t group = kNoGroup;
  };
  // Two independent lanes of multiply and shift, so that the words of a
  // key are mixed side by side rather than one after another.
  static uint64_t Hash(std::string_view key) {
    auto word = [&](size_t at, size_t n) {
      uint64_t w = 0;
      std::memcpy(&w, key.data() + at, n);
      return w;
    };
    uint64_t a = key.size() * 0x9E3779B97F4A7C15ull, b = 0x2545F4914F6CDD1Dull;
    size_t i = 0;
    for (; i + 16 <= key.size(); i += 16) {
      a = (a ^ word(i, 8)) * 0xFF51AFD7ED558CCDull;
      b = (b ^ word(i + 8, 8)) * 0xC4CEB9FE1A85EC53ull;
      a ^= a >> 32;
      b ^= b >> 29;
    }
    if (i + 8 <= key.size()) a = (a ^ word(i, 8)) * 0xFF51AFD7ED558CCDull, i += 8;
    b = (b ^ word(i, key.size() - i)) * 0xC4CEB9FE1A85EC53ull;
    uint64_t h = (a ^ (b << 31 | b >> 33)) * 0x9E3779B97F4A7C15ull;
    return h ^ (h >> 29);
  }
  void Grow() {
    GrowSlots(slots_, [&](const Slot& slot) {
      return Hash(std::string_view(keys_.data() + slot.group * keyLength_, keyLength_));
    });
  }
  HugePageVector<Slot> slots_;
  size_t keyLength_;
  std::string keys_;  // of each group in turn
  size_t count_ = 0;
};

// Groups by a number (account and pair numbers side by side), the number
// kept in the slot itself so that a lookup touches one place.
class NumberIndex {
 public:
  // The group of `key`, or `added` when it is new.
  uint32_t Find(uint64_t key, uint32_t added) {
    if ((count_ + 1) * 4 > slots_.size() * 3) Grow();
    for (size_t i = Hash(key) & (slots_.size() - 1);; i = (i + 1) & (slots_.size() - 1)) {
      Slot& slot = slots_[i];
      if (slot.group == kNoGroup) {
        slot = {key, added};
        ++count_;
        return added;
      }
      if (slot.key == key) return slot.group;
    }
  }

 private:
  struct Slot {
    uint64_t key = 0;
    uint32_t group = kNoGroup;
  };
  static uint64_t Hash(uint64_t key) {
    key *= 0x9E3779B97F4A7C15ull;
    return key ^ (key >> 29);
  }
  void Grow() {
    GrowSlots(slots_, [](const Slot& slot) { return Hash(slot.key); });
  }
  HugePageVector<Slot> slots_;
  size_t count_ = 0;
};

bool NumericField(const DbfField& f) { return f.type == 'N' || f.type == 'F'; }
bool TextField(const DbfField& f) { return f.type == 'C'; }

}  // namespace

bool SumTurnoversByScan(const std::string& file, bool byAccount, TurnoverPairing& pairing) {
  std::optional<TableScan> opened;
  try {
    opened.emplace(ResolveNamedFile(file));
  } catch (const EDBEngineError&) {
    return false;
  }
  TableScan& scan = *opened;
  const auto& fields = scan.Fields();
  for (size_t i = 0; i < fields.size(); ++i)
    for (size_t j = 0; j < i; ++j)
      if (SameText(fields[i].name, fields[j].name)) return false;
  const int tickerCol = scan.FieldIndex("TICKER"), operCol = scan.FieldIndex("OPERTYPE");
  const int qtyCol = scan.FieldIndex("QTY"), accountCol = byAccount ? scan.FieldIndex("CLIENTID") : -1;
  if (tickerCol < 0 || operCol < 0 || qtyCol < 0 || (byAccount && accountCol < 0)) return false;
  const DbfField& tickerField = fields[size_t(tickerCol)];
  const DbfField& operField = fields[size_t(operCol)];
  const DbfField& qtyField = fields[size_t(qtyCol)];
  const DbfField* accountField = byAccount ? &fields[size_t(accountCol)] : nullptr;
  if (!(TextField(tickerField) || NumericField(tickerField)) ||
      !(TextField(operField) || NumericField(operField)) || !NumericField(qtyField) ||
      (accountField && !TextField(*accountField)))
    return false;

  // Few distinct securities, types and accounts against many records: each
  // record's bytes are first numbered per field in small tables, and only
  // the numbers of account and security-and-type pick its group.
  // Room for a group per record (up to a few million), taken up only as
  // groups come.
  HugePageVector<Group> groups;
  groups.reserve(std::min<size_t>(scan.RecordCount(), size_t(1) << 22));
  GroupIndex pairOf(tickerField.length + operField.length);            // ticker and type bytes -> pair
  std::vector<std::pair<uint32_t, uint32_t>> pairs;                    // ticker and type values of each pair
  GroupIndex accountBytesOf(accountField ? accountField->length : 1);  // account bytes -> number
  std::vector<uint32_t> accountOfBytes;                                // account bytes number -> account
  NumberIndex groupOf;                                                 // account and pair numbers -> group
  FieldValues tickers(tickerField), opers(operField);
  std::vector<std::string> accounts;
  TextMap<uint32_t> accountOf;
  std::string key, accountBytes;
  scan.Scan([&](uint32_t, const char* rec) {
    key.assign(rec + tickerField.offset, tickerField.length);
    key.append(rec + operField.offset, operField.length);
    const uint32_t pair = pairOf.Find(key, uint32_t(pairs.size()));
    if (pair == pairs.size())
      pairs.emplace_back(tickers.Find(rec + tickerField.offset), opers.Find(rec + operField.offset));
    uint32_t account = 0, group = pair;
    if (accountField) {
      const char* bytes = rec + accountField->offset;
      const uint32_t known =
          accountBytesOf.Find(std::string_view(bytes, accountField->length), uint32_t(accountOfBytes.size()));
      if (known == accountOfBytes.size()) {
        const std::string_view name = ScanText(*accountField, rec, accountBytes);
        auto it = accountOf.find(name);
        if (it == accountOf.end()) {
          it = accountOf.emplace(std::string(name), uint32_t(accounts.size())).first;
          accounts.emplace_back(name);
        }
        accountOfBytes.push_back(it->second);
      }
      account = accountOfBytes[known];
      const uint64_t both = uint64_t(known) << 32 | pair;
      group = groupOf.Find(both, uint32_t(groups.size()));
    }
    if (group == groups.size()) groups.push_back({account, pairs[pair].first, pairs[pair].second, {}});
    groups[group].sum.Add(DecodeDbfNumber(qtyField, rec));
  });
  groupOf = NumberIndex();  // its room goes before the rows are made
  // Equal values in different bytes: the statements add their records in
  // another order.
  if (!tickers.Rank() || !opers.Rank()) return false;

  // Accounts as first met, then the statements' order of values. Groups
  // that still compare equal are one account written in different bytes.
  // The places keep the sums, so the groups go before the rows are made.
  struct Place {
    uint32_t account, ticker, oper;  // ticker and type by their place in the order of values
    double sum;
    auto Key() const { return std::tuple(account, ticker, oper); }
  };
  std::vector<Place> order(groups.size());
  for (uint32_t g = 0; g < groups.size(); ++g) {
    const Group& x = groups[g];
    if (x.sum.overflow) return false;
    order[g] = {x.account, tickers.rank[x.ticker], opers.rank[x.oper], x.sum.Value()};
  }
  HugePageVector<Group>().swap(groups);
  std::sort(order.begin(), order.end(), [](const Place& a, const Place& b) { return a.Key() < b.Key(); });
  for (size_t i = 1; i < order.size(); ++i)
    if (order[i - 1].Key() == order[i].Key()) return false;

  auto byRank = [](const FieldValues& values) {
    std::vector<const std::string*> texts(values.texts.size());
    for (size_t v = 0; v < texts.size(); ++v) texts[values.rank[v]] = &values.texts[v];
    return texts;
  };
  const std::vector<const std::string*> tickerText = byRank(tickers), operText = byRank(opers);
  pairing.Reserve(order.size());
  uint32_t account = UINT32_MAX;
  for (const Place& place : order) {
    if (accountField && place.account != account) {
      account = place.account;
      pairing.BeginAccount(accounts[account]);
    }
    pairing.Add(*tickerText[place.ticker], *operText[place.oper], place.sum);
  }
  return true;
}

namespace {

// Walks the open grouped sums into the pairing.
void AddSums(TQuery& sums, TurnoverPairing& pairing) {
  for (; !sums.Eof(); sums.Next()) pairing.Add(sums.AsString(0), sums.AsString(1), sums.AsFloat(2));
}

std::string SumsStatement(const std::string& table, bool oneAccount) {
  return "select  ticker,OPERTYPE,SUM(QTY) summa from " + QuoteIdentifier(table) +
         (oneAccount ? " where clientid=:clientid" : "") +
         " group by ticker,opertype order by ticker,OPERTYPE";
}

}  // namespace

void SumTurnoversByQuery(const std::string& folder, const std::string& table, const std::string& file,
                         bool byAccount, TurnoverPairing& pairing) {
  TQuery sums;
  sums.SetDatabaseName(folder);
  sums.SetTableFile(table, file);
  if (!byAccount) {
    sums.SetSQL(SumsStatement(table, false));
    sums.Open();
    AddSums(sums, pairing);
    return;
  }
  TQuery accounts;
  accounts.SetDatabaseName(folder);
  accounts.SetTableFile(table, file);
  accounts.SetSQL("Select  distinct clientid from " + QuoteIdentifier(table));
  accounts.Open();
  sums.SetSQL(SumsStatement(table, true));
  for (; !accounts.Eof(); accounts.Next()) {
    const std::string account = accounts.AsString(0);
    pairing.BeginAccount(account);
    sums.Close();
    sums.SetString("clientid", account);
    sums.Open();
    AddSums(sums, pairing);
  }
}

}  // namespace drs
