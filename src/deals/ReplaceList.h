// The substitution and lot list: "$" lines map the exchange's account codes
// to settlement accounts, "@" lines give lot sizes of securities.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace drs {

class RepeatedMessages;

class ReplaceLists {
 public:
  // Parses one stored line (numbered from 1) and appends its pairs; every bad
  // line or item is shown through ShowError (or `messages`) and left out.
  void ParseLine(std::string_view line, int lineNo, RepeatedMessages* messages = nullptr);
  // Every stored line in order, numbered from 1. Each error goes into the
  // journal, the first few also as dialogs; when some were not shown, one
  // closing message gives their number.
  void ParseLines(const std::vector<std::string>& lines);
  void Clear();

  const std::vector<std::string>& ReplaceFrom() const { return replaceFrom_; }
  const std::vector<std::string>& ReplaceTo() const { return replaceTo_; }
  const std::vector<std::string>& LotCodes() const { return lotCodes_; }
  const std::vector<std::string>& LotSizes() const { return lotSizes_; }

  // The first definition of the code, ignoring case; null when none.
  const std::string* FindReplacement(std::string_view code) const;
  const std::string* FindLotSize(std::string_view code) const;
  // The lot of a security: its listed size, else `defaultLot`.
  int LotFor(std::string_view securityCode, int defaultLot) const;

 private:
  void AddPair(bool account, std::string code, const std::string& value);

  std::vector<std::string> replaceFrom_, replaceTo_, lotCodes_, lotSizes_;
  // Looked up by a view: no key is built for a lookup.
  struct KeyHash {
    using is_transparent = void;
    size_t operator()(std::string_view key) const { return std::hash<std::string_view>()(key); }
  };
  using Index = std::unordered_map<std::string, size_t, KeyHash, std::equal_to<>>;
  // Folded code -> index of its first definition.
  Index replaceIndex_, lotIndex_;
};

}  // namespace drs
