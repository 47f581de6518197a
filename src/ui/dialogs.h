// The two modal message windows every command uses (error window, confirmation dialog), the
// Qt side of TMessages, and the one place where modal dialogs run, so that tests can answer
// them without blocking.
#pragma once
#include <QDialog>
#include <QString>
#include <functional>

#include "model/messages.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace t32::ui {

// Application name (the settings and the desktop's application name).
inline const char* kAppTitle = "Tavrik32";
// Program title used in the link caption, the About text and as the prefix of message window
// titles.
inline const char* kProgramTitle = "Конфигуратор ТАВРИК32";
// Main window caption.
inline const char* kMainCaption = "Конфигуратор контроллера ТАВРИК32";

inline QString Q(const std::string& s) { return QString::fromStdString(s); }
inline std::string S(const QString& s) { return s.toStdString(); }

// Runs a modal dialog. When a test installed a hook, the hook gets the dialog (shown, not
// executed) and returns the result instead.
using TModalHook = std::function<int(QDialog&)>;
void SetModalHook(TModalHook hook);
int RunModal(QDialog& dlg);

// Secondary windows close on a right button release (as Esc does).
class TRightCloseDialog : public QDialog {
 public:
  using QDialog::QDialog;

 protected:
  void mouseReleaseEvent(QMouseEvent* e) override;
};

class TErrorDlg : public TRightCloseDialog {
  Q_OBJECT
 public:
  explicit TErrorDlg(const QString& text, QWidget* parent = nullptr);
  QPushButton* closeButton = nullptr;
};

class TYesNoDialog : public TRightCloseDialog {
  Q_OBJECT
 public:
  TYesNoDialog(const QString& text, bool withCancel, QWidget* parent = nullptr);
  QPushButton* yesButton = nullptr;
  QPushButton* noButton = nullptr;
  QPushButton* cancelButton = nullptr;

 protected:
  void mouseReleaseEvent(QMouseEvent* e) override;
};

// The one-line input dialog: a prompt, a field with the text selected, "OK" and "Отмена".
class TInputTextDialog : public TRightCloseDialog {
  Q_OBJECT
 public:
  TInputTextDialog(const QString& title, const QString& prompt, const QString& text, QWidget* parent = nullptr);
  QLabel* promptLabel = nullptr;
  QLineEdit* edit = nullptr;
  QPushButton* okButton = nullptr;
  QPushButton* cancelButton = nullptr;
};

// TMessages in real windows; SelectNode is posted to the handler so that it runs after the
// current command.
class TQtMessages : public TMessages {
 public:
  explicit TQtMessages(QWidget* parent = nullptr) : parent_(parent) {}
  void ShowError(const std::string& text) override;
  int AskConfirm(const std::string& text, bool withCancel = false) override;
  // The error window with "Cancel" and "Ignore" (a table cell that cannot be stored).
  int AskCancelIgnore(const std::string& text) override;
  void SelectNode(TNode* node) override;
  std::optional<std::string> AskText(const std::string& title, const std::string& prompt,
                                     const std::string& initial) override;
  bool PickDevices(const std::vector<TDevicePick>& used, const std::vector<std::string>& types,
                   std::vector<TDevicePick>& picked) override;
  std::function<void(TNode*)> selectHandler;
  QWidget* parent_;
};

}  // namespace t32::ui
