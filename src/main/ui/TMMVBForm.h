// The main window: the deal report, its grid and marks, the output table and
// the turnovers. Every action starts here; the rules live in DealList and the
// other core units, this window binds them to its controls.
#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "deals/DealList.h"
#include "engine/Query.h"
#include "format/ui/MainWindowLink.h"

class QCheckBox;
class QDateEdit;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QTableView;
class QToolButton;
namespace drs {

class DealGridModel;
class TRadioGroup;
class TStatusBar;
class OutputView;
class TDataSource;
class TDBGrid;
class TFilenameEdit;
class WindowStore;
class TJrnlForm;

class TMMVBForm : public QWidget, public drs::MainWindowLink {
  Q_OBJECT

 public:
  static constexpr int kDesignWidth = 788;
  static constexpr int kDesignHeight = 526;
  static constexpr int kGridRowHeight = 16;
  static constexpr int kJournalMaxLines = 3000;

  explicit TMMVBForm(QWidget* parent = nullptr);
  ~TMMVBForm() override;

  // The journal window, created by the program after this window.
  void SetJournalForm(drs::TJrnlForm* journal);
  drs::TJrnlForm* JournalForm() const { return journal_; }

  // Handlers, public so that the editors and the tests reach them.
  void OpenBtnClick() override;
  void NotSelBtnClick();
  void JournalBtnClick();
  void SetParamsBtnClick();
  void ReplaceListBtnClick();
  void MMVBGridDblClick();
  void ExportBtnClick();
  void NewOborotBtnClick();

  // MainWindowLink.
  std::string ParamsFileName() const override { return paramsFileName_; }
  void SetParamsFileName(const std::string& name) override;
  bool DealsShown() const override { return deals_.DealsShown(); }
  void ReparseReplaceList(const std::vector<std::string>& lines) override;
  void ShowJournal() override;
  void JournalClear() override;
  void JournalSetActive(bool active) override;
  void JournalAddLine(const std::string& line) override;

  const drs::DealList& Deals() const { return deals_; }
  // The text of OutFilenameEdit as the export takes it.
  const std::string& OutFileName() const { return outFileName_; }
  DealGridModel* GridModel() const { return model_; }
  drs::OutputView* OutputTableView() const { return outputView_; }

 signals:
  // The window was closed: the program ends.
  void Closed();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildTopStrip(QWidget* strip);
  void BuildUpperPanel(QWidget* panel);
  void BuildLowerPanel(QWidget* panel);
  void ListStoredControls();
  void ConnectHandlers();

  void FormShow();
  void RunLoadFormat();
  // After the grid's rows changed: the model, the column widths, the counters.
  void ShowDealGrid();
  void ApplyColumnWidths();
  void BoundEditChange(QLineEdit* edit);

  drs::DealList deals_;
  bool exporting_ = false;  // an export runs (inside ExportBtnClick)
  std::string paramsFileName_;
  std::string outFileName_;
  // Column widths as the operator sees them; a model reset must not lose them.
  std::vector<int> columnWidths_;
  bool applyingWidths_ = false;

  QToolButton* OpenBtn = nullptr;
  drs::TFilenameEdit* InFilenameEdit = nullptr;
  QToolButton* SetParamsBtn = nullptr;
  QToolButton* ReplaceListBtn = nullptr;
  QToolButton* JournalBtn = nullptr;
  QLineEdit* BrokerAccEdit = nullptr;
  QDateEdit* TorgDateEdit = nullptr;
  QGroupBox* SelectGroup = nullptr;
  QLineEdit* MinClientEdit = nullptr;
  QLineEdit* MaxClientEdit = nullptr;
  QToolButton* NotSelBtn = nullptr;
  TStatusBar* StatusBar3 = nullptr;
  QTableView* MMVBGrid = nullptr;
  DealGridModel* model_ = nullptr;
  TStatusBar* StatusBar2 = nullptr;
  QWidget* FriendPanel1 = nullptr;
  QWidget* FriendPanel2 = nullptr;
  drs::OutputView* outputView_ = nullptr;  // OutFilenameEdit, NewDealBtn, DBNavigator1, RxDBGrid1
  QToolButton* ExportBtn = nullptr;
  TRadioGroup* WriteModeRadioGroup = nullptr;
  QCheckBox* SqueeseClaineCheckBox = nullptr;
  QCheckBox* SqueeseClientCheckBox = nullptr;
  drs::TDBGrid* ObDBGrid = nullptr;
  drs::TDataSource* oborotSource_ = nullptr;
  drs::TQuery oborotQuery_;
  QToolButton* NewOborotBtn = nullptr;
  TRadioGroup* OborotModeRadioGroup = nullptr;
  TStatusBar* StatusBar1 = nullptr;

  drs::TJrnlForm* journal_ = nullptr;
  QPointer<QWidget> setParamsForm_;
  QPointer<QWidget> replaceForm_;
  std::unique_ptr<drs::WindowStore> store_;
};

}  // namespace drs
