// The format editor window: the header strip with the separators, the format
// kind and the default lot, the tool buttons, the file name box and the
// format grid. The rules (check, rows, file) live in the core; this window
// binds them to the controls.
#pragma once

#include <QDialog>
#include <memory>

#include "format/StringGrid.h"

class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QToolButton;

namespace drs {

class MainWindowLink;
class StringGridModel;
class StringGridView;
class TEditCombo;
class TFilenameEdit;
class TLotEdit;
class WindowStore;

class TSetParamsForm : public QDialog {
  Q_OBJECT

 public:
  TSetParamsForm(MainWindowLink& link, QWidget* parent = nullptr);
  ~TSetParamsForm() override;

  // The actions of the tool buttons (also reachable by clicking them).
  void OpenFormat();
  void EditFormat();
  void SaveFormat();
  void UndoFormat();
  void AddRow();
  void DeleteRow();
  // The choices of the popup menus on the current row (only in edit mode).
  void ChooseView(bool shown);
  void ChooseRole(int choice);  // index into kRoleChoices

  bool EditMode() const { return editMode_; }
  bool Modified() const { return modified_; }
  // Edit mode, typed changes or moved rows that a close would lose.
  bool HoldsChanges() const { return editMode_ || modified_ || rowsMoved_; }
  StringGrid& Grid() { return grid_; }
  StringGridView* GridView() const { return SG_Format; }
  QMenu* ViewMenu() const { return PM_View; }
  QMenu* RoleMenu() const { return PM_obligatory_fields; }

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void BuildLayout();
  QFrame* BuildHeader();
  QFrame* BuildTools();
  QFrame* BuildGrid();
  void BuildMenus();
  void ConnectControls();
  void SetHeaderEnabled(bool on);
  void SetFixedCols(int count);
  void SetModifiedMarks();
  void PaintNormal();
  void ApplyDisplaySetting();
  void UpdatePopupMenu(int col);
  void ResetGridTitles();
  std::string FileName() const;

  MainWindowLink& link_;
  StringGrid grid_;
  bool editMode_ = false;
  bool modified_ = false;
  bool rowsMoved_ = false;

  TEditCombo* CB_FieldSep = nullptr;
  TEditCombo* CB_DecSep = nullptr;
  TEditCombo* CB_Format = nullptr;
  TLotEdit* CE_Lot = nullptr;
  QToolButton* OpenFormatBtn = nullptr;
  QToolButton* EditFormatBtn = nullptr;
  QToolButton* SaveBtn = nullptr;
  QToolButton* UndoBtn = nullptr;
  QToolButton* DelRowBtn = nullptr;
  QToolButton* AddStrBtn = nullptr;
  TFilenameEdit* FN_Editor = nullptr;
  StringGridModel* model_ = nullptr;
  StringGridView* SG_Format = nullptr;
  QMenu* PM_View = nullptr;
  QMenu* PM_obligatory_fields = nullptr;
  std::unique_ptr<WindowStore> store_;
};

}  // namespace drs
