#include "ui/dialogs.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/select_rtu.h"

namespace t32::ui {

namespace {
TModalHook& Hook() {
  static TModalHook h;
  return h;
}
}  // namespace

void SetModalHook(TModalHook hook) { Hook() = std::move(hook); }

int RunModal(QDialog& dlg) {
  if (Hook()) {
    dlg.show();
    return Hook()(dlg);
  }
  return dlg.exec();
}

void TRightCloseDialog::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() == Qt::RightButton) {
    reject();
    return;
  }
  QDialog::mouseReleaseEvent(e);
}

static QLabel* MessageLabel(const QString& text, QWidget* parent) {
  // A lone "\r" in a message is a line break too.
  QString t = text;
  t.replace("\r\n", "\n");
  t.replace('\r', '\n');
  auto* l = new QLabel(t, parent);
  l->setWordWrap(true);
  l->setMinimumWidth(320);
  l->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return l;
}

TErrorDlg::TErrorDlg(const QString& text, QWidget* parent) : TRightCloseDialog(parent) {
  setObjectName("TErrorDlg");
  setWindowTitle(QString::fromUtf8(kProgramTitle) + " - Ошибка");
  auto* lay = new QVBoxLayout(this);
  auto* row = new QHBoxLayout;
  auto* icon = new QLabel(this);
  icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));
  row->addWidget(icon, 0, Qt::AlignTop);
  row->addWidget(MessageLabel(text, this), 1);
  lay->addLayout(row);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  closeButton = new QPushButton("Закрыть", this);
  closeButton->setDefault(true);
  connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);
  buttons->addWidget(closeButton);
  buttons->addStretch();
  lay->addLayout(buttons);
}

TYesNoDialog::TYesNoDialog(const QString& text, bool withCancel, QWidget* parent)
    : TRightCloseDialog(parent) {
  setObjectName("TYesNoDialog");
  setWindowTitle(QString::fromUtf8(kProgramTitle) + " - Запрос");
  auto* lay = new QVBoxLayout(this);
  auto* row = new QHBoxLayout;
  auto* icon = new QLabel(this);
  icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
  row->addWidget(icon, 0, Qt::AlignTop);
  row->addWidget(MessageLabel(text, this), 1);
  lay->addLayout(row);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  yesButton = new QPushButton("Да", this);
  noButton = new QPushButton("Нет", this);
  cancelButton = new QPushButton("Отмена", this);
  yesButton->setDefault(true);
  yesButton->setAutoDefault(true);
  for (auto* b : {yesButton, noButton, cancelButton}) buttons->addWidget(b);
  buttons->addStretch();
  cancelButton->setVisible(withCancel);
  connect(yesButton, &QPushButton::clicked, this, [this] { done(kYes); });
  connect(noButton, &QPushButton::clicked, this, [this] { done(kNo); });
  connect(cancelButton, &QPushButton::clicked, this, [this] { done(kCancel); });
  lay->addLayout(buttons);
}

void TYesNoDialog::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() == Qt::RightButton) {
    done(kCancel);
    return;
  }
  QDialog::mouseReleaseEvent(e);
}

void TQtMessages::ShowError(const std::string& text) {
  QApplication::beep();
  // Texts are at most 255 characters in the controller's own messages; longer ones are cut so
  // that a damaged file cannot flood the window.
  QString t = Q(text);
  if (t.size() > 1000) t = t.left(1000) + "…";
  TErrorDlg dlg(t, parent_ ? parent_->window() : nullptr);
  RunModal(dlg);
}

int TQtMessages::AskConfirm(const std::string& text, bool withCancel) {
  TYesNoDialog dlg(Q(text), withCancel, parent_ ? parent_->window() : nullptr);
  int r = RunModal(dlg);
  // Esc or the window's close box count as the cancel answer.
  if (r != kYes && r != kNo) r = kCancel;
  return r;
}

int TQtMessages::AskCancelIgnore(const std::string& text) {
  QApplication::beep();
  TRightCloseDialog dlg(parent_ ? parent_->window() : nullptr);
  dlg.setObjectName("TCancelIgnoreDialog");
  dlg.setWindowTitle(QString::fromUtf8(kProgramTitle) + " - Ошибка");
  auto* lay = new QVBoxLayout(&dlg);
  auto* row = new QHBoxLayout;
  auto* icon = new QLabel(&dlg);
  icon->setPixmap(dlg.style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));
  row->addWidget(icon, 0, Qt::AlignTop);
  QString shown = Q(text);
  shown.replace('\r', '\n');  // the model's texts break lines with CR
  row->addWidget(MessageLabel(shown, &dlg), 1);
  lay->addLayout(row);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  auto* cancel = new QPushButton("Cancel", &dlg);
  auto* ignore = new QPushButton("Ignore", &dlg);
  cancel->setDefault(true);
  buttons->addWidget(cancel);
  buttons->addWidget(ignore);
  buttons->addStretch();
  lay->addLayout(buttons);
  QObject::connect(cancel, &QPushButton::clicked, &dlg, [&dlg] { dlg.done(kCancel); });
  QObject::connect(ignore, &QPushButton::clicked, &dlg, [&dlg] { dlg.done(kIgnore); });
  // Esc and the close box are the recommended answer: back to editing.
  return RunModal(dlg) == kIgnore ? kIgnore : kCancel;
}

TInputTextDialog::TInputTextDialog(const QString& title, const QString& prompt, const QString& text,
                                   QWidget* parent)
    : TRightCloseDialog(parent) {
  setObjectName("TInputTextDialog");
  setWindowTitle(title);
  auto* lay = new QVBoxLayout(this);
  promptLabel = MessageLabel(prompt, this);
  promptLabel->setObjectName("promptLabel");
  lay->addWidget(promptLabel);
  edit = new QLineEdit(text, this);
  edit->setObjectName("edit");
  edit->setMaxLength(1000);  // a name longer than the controller keeps is refused by the caller
  edit->selectAll();
  lay->addWidget(edit);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  okButton = new QPushButton("OK", this);
  cancelButton = new QPushButton("Отмена", this);
  okButton->setDefault(true);
  buttons->addWidget(okButton);
  buttons->addWidget(cancelButton);
  buttons->addStretch();
  lay->addLayout(buttons);
  connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
  edit->setFocus();
}

std::optional<std::string> TQtMessages::AskText(const std::string& title, const std::string& prompt,
                                                const std::string& initial) {
  TInputTextDialog dlg(Q(title), Q(prompt), Q(initial), parent_ ? parent_->window() : nullptr);
  if (RunModal(dlg) != QDialog::Accepted) return std::nullopt;
  return S(dlg.edit->text());
}

bool TQtMessages::PickDevices(const std::vector<TDevicePick>& used, const std::vector<std::string>& types,
                              std::vector<TDevicePick>& picked) {
  TSelectRTU dlg(used, types, parent_ ? parent_->window() : nullptr);
  if (RunModal(dlg) != QDialog::Accepted) return false;
  picked = dlg.Picked();
  return true;
}

void TQtMessages::SelectNode(TNode* node) {
  if (!selectHandler || !parent_) return;
  QPointer<QWidget> guard(parent_);
  auto handler = selectHandler;
  QTimer::singleShot(0, parent_, [guard, handler, node] {
    if (guard) handler(node);
  });
}

}  // namespace t32::ui
