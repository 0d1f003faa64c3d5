// The deal list of the main window: the active format, the substitution and
// lot lists, the deal grid, the marks and the unmarked accounts, with the
// operations behind "Показать/обновить", the unmarked-deals view, the double
// click and the journal button. The window shows what these leave behind.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "deals/ActiveFormat.h"
#include "deals/DealGrid.h"
#include "deals/Marking.h"
#include "deals/ReplaceList.h"

namespace drs {

enum class ViewMode { All = 1, Unmarked = 2 };

class DealList {
 public:
  // Rebuilds the active format from the format parameters file; messages go
  // through ShowError. On success FormatStatus() holds the three texts of the
  // status line under the top panel.
  // Panel 0 is written on every call, panels 1 and 2 only after a good load.
  // The grid is left with its header and one blank row, and the marks empty.
  void LoadFormat(const std::string& paramsFileName);
  // Parses one stored line of the substitution list (numbered from 1).
  void ParseReplaceLine(const std::string& line, int lineNo);
  // The substitution and lot lists anew from these lines, numbered from 1;
  // the errors of many lines are summed up.
  void ParseReplaceLines(const std::vector<std::string>& lines);
  // The start-up load: a blank name shows kNoFormatFileMessage, any other
  // name runs LoadFormat. False when the name is blank.
  bool LoadStartFormat(const std::string& paramsFileName);

  // "Показать/обновить": reads the report named in the edit into the grid and
  // marks the deals in range. Returns false when the format check refused
  // (nothing changed then; the export button keeps its state).
  bool OpenReport(const std::string& inFileName, const std::string& minBound, const std::string& maxBound);
  // "Не отмеченные сделки".
  void ShowUnmarked(const std::string& inFileName, const std::string& minBound, const std::string& maxBound);
  // Double click on a deal row (full view only).
  void ToggleMark(int row);

  bool IsMarked(int row) const { return marks_.IsMarked(row); }
  // The row shares its deal key with a neighbour (drawn aqua).
  bool IsRelated(int row) const;
  std::string DealKey(int row) const;

  // The journal's lines for the unmarked accounts; empty when there are none.
  std::vector<std::string> UnmarkedJournalLines() const;

  const ActiveFormat& Format() const { return format_; }
  const ReplaceLists& Lists() const { return lists_; }
  const DealGrid& Grid() const { return grid_; }
  const MarkedRows& Marks() const { return marks_; }
  const std::vector<std::string>& UnmarkedAccounts() const { return unmarked_.Items(); }
  ViewMode Mode() const { return mode_; }
  bool DealsShown() const { return dealsShown_; }
  // Whether the export may run: set by every OpenReport past the format
  // check, cleared by the unmarked view.
  bool ExportAllowed() const { return exportAllowed_; }
  // Whether the last OpenReport or ShowUnmarked found and read its report.
  bool LastReportRead() const { return lastReportRead_; }
  void SetDealsShown(bool shown) { dealsShown_ = shown; }

  // Panels 0-2 of the status line under the top panel, after a good load.
  const std::array<std::string, 3>& FormatStatus() const { return formatStatus_; }
  // Panels 0-1 under the grid.
  const std::array<std::string, 2>& DealStatus() const { return dealStatus_; }

 private:
  ActiveFormat format_;
  ReplaceLists lists_;
  DealGrid grid_;
  MarkedRows marks_;
  AccountList unmarked_;
  ViewMode mode_ = ViewMode::All;
  bool dealsShown_ = false;
  bool exportAllowed_ = false;
  bool lastReportRead_ = false;
  std::array<std::string, 3> formatStatus_;
  std::array<std::string, 2> dealStatus_;
};

}  // namespace drs
