#include "ui/link_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QRegularExpression>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "link/link.h"
#include "link/password.h"
#include "model/memstream.h"
#include "ui/frames.h"
#include "ui/settings.h"

namespace t32::ui {

QString QtFilter(const QString& windowsFilter) {
  QStringList parts = windowsFilter.split('|');
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString patterns = parts[i + 1];
    patterns.replace(';', ' ');
    if (patterns.trimmed() == "*.*") patterns = "*";
    // The caption may name its patterns itself ("Все файлы (*.*)"): Qt adds them once.
    QString caption = parts[i];
    caption.remove(QRegularExpression("\\s*\\([^()]*\\)\\s*$"));
    out << QString("%1 (%2)").arg(caption.simplified(), patterns.simplified());
  }
  return out.join(";;");
}

QString ChooseFile(QWidget* parent, const QString& title, const QString& filter, const QString& start, bool save) {
  QFileDialog dlg(parent, title, QFileInfo(start).absolutePath(), QtFilter(filter));
  dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dlg.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (!start.isEmpty()) dlg.selectFile(QFileInfo(start).fileName());
  if (RunModal(dlg) != QDialog::Accepted) return {};
  QStringList files = dlg.selectedFiles();
  return files.isEmpty() ? QString() : files.first();
}

// ---------------------------------------------------------------------------------------
TTuneLinkDlg::TTuneLinkDlg(const TAppSettings& s, QWidget* parent) : TRightCloseDialog(parent) {
  setObjectName("TTuneLinkDlg");
  setWindowTitle("Параметры связи");
  setProperty("helpContext", 7);
  auto* lay = new QVBoxLayout(this);

  ComButton = new QRadioButton("Подключение через COM-порт", this);
  ComButton->setObjectName("ComButton");
  lay->addWidget(ComButton);
  auto* comForm = new QFormLayout;
  comForm->setContentsMargins(24, 0, 0, 0);
  PortEdit = new QComboBox(this);
  PortEdit->setObjectName("PortEdit");
  PortEdit->setEditable(true);
  for (int i = 1; i <= 8; ++i) PortEdit->addItem(QString("COM%1").arg(i));
  PortEdit->setToolTip("COM1..COM8 или путь к устройству последовательного порта (например /dev/ttyUSB0)");
  PortEdit->setEditText(s.serialDevice.empty() ? QString("COM%1").arg(s.comPort) : Q(s.serialDevice));
  comForm->addRow("Номер порта", PortEdit);
  lay->addLayout(comForm);

  NetButton = new QRadioButton("Подключение по сети Ethernet", this);
  NetButton->setObjectName("NetButton");
  lay->addWidget(NetButton);
  auto* net = new QGridLayout;
  net->setContentsMargins(24, 0, 0, 0);
  SelfIpEdit = new TIpEdit(this);
  SelfIpEdit->setObjectName("SelfIpEdit");
  DestIpEdit = new TIpEdit(this);
  DestIpEdit->setObjectName("DestIpEdit");
  SelfIpEdit->SetAddress(IpTextToU32(s.selfIp));
  DestIpEdit->SetAddress(IpTextToU32(s.destIp));
  LocalPortEdit = new QSpinBox(this);
  LocalPortEdit->setObjectName("LocalPortEdit");
  LocalPortEdit->setRange(0, 65535);
  LocalPortEdit->setValue(s.localPort);
  LocalPortEdit->setToolTip("UDP порт ПЭВМ (0 - любой свободный)");
  RemotePortEdit = new QSpinBox(this);
  RemotePortEdit->setObjectName("RemotePortEdit");
  RemotePortEdit->setRange(1, 65535);
  RemotePortEdit->setValue(s.remotePort);
  RemotePortEdit->setToolTip("UDP порт RTU");
  ToSelfButton = new QToolButton(this);
  ToSelfButton->setObjectName("ToSelfButton");
  ToDestButton = new QToolButton(this);
  ToDestButton->setObjectName("ToDestButton");
  for (QToolButton* b : {ToSelfButton, ToDestButton}) {
    b->setArrowType(Qt::LeftArrow);
    b->setToolTip("Занести выбранный IP адрес");
  }
  net->addWidget(new QLabel("IP адрес ПЭВМ :", this), 0, 0);
  net->addWidget(SelfIpEdit, 0, 1);
  net->addWidget(ToSelfButton, 0, 2);
  net->addWidget(new QLabel("IP адрес RTU :", this), 1, 0);
  net->addWidget(DestIpEdit, 1, 1);
  net->addWidget(ToDestButton, 1, 2);
  net->addWidget(new QLabel("UDP порт ПЭВМ :", this), 2, 0);
  net->addWidget(LocalPortEdit, 2, 1);
  net->addWidget(new QLabel("UDP порт RTU :", this), 3, 0);
  net->addWidget(RemotePortEdit, 3, 1);
  auto* listBox = new QVBoxLayout;
  listBox->addWidget(new QLabel("IP адреса в ПЭВМ :", this));
  AddressList = new QListWidget(this);
  AddressList->setObjectName("AddressList");
  for (std::uint32_t ip : link::TLink::LocalAddresses()) AddressList->addItem(Q(U32ToIpText(ip)));
  if (AddressList->count() > 0) AddressList->setCurrentRow(0);
  AddressList->setMaximumHeight(110);
  listBox->addWidget(AddressList);
  net->addLayout(listBox, 0, 3, 4, 1);
  lay->addLayout(net);
  auto copy = [this](TIpEdit* to) {
    if (QListWidgetItem* it = AddressList->currentItem()) to->SetAddress(IpTextToU32(S(it->text())));
  };
  connect(ToSelfButton, &QToolButton::clicked, this, [copy, this] { copy(SelfIpEdit); });
  connect(ToDestButton, &QToolButton::clicked, this, [copy, this] { copy(DestIpEdit); });

  (s.linkMode == 1 ? NetButton : ComButton)->setChecked(true);
  connect(ComButton, &QRadioButton::toggled, this, &TTuneLinkDlg::UpdateEnabled);
  UpdateEnabled();

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  SetButton = new QPushButton("Установить", this);
  SetButton->setObjectName("SetButton");
  SetButton->setDefault(true);
  CancelButton = new QPushButton("Отменить", this);
  CancelButton->setObjectName("CancelButton");
  buttons->addWidget(SetButton);
  buttons->addWidget(CancelButton);
  lay->addLayout(buttons);
  connect(SetButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void TTuneLinkDlg::UpdateEnabled() {
  bool com = ComButton->isChecked();
  PortEdit->setEnabled(com);
  for (QWidget* w : std::initializer_list<QWidget*>{SelfIpEdit, DestIpEdit, LocalPortEdit, RemotePortEdit, ToSelfButton,
                                                    ToDestButton, AddressList})
    w->setEnabled(!com);
}

void TTuneLinkDlg::Store(TAppSettings& s) const {
  s.linkMode = NetButton->isChecked() ? 1 : 0;
  // "COM3" (any case, blanks allowed) is a port number; anything else is a device path. A
  // number outside 1..8 is no port: it is kept as a path and refused when the link opens,
  // with the reason, instead of silently opening another port.
  QString port = PortEdit->currentText().trimmed();
  QString upper = port.toUpper();
  bool numeric = false;
  int n = upper.startsWith("COM") ? upper.mid(3).trimmed().toInt(&numeric) : 0;
  if (numeric && n >= 1 && n <= 8) {
    s.comPort = n;
    s.serialDevice.clear();
  } else if (!port.isEmpty()) {
    s.serialDevice = S(port);
  }
  s.selfIp = U32ToIpText(SelfIpEdit->Address());
  s.destIp = U32ToIpText(DestIpEdit->Address());
  s.localPort = LocalPortEdit->value();
  s.remotePort = RemotePortEdit->value();
}

// ---------------------------------------------------------------------------------------
TPasswordForm::TPasswordForm(QWidget* parent) : TRightCloseDialog(parent) {
  setObjectName("TPasswordForm");
  setWindowTitle("Идентификация пользователя");
  auto* lay = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  UserEdit = new QLineEdit(this);
  UserEdit->setObjectName("UserEdit");
  UserEdit->setMaxLength(int(link::kMaxUserLength));
  PasswordEdit = new QLineEdit(this);
  PasswordEdit->setObjectName("PasswordEdit");
  PasswordEdit->setEchoMode(QLineEdit::Password);
  PasswordEdit->setMaxLength(int(link::kMaxPasswordLength));
  form->addRow("Пользователь", UserEdit);
  form->addRow("Пароль", PasswordEdit);
  lay->addLayout(form);
  ShowBox = new QCheckBox("Показать пароль", this);
  ShowBox->setObjectName("ShowBox");
  SaveBox = new QCheckBox("Запомнить пароль", this);
  SaveBox->setObjectName("SaveBox");
  lay->addWidget(ShowBox);
  lay->addWidget(SaveBox);
  connect(ShowBox, &QCheckBox::toggled, this,
          [this](bool on) { PasswordEdit->setEchoMode(on ? QLineEdit::Normal : QLineEdit::Password); });
  auto* buttons = new QHBoxLayout;
  AddButton = new QPushButton("Добавить в файл", this);
  AddButton->setObjectName("AddButton");
  AddButton->setToolTip("Записать пользователя и пароль в файл ключей");
  OkButton = new QPushButton("OK", this);
  OkButton->setObjectName("OkButton");
  OkButton->setDefault(true);
  CancelButton = new QPushButton("Отмена", this);
  CancelButton->setObjectName("CancelButton");
  buttons->addWidget(AddButton);
  buttons->addStretch();
  buttons->addWidget(OkButton);
  buttons->addWidget(CancelButton);
  lay->addLayout(buttons);
  connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
  connect(AddButton, &QPushButton::clicked, this, [this] { AddToKeyFile(); });
}

bool TPasswordForm::AddToKeyFile(const QString& given) {
  QString path = given.isEmpty() ? ChooseFile(this, "Добавить в файл", "Файл ключей|*.ini", QString(), true) : given;
  if (path.isEmpty()) return false;
  std::string error;
  if (link::AddUserToKeyFile(S(path), S(UserEdit->text()), S(PasswordEdit->text()), &error)) return true;
  TErrorDlg dlg(Q("Файл ключей не записан: " + error), this);
  RunModal(dlg);
  return false;
}

// ---------------------------------------------------------------------------------------
TInfoDlg::TInfoDlg(const QString& text, QWidget* parent) : TRightCloseDialog(parent) {
  setObjectName("TInfoDlg");
  setWindowTitle(QString::fromUtf8(kProgramTitle));
  auto* lay = new QVBoxLayout(this);
  auto* row = new QHBoxLayout;
  auto* icon = new QLabel(this);
  icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));
  row->addWidget(icon, 0, Qt::AlignTop);
  auto* label = new QLabel(text, this);
  label->setMinimumWidth(240);
  row->addWidget(label, 1);
  lay->addLayout(row);
  auto* ok = new QPushButton("OK", this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addStretch();
  lay->addLayout(buttons);
}

}  // namespace t32::ui
