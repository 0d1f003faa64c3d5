#include "support/ui/WindowStore.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QDateEdit>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QVariant>
#include <QWidget>
#include <cstdio>
#include <stdexcept>

#include "profile/IniFile.h"
#include "support/AppPaths.h"
#include "support/StoredValue.h"
#include "support/ui/AppWindow.h"
#include "utils/Errors.h"
#include "utils/Utils.h"

namespace drs {

namespace {

std::string ToStd(const QString& s) { return s.toStdString(); }
QString ToQt(const std::string& s) { return QString::fromStdString(s); }

int ToInt(const std::string& text, int def) { return DecodeStoredInt(text).value_or(def); }

// The radio buttons of a group box, in child order.
std::vector<QRadioButton*> RadioButtons(QGroupBox* box) {
  std::vector<QRadioButton*> result;
  for (QRadioButton* b : box->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly)) result.push_back(b);
  return result;
}

std::string ClassSection(const QWidget* window) {
  std::string name = window->metaObject()->className();
  size_t colon = name.rfind("::");
  return colon == std::string::npos ? name : name.substr(colon + 2);
}

}  // namespace

WindowStore::WindowStore(QWidget* window, std::string section, std::string fileName)
    : window_(window), section_(std::move(section)), fileName_(std::move(fileName)) {
  if (section_.empty()) section_ = ClassSection(window);
  if (fileName_.empty()) {
    try {
      fileName_ = SettingsFilePath();
    } catch (const EInOutError&) {
      // No home folder: the window keeps nothing, so the message saying so
      // can still be shown.
    }
  }
  window->installEventFilter(this);
  RestorePlacementEarly();
}

WindowStore::~WindowStore() {
  if (window_) {
    window_->removeEventFilter(this);
    if (automatic_ && shown_ && window_->isVisible()) SaveQuietly();
  }
}

void WindowStore::Add(QObject* control, const std::string& property) {
  if (!control) throw std::invalid_argument("WindowStore: no control for " + property);
  const std::string key = ToStd(control->objectName()) + "." + property;
  if (property == "Text" && AddText(key, control)) return;
  if (property == "Checked" && AddChecked(key, control)) return;
  if (property == "ItemIndex" && AddItemIndex(key, control)) return;
  if (property == "Value" && AddNumber(key, control)) return;
  AddProperty(key, control, property);
}

// A line's, a date's or an editable combo box's text.
bool WindowStore::AddText(const std::string& key, QObject* control) {
  auto lineEdit = qobject_cast<QLineEdit*>(control);
  auto dateEdit = qobject_cast<QDateEdit*>(control);
  auto combo = qobject_cast<QComboBox*>(control);
  if (lineEdit) {
    AddValue(
        key, [lineEdit] { return ToStd(lineEdit->text()); },
        [lineEdit](const std::string& v) { lineEdit->setText(ToQt(v)); });
    return true;
  }
  if (dateEdit) {
    AddValue(
        key, [dateEdit] { return ToStd(dateEdit->text()); },
        [dateEdit](const std::string& v) {
          QDate d = QDate::fromString(ToQt(v), dateEdit->displayFormat());
          if (d.isValid()) dateEdit->setDate(d);
        });
    return true;
  }
  if (combo && combo->isEditable()) {
    AddValue(
        key, [combo] { return ToStd(combo->currentText()); },
        [combo](const std::string& v) { combo->setEditText(ToQt(v)); });
    return true;
  }
  return false;
}

bool WindowStore::AddChecked(const std::string& key, QObject* control) {
  auto button = qobject_cast<QAbstractButton*>(control);
  if (button) {
    AddValue(
        key, [button] { return EncodeStoredFlag(button->isChecked()); },
        [button](const std::string& v) {
          if (const std::optional<bool> on = DecodeStoredFlag(v)) button->setChecked(*on);
        });
    return true;
  }
  return false;
}

// The chosen item of a combo box, a button group or a group of radio
// buttons.
bool WindowStore::AddItemIndex(const std::string& key, QObject* control) {
  auto combo = qobject_cast<QComboBox*>(control);
  auto buttons = qobject_cast<QButtonGroup*>(control);
  auto box = qobject_cast<QGroupBox*>(control);
  if (combo) {
    AddValue(
        key, [combo] { return EncodeStoredInt(combo->currentIndex()); },
        [combo](const std::string& v) {
          int i = ToInt(v, -2);
          if (i >= -1 && i < combo->count()) combo->setCurrentIndex(i);
        });
    return true;
  }
  if (buttons) {
    AddValue(
        key,
        [buttons] {
          QList<QAbstractButton*> list = buttons->buttons();
          return EncodeStoredInt(static_cast<int>(list.indexOf(buttons->checkedButton())));
        },
        [buttons](const std::string& v) {
          QList<QAbstractButton*> list = buttons->buttons();
          int i = ToInt(v, -2);
          if (i >= 0 && i < list.size()) list[i]->setChecked(true);
        });
    return true;
  }
  if (box) {
    AddValue(
        key,
        [box] {
          std::vector<QRadioButton*> list = RadioButtons(box);
          for (size_t i = 0; i < list.size(); ++i)
            if (list[i]->isChecked()) return EncodeStoredInt(static_cast<int>(i));
          return EncodeStoredInt(-1);
        },
        [box](const std::string& v) {
          std::vector<QRadioButton*> list = RadioButtons(box);
          int i = ToInt(v, -2);
          if (i >= 0 && i < static_cast<int>(list.size())) list[static_cast<size_t>(i)]->setChecked(true);
        });
    return true;
  }
  return false;
}

bool WindowStore::AddNumber(const std::string& key, QObject* control) {
  auto spin = qobject_cast<QSpinBox*>(control);
  auto dspin = qobject_cast<QDoubleSpinBox*>(control);
  if (spin) {
    AddValue(
        key, [spin] { return EncodeStoredInt(spin->value()); },
        [spin](const std::string& v) {
          if (const std::optional<int> i = DecodeStoredInt(v)) spin->setValue(*i);
        });
    return true;
  }
  if (dspin) {
    AddValue(
        key, [dspin] { return ToStd(QString::number(dspin->value(), 'g', 15)); },
        [dspin](const std::string& v) {
          bool ok = false;
          double d = ToQt(v).toDouble(&ok);
          if (ok) dspin->setValue(d);
        });
    return true;
  }
  return false;
}

void WindowStore::AddProperty(const std::string& key, QObject* control, const std::string& property) {
  QPointer<QObject> c(control);
  // A control of our own that publishes the property under its Qt name
  // ("Text" -> "text", "ItemIndex" -> "itemIndex").
  std::string qtName = property;
  if (!qtName.empty()) qtName[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(qtName[0])));
  if (control->metaObject()->indexOfProperty(qtName.c_str()) < 0)
    throw std::invalid_argument("WindowStore: " + key + " cannot be stored");
  AddValue(
      key, [c, qtName] { return c ? ToStd(c->property(qtName.c_str()).toString()) : std::string(); },
      [c, qtName](const std::string& v) {
        if (!c) return;
        QVariant value(ToQt(v));
        if (value.convert(c->property(qtName.c_str()).metaType())) c->setProperty(qtName.c_str(), value);
      });
}

void WindowStore::AddValue(const std::string& key, std::function<std::string()> get,
                           std::function<void(const std::string&)> set) {
  items_.push_back(Item{key, std::move(get), std::move(set)});
}

bool WindowStore::HasPlacement() const {
  IniFile ini(fileName_);
  return ini.ValueExists(section_, "Width") && ini.ValueExists(section_, "Height");
}

WindowStore::Placement WindowStore::ReadPlacement(const IniDocument& doc) const {
  Placement p;
  std::string text;
  auto number = [&](const char* key) -> std::optional<int> {
    return doc.Read(section_, key, text) ? DecodeStoredInt(text) : std::nullopt;
  };
  const std::optional<int> width = number("Width"), height = number("Height");
  if (width && height && *width > 0 && *height > 0) p.size = QSize(*width, *height);
  const std::optional<int> left = number("Left"), top = number("Top");
  if (left && top) p.pos = QPoint(*left, *top);
  if (doc.Read(section_, "State", text)) p.state = ToInt(text, 0);
  return p;
}

void WindowStore::ApplyPlacement(const Placement& p) {
  if (p.size) window_->resize(*p.size);
  if (p.pos) MoveWindowFrame(window_, *p.pos);
  if (p.state) {
    Qt::WindowStates states = window_->windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized);
    if (*p.state == 2) states |= Qt::WindowMaximized;
    window_->setWindowState(states);
  }
}

void WindowStore::RestorePlacementEarly() {
  // A window placed before its native window exists stands with its frame
  // exactly there; once it exists, Qt can only guess the frame until the
  // window manager has drawn it.
  if (!placement_ || !window_ || window_->testAttribute(Qt::WA_WState_Created) || fileName_.empty()) return;
  early_ = ReadPlacement(IniFile(fileName_).Document());
  ApplyPlacement(*early_);
}

void WindowStore::Restore() {
  IniFile ini(fileName_);
  const IniDocument& doc = ini.Document();
  for (const Item& item : items_) {
    std::string value;
    if (doc.Read(section_, item.key, value)) item.set(value);
  }
  if (!placement_ || !window_) return;
  const Placement p = ReadPlacement(doc);
  const bool placedEarly = early_ && *early_ == p;
  early_.reset();
  if (!placedEarly) ApplyPlacement(p);
}

void WindowStore::Save() {
  if (fileName_.empty()) return;
  std::vector<std::pair<std::string, std::string>> values;
  for (const Item& item : items_) values.emplace_back(item.key, item.get());
  if (placement_ && window_) {
    bool maximised = window_->isMaximized();
    // The frame's corner, from the frame the window system reports now.
    const QMargins frame = WindowFrame(window_);
    const QPoint framePos = window_->geometry().topLeft() - QPoint(frame.left(), frame.top());
    QRect r = maximised ? window_->normalGeometry() : QRect(framePos, window_->size());
    if (!r.isValid()) r = QRect(framePos, window_->size());
    values.emplace_back("Left", EncodeStoredInt(r.x()));
    values.emplace_back("Top", EncodeStoredInt(r.y()));
    values.emplace_back("Width", EncodeStoredInt(r.width()));
    values.emplace_back("Height", EncodeStoredInt(r.height()));
    values.emplace_back("State", EncodeStoredInt(maximised ? 2 : 0));
  }
  IniFile ini(fileName_);
  ini.Edit([&](IniDocument& doc) {
    for (const auto& [key, value] : values) doc.Write(section_, key, value);
  });
  shown_ = false;
}

void WindowStore::SaveQuietly() {
  try {
    Save();
  } catch (const std::exception& e) {
    // No dialog while a window goes away; the settings keep their old values.
    std::fprintf(stderr, "%s\n", e.what());
  }
}

bool WindowStore::eventFilter(QObject* watched, QEvent* event) {
  if (automatic_ && watched == window_) {
    if (event->type() == QEvent::Show && !event->spontaneous()) {
      Restore();
      shown_ = true;
    } else if (event->type() == QEvent::Hide && !event->spontaneous() && shown_) {
      SaveQuietly();
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace drs
