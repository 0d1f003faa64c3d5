#include "export/TurnoverSums.h"

#include <algorithm>
#include <functional>
#include <numeric>
#include <optional>
#include <tuple>
#include <vector>

#include "engine/EDBEngineError.h"
#include "engine/Query.h"
#include "engine/RecordOrder.h"
#include "engine/SqlName.h"
#include "engine/TablePath.h"
#include "engine/TableScan.h"
#include "export/TurnoverPairing.h"
#include "utils/HashMap.h"
#include "utils/Pages.h"
#include "utils/TextCase.h"

namespace drs {

namespace {

// Account and pair numbers side by side, hashed by one multiply.
struct NumberHash {
  size_t operator()(uint64_t key) const noexcept {
    key *= 0x9E3779B97F4A7C15ull;
    return key ^ (key >> 29);
  }
};
using NumberMap = HashMap<uint64_t, uint32_t, NumberHash>;

template <class T>
using TextMap = HashMap<std::string, T, WordHash, std::equal_to<>>;

// The number a key has in the map, or `next` given to it when it is new.
uint32_t NumberOf(TextMap<uint32_t>& map, std::string_view key, uint32_t next) {
  auto it = map.find(key);
  if (it == map.end()) it = map.emplace(std::string(key), next).first;
  return it->second;
}

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
    const uint32_t place = NumberOf(index, std::string_view(bytes, field.length), uint32_t(kept.size()));
    if (place == kept.size()) {
      std::string scratch;
      kept.push_back(DbValue::Of(ScanField(field, bytes, scratch)));
    }
    return place;
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

bool NumericField(const DbfField& f) { return f.type == 'N' || f.type == 'F'; }
bool TextField(const DbfField& f) { return f.type == 'C'; }

// The fields the sums read (no account unless by account).
struct SumFields {
  const DbfField* ticker = nullptr;
  const DbfField* oper = nullptr;
  const DbfField* qty = nullptr;
  const DbfField* account = nullptr;
};

// False when a field is missing, named twice or of a kind the scan does not
// group as the statements do.
bool FindSumFields(const TableScan& scan, bool byAccount, SumFields& found) {
  const auto& fields = scan.Fields();
  for (size_t i = 0; i < fields.size(); ++i)
    for (size_t j = 0; j < i; ++j)
      if (SameText(fields[i].name, fields[j].name)) return false;
  const int tickerCol = scan.FieldIndex("TICKER"), operCol = scan.FieldIndex("OPERTYPE");
  const int qtyCol = scan.FieldIndex("QTY"), accountCol = byAccount ? scan.FieldIndex("CLIENTID") : -1;
  if (tickerCol < 0 || operCol < 0 || qtyCol < 0 || (byAccount && accountCol < 0)) return false;
  found.ticker = &fields[size_t(tickerCol)];
  found.oper = &fields[size_t(operCol)];
  found.qty = &fields[size_t(qtyCol)];
  found.account = byAccount ? &fields[size_t(accountCol)] : nullptr;
  return (TextField(*found.ticker) || NumericField(*found.ticker)) &&
         (TextField(*found.oper) || NumericField(*found.oper)) && NumericField(*found.qty) &&
         (!found.account || TextField(*found.account));
}

// The records' sums per group. Few distinct securities, types and accounts
// against many records: each record's bytes are first numbered per field in
// small tables, and only the numbers of account and security-and-type pick
// its group.
class GroupedSums {
 public:
  GroupedSums(const SumFields& fields, uint32_t records)
      : fields_(fields), tickers_(*fields.ticker), opers_(*fields.oper) {
    // Room for a group per record (up to a few million), taken up only as
    // groups come.
    groups_.reserve(std::min<size_t>(records, size_t(1) << 22));
  }

  void Add(const char* rec) {
    const uint32_t pair = PairOf(rec);
    uint32_t account = 0, group = pair;
    if (fields_.account) {
      const uint32_t known = AccountBytesOf(rec);
      account = accountOfBytes_[known];
      const uint64_t both = uint64_t(known) << 32 | pair;
      group = groupOf_.try_emplace(both, uint32_t(groups_.size())).first->second;
    }
    if (group == groups_.size()) groups_.push_back({account, pairs_[pair].first, pairs_[pair].second, {}});
    groups_[group].sum.Add(DecodeDbfNumber(*fields_.qty, rec));
  }

  // Into the pairing in the statements' order: accounts as first met, then
  // the order of values. False, with nothing fed, when the statements would
  // group or add otherwise.
  bool Feed(TurnoverPairing& pairing) {
    NumberMap().swap(groupOf_);  // its room goes before the rows are made
    // Equal values in different bytes: the statements add their records in
    // another order.
    if (!tickers_.Rank() || !opers_.Rank()) return false;
    std::vector<Place> order;
    if (!Order(order)) return false;
    const std::vector<const std::string*> tickerText = ByRank(tickers_), operText = ByRank(opers_);
    pairing.Reserve(order.size());
    uint32_t account = UINT32_MAX;
    for (const Place& place : order) {
      if (fields_.account && place.account != account) {
        account = place.account;
        pairing.BeginAccount(accounts_[account]);
      }
      pairing.Add(*tickerText[place.ticker], *operText[place.oper], place.sum);
    }
    return true;
  }

 private:
  struct Place {
    uint32_t account, ticker, oper;  // ticker and type by their place in the order of values
    double sum;
    auto Key() const { return std::tuple(account, ticker, oper); }
  };

  // The pair of the record's ticker and type bytes.
  uint32_t PairOf(const char* rec) {
    key_.assign(rec + fields_.ticker->offset, fields_.ticker->length);
    key_.append(rec + fields_.oper->offset, fields_.oper->length);
    const uint32_t pair = NumberOf(pairOf_, key_, uint32_t(pairs_.size()));
    if (pair == pairs_.size())
      pairs_.emplace_back(tickers_.Find(rec + fields_.ticker->offset),
                          opers_.Find(rec + fields_.oper->offset));
    return pair;
  }

  // The number of the record's account bytes, its account found or added.
  uint32_t AccountBytesOf(const char* rec) {
    const DbfField& field = *fields_.account;
    const uint32_t known = NumberOf(accountBytesOf_, std::string_view(rec + field.offset, field.length),
                                    uint32_t(accountOfBytes_.size()));
    if (known == accountOfBytes_.size()) {
      const std::string_view name = ScanText(field, rec, accountBytes_);
      auto it = accountOf_.find(name);
      if (it == accountOf_.end()) {
        it = accountOf_.emplace(std::string(name), uint32_t(accounts_.size())).first;
        accounts_.emplace_back(name);
      }
      accountOfBytes_.push_back(it->second);
    }
    return known;
  }

  // The groups in order. Groups that still compare equal are one account
  // written in different bytes. The places keep the sums, so the groups go
  // before the rows are made.
  bool Order(std::vector<Place>& order) {
    order.resize(groups_.size());
    for (uint32_t g = 0; g < groups_.size(); ++g) {
      const Group& x = groups_[g];
      if (x.sum.overflow) return false;
      order[g] = {x.account, tickers_.rank[x.ticker], opers_.rank[x.oper], x.sum.Value()};
    }
    HugePageVector<Group>().swap(groups_);
    std::sort(order.begin(), order.end(), [](const Place& a, const Place& b) { return a.Key() < b.Key(); });
    for (size_t i = 1; i < order.size(); ++i)
      if (order[i - 1].Key() == order[i].Key()) return false;
    return true;
  }

  static std::vector<const std::string*> ByRank(const FieldValues& values) {
    std::vector<const std::string*> texts(values.texts.size());
    for (size_t v = 0; v < texts.size(); ++v) texts[values.rank[v]] = &values.texts[v];
    return texts;
  }

  SumFields fields_;
  HugePageVector<Group> groups_;
  TextMap<uint32_t> pairOf_;                          // ticker and type bytes -> pair
  std::vector<std::pair<uint32_t, uint32_t>> pairs_;  // ticker and type values of each pair
  TextMap<uint32_t> accountBytesOf_;                  // account bytes -> number
  std::vector<uint32_t> accountOfBytes_;              // account bytes number -> account
  NumberMap groupOf_;                                 // account and pair numbers -> group
  FieldValues tickers_, opers_;
  std::vector<std::string> accounts_;
  TextMap<uint32_t> accountOf_;
  std::string key_, accountBytes_;
};

}  // namespace

bool SumTurnoversByScan(const std::string& file, bool byAccount, TurnoverPairing& pairing) {
  std::optional<TableScan> opened;
  try {
    opened.emplace(ResolveNamedFile(file));
  } catch (const EDBEngineError&) {
    return false;
  }
  TableScan& scan = *opened;
  SumFields fields;
  if (!FindSumFields(scan, byAccount, fields)) return false;
  GroupedSums sums(fields, scan.RecordCount());
  scan.Scan([&](uint32_t, const char* rec) { sums.Add(rec); });
  return sums.Feed(pairing);
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
