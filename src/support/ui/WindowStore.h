// Stored window settings: listed control properties and the window's
// placement, kept in the settings file in a section named after the window
// class. A window lists its stored controls once, then the store restores
// them when the window is shown (before the window's own show step) and saves
// them when the window is hidden, closed or destroyed.
#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QSize>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace drs {

class IniDocument;

class WindowStore : public QObject {
  Q_OBJECT

 public:
  // `section` defaults to the window's class name without its namespace.
  // `fileName` defaults to the settings file; without a settings folder
  // nothing is restored or saved. A window whose native window does not
  // exist yet takes its stored placement at once, so that its frame stands
  // where it stood when it was closed.
  explicit WindowStore(QWidget* window, std::string section = {}, std::string fileName = {});
  // Saves once more when the window is still shown (a window destroyed while
  // open). Keep the store a member of the window so the controls still exist.
  ~WindowStore() override;

  // Stores `property` of the control under "<objectName>.<property>".
  // Supported: Text (QLineEdit, TFilenameEdit, QDateEdit, QComboBox edit),
  // Checked (QAbstractButton, 1/0), ItemIndex (QComboBox, QButtonGroup,
  // a QGroupBox of radio buttons: index of the checked one, -1 for none),
  // Value (QSpinBox, QDoubleSpinBox). Throws std::invalid_argument otherwise.
  void Add(QObject* control, const std::string& property);
  // Any other value, by its own key.
  void AddValue(const std::string& key, std::function<std::string()> get,
                std::function<void(const std::string&)> set);

  // Placement keys Left, Top, Width, Height, State (0 normal, 2 maximised).
  void SetStorePlacement(bool on) { placement_ = on; }
  // When off, Restore and Save run only when called.
  void SetAutomatic(bool on) { automatic_ = on; }

  const std::string& Section() const { return section_; }
  const std::string& FileName() const { return fileName_; }

  // Applies the stored values that exist; missing keys leave the control as
  // it is. Restoring a text emits the control's normal change signal.
  void Restore();
  // Writes every listed value and the placement in one rewrite of the file.
  // Throws EIniWriteError when the file cannot be written.
  void Save();
  // True when the section holds a placement.
  bool HasPlacement() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The ways Add stores a property; false when the control is of none of
  // their kinds.
  bool AddText(const std::string& key, QObject* control);
  bool AddChecked(const std::string& key, QObject* control);
  bool AddItemIndex(const std::string& key, QObject* control);
  bool AddNumber(const std::string& key, QObject* control);
  void AddProperty(const std::string& key, QObject* control, const std::string& property);

  struct Item {
    std::string key;
    std::function<std::string()> get;
    std::function<void(const std::string&)> set;
  };
  struct Placement {
    std::optional<QSize> size;
    std::optional<QPoint> pos;  // of the frame
    std::optional<int> state;
    bool operator==(const Placement&) const = default;
  };
  Placement ReadPlacement(const IniDocument& doc) const;
  void ApplyPlacement(const Placement& p);
  void RestorePlacementEarly();
  void SaveQuietly();

  QPointer<QWidget> window_;
  std::string section_;
  std::string fileName_;
  std::vector<Item> items_;
  bool placement_ = true;
  bool automatic_ = true;
  bool shown_ = false;  // shown since the last save
  // The placement given before the native window existed, not to be given
  // again at the first show unless the file changed meanwhile.
  std::optional<Placement> early_;
};

}  // namespace drs
