// Turnovers ("Обороты"): units bought, sold and their difference from the
// output deal table, per security ("ShOb.DBF") or per account and security
// ("CLOb.DBF"), in the current working folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace drs {

class TQuery;

// Items of OborotModeRadioGroup.
inline constexpr int kTurnoverBySecurity = 0;  // "По ЦБ"
inline constexpr int kTurnoverByAccount = 1;   // "По счетам"

// A column of the turnover grid; all titles are centred.
struct TurnoverColumn {
  const char* field;
  const char* title;
  int width;
  const char* displayFormat;  // "" for none; ",0" whole numbers with thousands separators
};

// The grid's columns for a mode (empty for an unknown mode).
std::vector<TurnoverColumn> TurnoverColumns(int mode);

struct TurnoverResult {
  bool shown = false;  // the view is open on the rebuilt table
  int64_t recordCount = 0;
  std::string recordCountText;  // second panel of StatusBar1
  std::vector<TurnoverColumn> columns;
};

// Rebuilds the turnover table of `mode` from the output deal table named by
// `outFileName` and opens `view` (the window's turnover view) on it. Engine
// failures are reported ("Не могу открыть запрос", "Ошибка при расчете
// оборотов") and end the computation; an unknown mode does nothing. The
// caller holds back the updates of its output view controls meanwhile.
TurnoverResult ComputeTurnovers(const std::string& outFileName, int mode, TQuery& view);

// The creation of an empty turnover table ("ShOb.DBF" layout, or "CLOb.DBF"
// when by account); false (with the reason in `error` when given) when it
// could not be written.
bool CreateTurnoverTable(const std::string& path, bool byAccount, std::string* error = nullptr);

}  // namespace drs
