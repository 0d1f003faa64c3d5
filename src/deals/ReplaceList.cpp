#include "deals/ReplaceList.h"

#include "support/Messages.h"
#include "utils/NumberText.h"
#include "utils/TextCase.h"
#include "utils/Utils.h"

namespace drs {

namespace {

void Report(RepeatedMessages* messages, int lineNo, const char* text) {
  const std::string message =
      "Ошибка формата  в строке " + std::to_string(lineNo) + ". файла подстановок. " + text;
  if (messages) {
    messages->Error(message);
  } else {
    ShowError(message);
  }
}

// FoldCase, quicker for the plain ASCII codes that make up most reports.
std::string FoldKey(std::string_view code) {
  std::string key(code);
  for (char& c : key) {
    if (static_cast<unsigned char>(c) >= 0x80) return FoldCase(code);
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
  }
  return key;
}

template <typename Index>
const std::string* Find(const Index& index, const std::vector<std::string>& values, std::string_view code) {
  if (code.empty() || index.empty()) return nullptr;  // an empty code never matches
  // Short ASCII codes, most of a report's, are folded on the stack.
  char folded[32];
  bool ascii = code.size() <= sizeof folded;
  for (size_t i = 0; ascii && i < code.size(); ++i) {
    const char c = code[i];
    ascii = static_cast<unsigned char>(c) < 0x80;
    folded[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
  }
  auto it = ascii ? index.find(std::string_view(folded, code.size())) : index.find(FoldKey(code));
  return it == index.end() ? nullptr : &values[it->second];
}

}  // namespace

void ReplaceLists::Clear() {
  replaceFrom_.clear();
  replaceTo_.clear();
  lotCodes_.clear();
  lotSizes_.clear();
  replaceIndex_.clear();
  lotIndex_.clear();
}

void ReplaceLists::AddPair(bool account, std::string code, const std::string& value) {
  auto& codes = account ? replaceFrom_ : lotCodes_;
  auto& values = account ? replaceTo_ : lotSizes_;
  auto& index = account ? replaceIndex_ : lotIndex_;
  if (!code.empty()) index.emplace(FoldKey(code), codes.size());  // keeps the first definition
  codes.push_back(std::move(code));
  values.push_back(value);
}

void ReplaceLists::ParseLine(std::string_view line, int lineNo, RepeatedMessages* messages) {
  if (IsBlank(line)) return;
  char marker = line.front();
  if (marker != '$' && marker != '@') {
    Report(messages, lineNo, "Начальный символ строки должен быть \"$\" или \"@\"");
    return;
  }
  bool account = marker == '$';
  std::string_view body = line.substr(1);
  if (body.empty() || body.back() != ';') {
    Report(messages, lineNo, "Нет завершающего символа \";\"");
    return;
  }
  body.remove_suffix(1);
  // Every ";" closes one item; the final one closed the last.
  size_t start = 0;
  for (;;) {
    size_t end = body.find(';', start);
    std::string_view item =
        body.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    size_t eq = item.rfind('=');
    if (eq == std::string_view::npos) {
      Report(messages, lineNo, "Отсутствует символ \"=\"");
    } else {
      std::string value(item.substr(eq + 1));
      int number = 0;
      if (!TryStrToInt(value, number)) {
        Report(messages, lineNo,
               account ? "Номер счета должен быть целым числом" : "Лот должен быть целым числом");
      } else {
        // Codes are stored the last one first.
        std::string_view codes = item.substr(0, eq);
        size_t stop = codes.size();
        for (;;) {
          size_t comma = stop == 0 ? std::string_view::npos : codes.rfind(',', stop - 1);
          size_t from = comma == std::string_view::npos ? 0 : comma + 1;
          AddPair(account, std::string(codes.substr(from, stop - from)), value);
          if (comma == std::string_view::npos) break;
          stop = comma;
        }
      }
    }
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
}

void ReplaceLists::ParseLines(const std::vector<std::string>& lines) {
  RepeatedMessages messages;
  for (size_t i = 0; i < lines.size(); ++i) ParseLine(lines[i], static_cast<int>(i) + 1, &messages);
  if (messages.Withheld()) {
    ShowInfo("Ошибок в списке подстановок: " + std::to_string(messages.Count()) + ". Показаны первые " +
             std::to_string(RepeatedMessages::kDialogs) + ", все ошибки записаны в журнал.");
  }
}

const std::string* ReplaceLists::FindReplacement(std::string_view code) const {
  return Find(replaceIndex_, replaceTo_, code);
}

const std::string* ReplaceLists::FindLotSize(std::string_view code) const {
  return Find(lotIndex_, lotSizes_, code);
}

int ReplaceLists::LotFor(std::string_view securityCode, int defaultLot) const {
  const std::string* size = FindLotSize(securityCode);
  int lot = 0;
  return size && TryStrToInt(*size, lot) ? lot : defaultLot;
}

}  // namespace drs
