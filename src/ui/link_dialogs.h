// The dialogs of the controller link: "Параметры связи" (serial port or UDP, addresses and
// ports), "Идентификация пользователя" (the login the controller asks for) and a plain message
// window for the good news ("Время установлено.").
#pragma once
#include <QString>

#include "ui/dialogs.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QRadioButton;
class QSpinBox;
class QToolButton;

namespace t32::ui {

class TIpEdit;
struct TAppSettings;

class TTuneLinkDlg : public TRightCloseDialog {
  Q_OBJECT
 public:
  TTuneLinkDlg(const TAppSettings& s, QWidget* parent = nullptr);
  // Copies the dialog's values into s (after "Установить").
  void Store(TAppSettings& s) const;

  QRadioButton* ComButton;  // "Подключение через COM-порт"
  QRadioButton* NetButton;  // "Подключение по сети Ethernet"
  QComboBox* PortEdit;      // "Номер порта": COM1..COM8 or a device path
  TIpEdit* SelfIpEdit;      // "IP адрес ПЭВМ :"
  TIpEdit* DestIpEdit;      // "IP адрес RTU :"
  QSpinBox* LocalPortEdit;
  QSpinBox* RemotePortEdit;
  QListWidget* AddressList;  // "IP адреса в ПЭВМ :"
  QToolButton* ToSelfButton;
  QToolButton* ToDestButton;
  QPushButton* SetButton;     // "Установить"
  QPushButton* CancelButton;  // "Отменить"

 private:
  void UpdateEnabled();
};

class TPasswordForm : public TRightCloseDialog {
  Q_OBJECT
 public:
  explicit TPasswordForm(QWidget* parent = nullptr);
  QLineEdit* UserEdit;
  QLineEdit* PasswordEdit;
  QCheckBox* ShowBox;  // "Показать пароль"
  QCheckBox* SaveBox;  // "Запомнить пароль"
  QPushButton* AddButton;  // "Добавить в файл"
  QPushButton* OkButton;
  QPushButton* CancelButton;
  // "Добавить в файл": the key file is asked for unless given.
  bool AddToKeyFile(const QString& path = {});
};

// A message that is not an error: title = program title, one "OK" button.
class TInfoDlg : public TRightCloseDialog {
  Q_OBJECT
 public:
  explicit TInfoDlg(const QString& text, QWidget* parent = nullptr);
};

// Windows-style filter ("Текст (*.a)|*.a|Все файлы (*.*)|*.*") as a Qt name filter list; "*.*"
// becomes "*" so that names without a dot are listed too.
QString QtFilter(const QString& windowsFilter);
// Runs a file dialog through RunModal (tests answer it); empty when cancelled.
QString ChooseFile(QWidget* parent, const QString& title, const QString& filter, const QString& start, bool save);

}  // namespace t32::ui
