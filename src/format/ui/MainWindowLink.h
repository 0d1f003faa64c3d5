// What the format editor (TSetParamsForm) and the substitution list editor
// (TReplaceForm) need of the main window. TMMVBForm implements it; the tests
// use a fake. The editors never include the main window itself.
//
// Opening the editors (the main window's side):
//   TSetParamsForm(MainWindowLink& link, QWidget* parent): a QDialog that
//     deletes itself on close. Keep a QPointer to it; close an open one first,
//     then create a new one and call exec() (modal, on top).
//   TReplaceForm(MainWindowLink& link, QWidget* parent): a non-modal window
//     that deletes itself on close. Keep a QPointer; when one is open, raise
//     and activate it instead of creating a second one; otherwise create it
//     and call show().
// The QPointer clears itself when the editor is freed.
#pragma once

#include <string>
#include <vector>

namespace drs {

class MainWindowLink {
 public:
  virtual ~MainWindowLink() = default;

  // The name of the format parameters file in use (may be empty). UTF-8.
  virtual std::string ParamsFileName() const = 0;
  // Called after a successful save of a format: store the name in the
  // settings file (section ParamsFileName, key ParamsFileName), keep it as the
  // main window's value, set panel 0 of StatusBar3 to
  // "Файл настройки параметров: " followed by the name, then run LoadFormat
  // (which reports its own errors).
  virtual void SetParamsFileName(const std::string& name) = 0;

  // True once a deal report has been shown in the main window.
  virtual bool DealsShown() const = 0;
  // Empty ReplaceFrom, ReplaceTo, LotCodes and LotSizes, then run
  // ParseReplaceLine for every line with its number counted from 1.
  virtual void ReparseReplaceList(const std::vector<std::string>& lines) = 0;
  // The action of "Показать/обновить".
  virtual void OpenBtnClick() = 0;

  // The journal window TJrnlForm and its Journal1.
  virtual void ShowJournal() = 0;
  virtual void JournalClear() = 0;
  virtual void JournalSetActive(bool active) = 0;
  virtual void JournalAddLine(const std::string& line) = 0;
};

}  // namespace drs
