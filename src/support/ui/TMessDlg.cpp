#include "support/ui/TMessDlg.h"

#include <QApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QTextBlock>
#include <QVBoxLayout>
#include <algorithm>

#include "support/ui/AppWindow.h"
#include "support/ui/CenterButtons.h"
#include "support/ui/FocusReturn.h"
#include "support/ui/TGradientCaption.h"
#include "support/ui/WindowStore.h"

namespace drs {

namespace {

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text, int left) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(name);
  b->setGeometry(left, 3, TMessDlg::kButtonWidth, TMessDlg::kButtonHeight);
  return b;
}

QStyle::StandardPixmap KindIcon(MsgKind kind) {
  switch (kind) {
    case MsgKind::Warning:
      return QStyle::SP_MessageBoxWarning;
    case MsgKind::Error:
      return QStyle::SP_MessageBoxCritical;
    case MsgKind::Question:
    case MsgKind::QuestionCancel:
      return QStyle::SP_MessageBoxQuestion;
    case MsgKind::Information:
    default:
      return QStyle::SP_MessageBoxInformation;
  }
}

}  // namespace

QString TMessDlg::KindTitle(MsgKind kind) {
  switch (kind) {
    case MsgKind::Warning:
      return QStringLiteral("Предупреждение");
    case MsgKind::Error:
      return QStringLiteral("Ошибка");
    case MsgKind::Question:
    case MsgKind::QuestionCancel:
      return QStringLiteral("Вопрос");
    case MsgKind::Information:
    default:
      return QStringLiteral("Информация");
  }
}

TMessDlg::TMessDlg(const MessageRequest& request, QWidget* owner) : QDialog(owner) {
  setObjectName("MessDlg");
  setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setSizeGripEnabled(true);

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);
  caption_ = new TGradientCaption(this, this);
  outer->addWidget(caption_);

  outer->addWidget(BuildClient(), 1);
  outer->addWidget(BuildButtons());
  ApplyKind(request);
  resize(kDesignWidth, kDesignHeight);
  buttonPanel_->resize(kDesignWidth, kButtonPanelHeight);
  CenterButtons(buttonPanel_);

  QPixmap icon = style()->standardIcon(KindIcon(request.kind)).pixmap(33, 33);
  image_->setPixmap(icon);
  image_->setGeometry((imagePanel_->width() - 33) / 2, (imagePanel_->height() - 33) / 2, 33, 33);

  ShowDetails(request);

  // Centred on the screen; a saved placement takes its place when shown.
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect s = screen->geometry();
    move(s.x() + (s.width() - width()) / 2, s.y() + (s.height() - height()) / 2);
  }
  store_ = std::make_unique<WindowStore>(this, "TMessDlg");
  if (request.details) WidenToDetails();
}

// The splitter with the message above and the details panel below.
QWidget* TMessDlg::BuildClient() {
  auto* client = new QWidget(this);
  auto* clientLayout = new QVBoxLayout(client);
  clientLayout->setContentsMargins(5, 5, 5, 5);
  clientLayout->setSpacing(0);
  splitter_ = new QSplitter(Qt::Vertical, client);
  splitter_->setHandleWidth(3);
  splitter_->setChildrenCollapsible(false);
  clientLayout->addWidget(splitter_);

  QWidget* messageArea = BuildMessageArea();
  BuildObjectPanel();
  splitter_->addWidget(messageArea);
  splitter_->addWidget(objectPanel_);
  splitter_->setStretchFactor(0, 1);
  splitter_->setStretchFactor(1, 0);
  return client;
}

// The icon column and the message memo.
QWidget* TMessDlg::BuildMessageArea() {
  auto* messageArea = new QWidget(splitter_);
  auto* messageLayout = new QHBoxLayout(messageArea);
  messageLayout->setContentsMargins(0, 0, 0, 0);
  messageLayout->setSpacing(0);
  auto* column = new QWidget(messageArea);
  column->setFixedWidth(56);
  imagePanel_ = new QFrame(column);
  imagePanel_->setObjectName("ImagePanel");
  imagePanel_->setFrameShape(QFrame::Panel);
  imagePanel_->setFrameShadow(QFrame::Sunken);
  imagePanel_->setGeometry(0, 0, 49, 49);
  image_ = new QLabel(imagePanel_);
  image_->setObjectName("Image");
  messageLayout->addWidget(column);
  messageMemo_ = new QPlainTextEdit(messageArea);
  messageMemo_->setObjectName("MessageMemo");
  messageMemo_->setReadOnly(true);
  messageMemo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  messageMemo_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  messageMemo_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  {
    QPalette pal = messageMemo_->palette();
    pal.setColor(QPalette::Base, pal.color(QPalette::Window));
    messageMemo_->setPalette(pal);
  }
  messageLayout->addWidget(messageMemo_, 1);
  messageArea->setMinimumHeight(49);

  return messageArea;
}

// The details: their header (object, caret position) and memo.
void TMessDlg::BuildObjectPanel() {
  objectPanel_ = new QWidget(splitter_);
  objectPanel_->setObjectName("ObjectPanel");
  auto* objectLayout = new QVBoxLayout(objectPanel_);
  objectLayout->setContentsMargins(0, 0, 0, 0);
  objectLayout->setSpacing(0);
  auto* header = new QWidget(objectPanel_);
  header->setFixedHeight(16);
  auto* headerLayout = new QHBoxLayout(header);
  headerLayout->setContentsMargins(2, 0, 2, 0);
  objectLabel_ = new QLabel(header);
  objectLabel_->setObjectName("ObjectLabel");
  linePosLabel_ = new QLabel(header);
  linePosLabel_->setObjectName("LinePosLabel");
  headerLayout->addWidget(objectLabel_);
  headerLayout->addStretch(1);
  headerLayout->addWidget(linePosLabel_);
  objectLayout->addWidget(header);
  objectMemo_ = new QPlainTextEdit(objectPanel_);
  objectMemo_->setObjectName("ObjectMemo");
  objectMemo_->setReadOnly(true);
  objectMemo_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  objectMemo_->setLineWrapMode(QPlainTextEdit::NoWrap);
  objectMemo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  objectMemo_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  {
    QPalette pal = objectMemo_->palette();
    pal.setColor(QPalette::Base, pal.color(QPalette::Button));
    objectMemo_->setPalette(pal);
  }
  objectMemo_->installEventFilter(this);
  objectMemo_->viewport()->installEventFilter(this);
  objectLayout->addWidget(objectMemo_, 1);
}

QWidget* TMessDlg::BuildButtons() {
  buttonPanel_ = new QWidget(this);
  buttonPanel_->setObjectName("ButtonPanel");
  buttonPanel_->setFixedHeight(kButtonPanelHeight);
  yesBtn_ = MakeButton(buttonPanel_, "YesBtn", QStringLiteral("Да"), 8);
  noBtn_ = MakeButton(buttonPanel_, "NoBtn", QStringLiteral("Нет"), 90);
  detailBtn_ = MakeButton(buttonPanel_, "DetailBtn", QStringLiteral("Детали"), 172);
  detailBtn_->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
  cancelBtn_ = MakeButton(buttonPanel_, "CancelBtn", QStringLiteral("Отмена"), 254);
  yesBtn_->setDefault(true);
  for (QPushButton* b : {noBtn_, detailBtn_, cancelBtn_}) b->setAutoDefault(false);
  connect(yesBtn_, &QPushButton::clicked, this, [this] { Finish(kAnswerYes); });
  connect(noBtn_, &QPushButton::clicked, this, [this] { Finish(kAnswerNo); });
  connect(cancelBtn_, &QPushButton::clicked, this, [this] { Finish(kAnswerCancel); });
  connect(objectMemo_, &QPlainTextEdit::cursorPositionChanged, this, &TMessDlg::UpdateCaretIndicator);
  return buttonPanel_;
}

// The kind: title, icon, buttons, Esc button, gradient start colour.
void TMessDlg::ApplyKind(const MessageRequest& request) {
  messageMemo_->setPlainText(QString::fromStdString(request.text));
  const MsgKind kind = request.kind;
  caption_->SetCaption(KindTitle(kind));
  if (kind == MsgKind::Information || kind == MsgKind::Question || kind == MsgKind::QuestionCancel)
    caption_->SetStartColor(QColor(0, 0, 255));
  noBtn_->setVisible(kind == MsgKind::Question || kind == MsgKind::QuestionCancel);
  cancelBtn_->setVisible(kind == MsgKind::QuestionCancel);
  if (kind == MsgKind::Warning || kind == MsgKind::Information || kind == MsgKind::Error) {
    yesBtn_->setText(QStringLiteral("OK"));
    escButton_ = yesBtn_;
  } else if (kind == MsgKind::Question) {
    escButton_ = noBtn_;
  } else {
    escButton_ = cancelBtn_;
  }
  onDetail_ = request.onDetail;
  detailBtn_->setVisible(static_cast<bool>(onDetail_));
  if (onDetail_) connect(detailBtn_, &QPushButton::clicked, this, [this] { onDetail_(); });
}

// The details shown with the caret at the reported place, or their panel
// hidden.
void TMessDlg::ShowDetails(const MessageRequest& request) {
  if (request.details) {
    QStringList lines;
    for (const std::string& line : *request.details) lines << QString::fromStdString(line);
    objectMemo_->setPlainText(lines.join('\n'));
    splitter_->setSizes({kDesignHeight - kObjectPanelHeight, kObjectPanelHeight});
    if (request.line <= 0 || request.position <= 0) {
      objectLabel_->clear();
    } else {
      PlaceCaret(request.line, request.position);
      objectLabel_->setText(
          QStringLiteral("В строке: %1; позиции: %2").arg(request.line).arg(request.position));
    }
    UpdateCaretIndicator();
  } else {
    objectPanel_->hide();
    resize(kDesignWidth, kDesignHeight - kObjectPanelHeight);
  }
}

void TMessDlg::WidenToDetails() {
  // The details keep their lines unbroken: the dialog grows (up to the
  // screen) until the longest is seen whole, a centred dialog staying centred.
  const QFontMetrics metrics = objectMemo_->fontMetrics();
  int longest = 0;
  for (QTextBlock b = objectMemo_->document()->begin(); b.isValid(); b = b.next())
    longest = std::max(longest, metrics.horizontalAdvance(b.text()));
  const int memoFrame = 2 * objectMemo_->frameWidth() + style()->pixelMetric(QStyle::PM_ScrollBarExtent) +
                        2 * int(objectMemo_->document()->documentMargin()) + 2;
  const int clientMargins = 10;
  const QMargins frame = WindowFrame(this);
  QRect avail(0, 0, 1 << 20, 1 << 20);
  if (QScreen* screen = QGuiApplication::primaryScreen()) avail = screen->availableGeometry();
  const int needed =
      std::min(longest + memoFrame + clientMargins, avail.width() - frame.left() - frame.right());
  if (needed <= width()) return;
  const bool centred = !store_->HasPlacement();
  const QRect before = geometry().marginsAdded(frame);
  resize(needed, height());
  QRect place = geometry().marginsAdded(frame);
  if (centred) place.moveLeft(before.left() - (place.width() - before.width()) / 2);
  place.moveLeft(
      std::clamp(place.left(), avail.left(), std::max(avail.left(), avail.right() + 1 - place.width())));
  MoveWindowFrame(this, place.topLeft());
}

TMessDlg::~TMessDlg() = default;

int TMessDlg::Execute(const MessageRequest& request) {
  // Owned by the window that asks, which the window manager gives the focus
  // back to when the dialog goes.
  FocusReturn back;
  TMessDlg dialog(request, AskingWindow());
  dialog.exec();
  return dialog.Answer();
}

void TMessDlg::Finish(int answer) {
  answer_ = answer;
  QDialog::done(answer == kAnswerYes ? QDialog::Accepted : QDialog::Rejected);
}

void TMessDlg::reject() { Finish(kAnswerCancel); }

void TMessDlg::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    if (escButton_ && escButton_->isVisibleTo(this)) escButton_->click();
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TMessDlg::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  buttonPanel_->resize(width(), kButtonPanelHeight);
  CenterButtons(buttonPanel_);
}

void TMessDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (objectPanel_->isVisibleTo(this)) {
    objectMemo_->setFocus();
    // Show the caret's line at the top, as far as the memo can scroll.
    if (scrollTo_ > 0) objectMemo_->verticalScrollBar()->setValue(scrollTo_);
  } else {
    for (QPushButton* b : {yesBtn_, noBtn_, detailBtn_, cancelBtn_}) {
      if (b->isVisibleTo(this)) {
        b->setFocus();
        break;
      }
    }
  }
}

bool TMessDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == objectMemo_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    // The memo takes no Enter: it presses the default button.
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      yesBtn_->click();
      return true;
    }
  }
  if ((watched == objectMemo_ && event->type() == QEvent::KeyRelease) ||
      (watched == objectMemo_->viewport() && event->type() == QEvent::MouseButtonPress)) {
    UpdateCaretIndicator();
  }
  return QDialog::eventFilter(watched, event);
}

void TMessDlg::PlaceCaret(int line, int position) {
  QTextDocument* doc = objectMemo_->document();
  // A line beyond the details stops at the last one rather than failing.
  int block = std::min(line, doc->blockCount()) - 1;
  QTextBlock b = doc->findBlockByNumber(block);
  int offset = b.position() + std::min(position - 1, b.length() - 1);
  QTextCursor cursor(doc);
  cursor.setPosition(offset);
  objectMemo_->setTextCursor(cursor);
  scrollTo_ = block;
}

void TMessDlg::UpdateCaretIndicator() {
  QTextCursor cursor = objectMemo_->textCursor();
  int line = cursor.block().blockNumber() + 1;
  int column = cursor.position() - cursor.block().position() + 1;
  linePosLabel_->setText(QStringLiteral("(%1:%2)").arg(line).arg(column));
}

}  // namespace drs
