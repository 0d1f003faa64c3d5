#include "format/ui/TReplaceForm.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QShowEvent>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "format/MemoText.h"
#include "format/ui/MainWindowLink.h"
#include "support/Messages.h"
#include "support/SettingsFile.h"
#include "support/ui/AppWindow.h"
#include "support/ui/GeneralError.h"
#include "support/ui/WindowStore.h"

namespace drs {

TReplaceForm::TReplaceForm(MainWindowLink& link, QWidget* parent) : QWidget(parent), link_(link) {
  setObjectName("ReplaceForm");
  setWindowFlags(Qt::Window | Qt::WindowStaysOnTopHint);
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle("Редактор подстоновок и лотов.");
  resize(442, 259);

  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(0, 0, 0, 0);
  root->setSpacing(0);
  auto* strip = new QWidget(this);
  strip->setObjectName("TopPanel");
  strip->setFixedHeight(35);
  auto* sl = new QHBoxLayout(strip);
  sl->setContentsMargins(4, 4, 4, 4);
  SaveBtn = new QToolButton(strip);
  SaveBtn->setObjectName("SaveBtn");
  SaveBtn->setToolTip("Сохранить");
  SaveBtn->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
  SaveBtn->setAutoRaise(true);
  EraseBtn = new QToolButton(strip);
  EraseBtn->setObjectName("EraseBtn");
  EraseBtn->setToolTip("Очистить");
  EraseBtn->setIcon(style()->standardIcon(QStyle::SP_DialogResetButton));
  EraseBtn->setAutoRaise(true);
  sl->addWidget(SaveBtn);
  sl->addStretch(1);
  sl->addWidget(EraseBtn);
  root->addWidget(strip);

  ReplaceMemo = new QPlainTextEdit(this);
  ReplaceMemo->setObjectName("ReplaceMemo");
  QFont font("Arial");
  font.setPixelSize(13);
  font.setBold(true);
  ReplaceMemo->setFont(font);
  ReplaceMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
  ReplaceMemo->setToolTip(
      "Пример строки подстановок: Все перечисленные до \";\" подставляются как 002\n"
      "$Z,AS,P,075,121,A=002;PP=003;\n"
      "Строка размеров лотов: ЦБ RU12345618910 с лотом=1, остальные 100\n"
      "@RU12345618910=1;");
  root->addWidget(ReplaceMemo, 1);

  connect(ReplaceMemo, &QPlainTextEdit::textChanged, this, [this] { modified_ = true; });
  connect(SaveBtn, &QToolButton::clicked, this, Guarded([this] { Save(); }));
  connect(EraseBtn, &QToolButton::clicked, this, Guarded([this] { Erase(); }));

  store_ = std::make_unique<WindowStore>(this);
}

TReplaceForm::~TReplaceForm() = default;

std::vector<std::string> TReplaceForm::Lines() const {
  return MemoLines(ReplaceMemo->toPlainText().toStdString());
}

void TReplaceForm::showEvent(QShowEvent* event) {
  // Without a kept place, beside the main window rather than over its buttons.
  if (!event->spontaneous() && !store_->HasPlacement()) PlaceBesideAppWindow(this);
  QWidget::showEvent(event);
  if (event->spontaneous()) return;
  RunGuarded([this] {
    std::vector<std::string> lines = Lines();
    if (ReadStoredReplaceList(lines)) {
      ReplaceMemo->setPlainText(QString::fromStdString(MemoText(lines)));
    }
    modified_ = false;
  });
}

void TReplaceForm::WriteList() { WriteStoredReplaceList(Lines()); }

void TReplaceForm::Save() {
  WriteList();
  modified_ = false;
  if (!link_.DealsShown()) return;
  link_.ReparseReplaceList(Lines());
  link_.OpenBtnClick();
}

void TReplaceForm::Erase() {
  if (!AskQuestion("Очистить поле?")) return;
  ReplaceMemo->clear();
  modified_ = true;  // also when the box was empty already
}

void TReplaceForm::closeEvent(QCloseEvent* event) {
  // A failed write keeps the window open, so the text is not lost.
  const bool written = RunGuarded([this] {
    if (modified_ && AskQuestion("Сохранить изменения?")) WriteList();
  });
  if (written)
    event->accept();
  else
    event->ignore();
}

}  // namespace drs
