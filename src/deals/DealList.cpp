#include "deals/DealList.h"

#include "deals/DealReport.h"
#include "support/Messages.h"
#include "utils/FileIO.h"
#include "utils/Utils.h"

namespace drs {

namespace {

const char kNoFormatMessage[] = "Не определен или содержит ошибки формат отображания";

std::string NotFoundMessage(const std::string& name) { return "Файл " + name + "  не найден."; }

// Reads the report and fills the grid; messages through ShowError. False
// when nothing could be read (the grid then is as it was).
bool LoadReportRows(const std::string& name, const ActiveFormat& format, DealGrid& grid,
                    const std::function<bool(int)>& keep) {
  ReportLines lines;
  std::string error;
  if (!ReadReport(name, format.fieldSepChar, format.clientIdField, lines, error)) {
    ShowError(error);
    return false;
  }
  if (!FillDealGrid(lines, format, grid, keep, error)) ShowError(error);
  return true;
}

}  // namespace

void DealList::LoadFormat(const std::string& paramsFileName) {
  formatStatus_[0] = "Файл настройки параметров: " + paramsFileName;
  drs::LoadFormat(paramsFileName, format_, grid_);
  // The load empties the grid; marks of its former rows would fall on the
  // blank row and on rows of the next report.
  marks_.Clear();
  if (format_.formatValid) formatStatus_ = FormatStatusTexts(paramsFileName, format_);
}

void DealList::ParseReplaceLine(const std::string& line, int lineNo) { lists_.ParseLine(line, lineNo); }

void DealList::ParseReplaceLines(const std::vector<std::string>& lines) {
  lists_.Clear();
  lists_.ParseLines(lines);
}

bool DealList::LoadStartFormat(const std::string& paramsFileName) {
  if (IsBlank(paramsFileName)) {
    ShowError(kNoFormatFileMessage);
    return false;
  }
  LoadFormat(paramsFileName);
  return true;
}

bool DealList::OpenReport(const std::string& inFileName, const std::string& minBound,
                          const std::string& maxBound) {
  unmarked_.Clear();
  mode_ = ViewMode::All;
  lastReportRead_ = false;
  if (!format_.formatValid) {
    ShowError(kNoFormatMessage);
    return false;
  }
  const std::string name = ReportFileName(inFileName);
  if (!FileExists(name)) {
    ShowInfo(NotFoundMessage(name));
  } else if (LoadReportRows(name, format_, grid_, nullptr)) {
    lastReportRead_ = true;
    marks_.Clear();
    if (grid_.RowCount() > 1) MarkByRange(grid_, format_, lists_, minBound, maxBound, marks_, &unmarked_);
  }
  dealStatus_[0] = "Всего " + std::to_string(grid_.RowCount() - 1) + " сделок";
  dealStatus_[1] = "Отмеченных  сделок: " + std::to_string(marks_.Count());
  dealsShown_ = true;
  exportAllowed_ = true;
  return true;
}

void DealList::ShowUnmarked(const std::string& inFileName, const std::string& minBound,
                            const std::string& maxBound) {
  if (marks_.Empty()) {
    ShowInfo("Нет отмеченных сделок");
    return;
  }
  mode_ = ViewMode::Unmarked;
  exportAllowed_ = false;
  lastReportRead_ = false;
  const std::string name = ReportFileName(inFileName);
  if (!FileExists(name)) {
    ShowInfo(NotFoundMessage(name));
  } else {
    // The marks are line numbers of the kept lines here.
    const MarkedRows before = marks_;
    if (LoadReportRows(name, format_, grid_, [&before](int line) { return !before.IsMarked(line); })) {
      lastReportRead_ = true;
      if (grid_.ColCount() >= 8) grid_.SetColWidth(7, 95);
      if (grid_.RowCount() > 1) {
        marks_.Clear();
        MarkByRange(grid_, format_, lists_, minBound, maxBound, marks_, nullptr);
      }
    }
  }
  dealStatus_[0] = "Всего " + std::to_string(grid_.RowCount() - 1) + " сделок";
  dealStatus_[1] = "Не отмеченныее сделки";
  dealsShown_ = true;
}

void DealList::ToggleMark(int row) {
  if (mode_ == ViewMode::Unmarked || row < 1 || row >= grid_.RowCount()) return;
  std::string account(grid_.Cell(format_.clientIdCol, row));
  if (marks_.Mark(row)) {
    unmarked_.Remove(account);
  } else {
    marks_.Unmark(row);
    unmarked_.AddUnique(std::move(account));
  }
  dealStatus_[1] = "Отмеченных  сделок: " + std::to_string(marks_.Count());
}

bool DealList::IsRelated(int row) const { return IsRelatedRow(grid_, format_, row); }

std::string DealList::DealKey(int row) const { return DealKeyOf(grid_, format_, row); }

std::vector<std::string> DealList::UnmarkedJournalLines() const {
  return drs::UnmarkedJournalLines(unmarked_.Items());
}

}  // namespace drs
