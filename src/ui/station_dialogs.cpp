// Dialogs of the IEC 104 station editor. Fields are shown from the model and stored back;
// every range is the model's, widened to a shown value that lies outside it, so that opening
// a dialog and confirming it never changes the station.
#include "ui/station_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "model/messages.h"

namespace t32::ui {

bool ParseReal(const QString& text, float* out) {
  QString t = text.trimmed();
  t.replace(',', '.');
  bool ok = false;
  double v = QLocale::c().toDouble(t, &ok);
  if (!ok || !std::isfinite(v) || std::fabs(v) > 3.4e38) return false;
  if (out) *out = static_cast<float>(v);
  return true;
}

// ----- THexPair

THexPair::THexPair(TRange range, bool withCaptions, QWidget* parent) : QWidget(parent), range_(range) {
  auto* lay = new QHBoxLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  dec = new TNumberEdit(range.min, range.max, this);
  hex = new QLineEdit(this);
  hex->setValidator(new QRegularExpressionValidator(QRegularExpression(" *[0-9A-Fa-f]* *"), hex));
  hex->setMaximumWidth(dec->maximumWidth());
  if (withCaptions) lay->addWidget(new QLabel("Dec", this));
  lay->addWidget(dec);
  if (withCaptions) lay->addWidget(new QLabel("Hex", this));
  lay->addWidget(hex);
  lay->addStretch();
  connect(dec, &QLineEdit::textChanged, this, [this] {
    if (dec->hasFocus()) DecEdited();
  });
  connect(hex, &QLineEdit::textEdited, this, &THexPair::HexEdited);
}

void THexPair::SetValue(long long v) {
  dec->SetRange(std::min(range_.min, v), std::max(range_.max, v));
  dec->SetValue(v);
  hex->setText(QString::number(v, 16).toUpper());
}

void THexPair::DecEdited() {
  if (dec->text().isEmpty()) return;
  hex->setText(QString::number(dec->Value(), 16).toUpper());
}

void THexPair::HexEdited(const QString& text) {
  bool ok = false;
  qulonglong v = text.trimmed().toULongLong(&ok, 16);
  if (!ok) return;  // the decimal field keeps its value
  if (v > static_cast<qulonglong>(dec->Max())) {
    v = static_cast<qulonglong>(dec->Max());
    hex->setText(QString::number(v, 16).toUpper());
  }
  dec->SetValue(static_cast<long long>(v));
}

TNumberEdit* NumberField(TRange range, QWidget* parent) { return new TNumberEdit(range.min, range.max, parent); }

void ShowNumber(TNumberEdit* e, TRange range, long long v) {
  e->SetRange(std::min(range.min, v), std::max(range.max, v));
  e->SetValue(v);
}

// ----- TStationDlg

TStationDlg::TStationDlg(const QString& caption, int helpContext, const QString& okText, const QString& cancelText,
                         QWidget* parent)
    : TRightCloseDialog(parent) {
  setWindowTitle(caption);
  setProperty("helpContext", helpContext);
  auto* lay = new QVBoxLayout(this);
  body_ = new QVBoxLayout;
  lay->addLayout(body_, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  okButton = new QPushButton(okText, this);
  cancelButton = new QPushButton(cancelText, this);
  okButton->setDefault(true);
  buttons->addWidget(okButton);
  buttons->addWidget(cancelButton);
  lay->addLayout(buttons);
  connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

QLabel* TStationDlg::Label(const QString& text, QWidget* parent) {
  auto* l = new QLabel(text, parent ? parent : this);
  l->installEventFilter(this);
  return l;
}

QLabel* TStationDlg::Row(QFormLayout* form, const QString& caption, QWidget* field) {
  QLabel* l = Label(caption, field->parentWidget());
  form->addRow(l, field);
  return l;
}

void TStationDlg::showEvent(QShowEvent* e) {
  // Every label cancels on a right click, also those of the compound fields.
  for (QLabel* l : findChildren<QLabel*>()) l->installEventFilter(this);
  TRightCloseDialog::showEvent(e);
}

bool TStationDlg::eventFilter(QObject* o, QEvent* e) {
  if (e->type() == QEvent::MouseButtonRelease && qobject_cast<QLabel*>(o) &&
      static_cast<QMouseEvent*>(e)->button() == Qt::RightButton) {
    reject();
    return true;
  }
  return TRightCloseDialog::eventFilter(o, e);
}

namespace {
QWidget* Page(QTabWidget* tabs, const QString& caption, QFormLayout** form) {
  auto* w = new QWidget(tabs);
  *form = new QFormLayout(w);
  (*form)->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
  tabs->addTab(w, caption);
  return w;
}
std::array<std::uint8_t, 4> IpBytes(unsigned v) {
  return {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
          static_cast<std::uint8_t>(v)};
}
unsigned IpNumber(const std::array<std::uint8_t, 4>& b) {
  return (unsigned{b[0]} << 24) | (unsigned{b[1]} << 16) | (unsigned{b[2]} << 8) | b[3];
}
template <class T>
T Narrow(long long v) {
  return static_cast<T>(v);
}
}  // namespace

// ----- TProcDlg

TProcDlg::TProcDlg(QWidget* parent)
    : TStationDlg("Параметры удаленной станции", kHelpProcDlg, "Установить", "Отменить", parent) {
  setObjectName("TProcDlg");
  pages = new QTabWidget(this);
  body_->addWidget(pages);
  QFormLayout* f;
  QWidget* general = Page(pages, "Общие", &f);
  name = new QLineEdit(general);
  name->setMaxLength(255);
  Row(f, "Наименование станции", name);
  commonAddress = new THexPair(range104::kCommonAddress, true, general);
  Row(f, "Общий адрес АСДУ", commonAddress);
  linkLoss = NumberField(range104::kTime, general);
  Row(f, "Фиксировать пропадание связи со станцией при отсутствии соединения в течение, с", linkLoss);
  giInterval = NumberField(range104::kTime, general);
  Row(f, "Интервал выдачи общего опроса, мин", giInterval);
  syncInterval = NumberField(range104::kTime, general);
  Row(f, "Интервал синхронизации времени, мин", syncInterval);
  askTimeout = NumberField(range104::kTime, general);
  Row(f, "Время ожидания завершения опроса, с", askTimeout);
  giOnConnect = new QCheckBox("Общий опрос станции при установке соединения", general);
  f->addRow(giOnConnect);
  syncOnConnect = new QCheckBox("Синхронизация времени при установке соединения", general);
  f->addRow(syncOnConnect);
  extraChecksum = new QCheckBox("Дополнительная контрольная сумма", general);
  extraChecksum->hide();
  // The reserve channel is not offered: its switching fields stay, collapsed and disabled.
  reserveBox = new QWidget(general);
  auto* rf = new QFormLayout(reserveBox);
  toReserve = NumberField(range104::kTime, reserveBox);
  Row(rf, "Переходить на резервный канал при отсутствии связи в течение, мин", toReserve);
  retryMain = NumberField(range104::kTime, reserveBox);
  Row(rf, "Попытки возврата на основной канал с интервалом, мин", retryMain);
  reserveBox->setEnabled(false);
  reserveBox->setMaximumHeight(0);
  f->addRow(reserveBox);

  pages->addTab(ChannelPage(mainCh), "Параметры связи");
  int reserveTab = pages->addTab(ChannelPage(reserveCh), "Резервный канал");
  pages->setTabVisible(reserveTab, false);
  pages->addTab(new QWidget(pages), "Опрос и синхронизация");
  QWidget* commands = Page(pages, "Формат команд", &f);
  commandsWithTime = new QCheckBox("Команды управления с меткой времени", commands);
  setPointsWithTime = new QCheckBox("Команды уставок (регулирования) с меткой времени", commands);
  f->addRow(commandsWithTime);
  f->addRow(setPointsWithTime);
}

QWidget* TProcDlg::ChannelPage(Channel& c) {
  auto* w = new QWidget(this);
  auto* f = new QFormLayout(w);
  c.remote = new TIpEdit(w);
  Row(f, "IP-aдрес станции:", c.remote);
  c.local = new TIpEdit(w);
  Row(f, "Локальный IP-адрес:", c.local)->hide();
  c.local->hide();
  auto num = [&](TNumberEdit*& e, TRange r, const char* caption) {
    e = NumberField(r, w);
    Row(f, caption, e);
  };
  num(c.t0, range104::kTime, "Время ожидания установки соединения, с");
  num(c.reconnect, range104::kTime, "Интервал между попытками соединения, с");
  num(c.t1, range104::kTime, "Время ожидания ответа на контрольные и тестовые посылки, с");
  num(c.t2, range104::kTime, "Таймаут выдачи подтверждения в случае отсутствия информационных посылок, с");
  num(c.t3, range104::kTime, "Таймаут для выдачи тестовых посылок, с");
  num(c.k, range104::kWindow, "Максимальное число неквитированных отправленных посылок");
  num(c.w, range104::kWindow, "Максимальное число принятых посылок без квитирования");
  num(c.port, range104::kU16, "Номер порта (0- значение по умолчанию):");
  return w;
}

void TProcDlg::ShowChannel(Channel& c, const TChannel104& ch, std::uint16_t port) {
  c.remote->SetAddress(IpNumber(ch.remoteIp));
  c.local->SetAddress(IpNumber(ch.localIp));
  ShowNumber(c.t0, range104::kTime, ch.t0);
  ShowNumber(c.reconnect, range104::kTime, ch.reconnect);
  ShowNumber(c.t1, range104::kTime, ch.t1);
  ShowNumber(c.t2, range104::kTime, ch.t2);
  ShowNumber(c.t3, range104::kTime, ch.t3);
  ShowNumber(c.k, range104::kWindow, ch.k);
  ShowNumber(c.w, range104::kWindow, ch.w);
  ShowNumber(c.port, range104::kU16, port);
}

void TProcDlg::StoreChannel(const Channel& c, TChannel104& ch, std::uint16_t& port) {
  ch.remoteIp = IpBytes(c.remote->Address());
  ch.localIp = IpBytes(c.local->Address());
  ch.t0 = Narrow<std::int32_t>(c.t0->Value());
  ch.reconnect = Narrow<std::int32_t>(c.reconnect->Value());
  ch.t1 = Narrow<std::int32_t>(c.t1->Value());
  ch.t2 = Narrow<std::int32_t>(c.t2->Value());
  ch.t3 = Narrow<std::int32_t>(c.t3->Value());
  ch.k = Narrow<std::int32_t>(c.k->Value());
  ch.w = Narrow<std::int32_t>(c.w->Value());
  port = Narrow<std::uint16_t>(c.port->Value());
}

void TProcDlg::ShowStation(const TWS_104& st) {
  pages->setCurrentIndex(0);
  name->setText(Q(st.name));
  commonAddress->SetValue(st.settings.commonAddress);
  ShowNumber(linkLoss, range104::kTime, st.settings.linkLossDelay);
  ShowNumber(giInterval, range104::kTime, st.settings.giInterval);
  ShowNumber(syncInterval, range104::kTime, st.settings.syncInterval);
  ShowNumber(askTimeout, range104::kTime, st.extra.askTimeout);
  giOnConnect->setChecked(st.settings.noGiOnConnect == 0);
  syncOnConnect->setChecked(st.settings.noSyncOnConnect == 0);
  extraChecksum->setChecked(st.settings.extraChecksum != 0);
  ShowNumber(toReserve, range104::kTime, st.extra.toReserveAfter);
  ShowNumber(retryMain, range104::kTime, st.extra.retryMainEvery);
  ShowChannel(mainCh, st.main, st.extra.mainPort);
  ShowChannel(reserveCh, st.reserve, st.extra.reservePort);
  commandsWithTime->setChecked(st.settings.commandsWithTime != 0);
  setPointsWithTime->setChecked(st.settings.setPointsWithTime != 0);
}

void TProcDlg::StoreStation(TWS_104& st) const {
  st.name = FitStationText(S(name->text().trimmed()));
  st.settings.commonAddress = Narrow<std::uint16_t>(commonAddress->Value());
  st.settings.linkLossDelay = Narrow<std::uint16_t>(linkLoss->Value());
  st.settings.giInterval = Narrow<std::int32_t>(giInterval->Value());
  st.settings.syncInterval = Narrow<std::uint16_t>(syncInterval->Value());
  st.extra.askTimeout = Narrow<std::int32_t>(askTimeout->Value());
  st.settings.noGiOnConnect = giOnConnect->isChecked() ? 0 : 1;
  st.settings.noSyncOnConnect = syncOnConnect->isChecked() ? 0 : 1;
  st.settings.extraChecksum = extraChecksum->isChecked() ? 1 : 0;
  st.extra.toReserveAfter = Narrow<std::uint16_t>(toReserve->Value());
  st.extra.retryMainEvery = Narrow<std::uint16_t>(retryMain->Value());
  StoreChannel(mainCh, st.main, st.extra.mainPort);
  StoreChannel(reserveCh, st.reserve, st.extra.reservePort);
  st.settings.commandsWithTime = commandsWithTime->isChecked() ? 1 : 0;
  st.settings.setPointsWithTime = setPointsWithTime->isChecked() ? 1 : 0;
  st.Activate();
}

// ----- TGroupDlg

TGroupDlg::TGroupDlg(QWidget* parent) : TStationDlg("Параметры группы", kHelpGroupDlg, "Установить", "Отмена", parent) {
  setObjectName("TGroupDlg");
  pages = new QTabWidget(this);
  body_->addWidget(pages);
  QFormLayout* f;
  QWidget* general = Page(pages, "Общие", &f);
  name = new QLineEdit(general);
  name->setMaxLength(255);
  Row(f, "Наименование  группы:", name);
  alias = new QLineEdit(general);
  alias->setEnabled(false);
  Row(f, "Псевдоним:", alias)->hide();
  alias->hide();
  kind = new QComboBox(general);
  for (const TKindInfo& k : kKinds) kind->addItem(k.description, k.code);
  Row(f, "Тип информации ASDU:", kind);
  commonAddress = new THexPair(range104::kCommonAddress, false, general);
  Row(f, "Общий адрес ASDU:", commonAddress);
  baseAddress = new THexPair(range104::kAddress, false, general);
  Row(f, "Базовый адрес объектов информации:", baseAddress);

  QWidget* ask = Page(pages, "Опрос", &f);
  askCommand = new QComboBox(ask);
  for (const char* c : kAskCommands) askCommand->addItem(c);
  Row(f, "ID типа команды опроса:", askCommand);
  askSelector = new QComboBox(ask);
  Row(f, "указатель группы опроса:", askSelector);
  askPeriod = NumberField(range104::kU16, ask);
  Row(f, "период опроса, с:", askPeriod);
  connect(askCommand, &QComboBox::activated, this, [this](int c) {
    FillSelectors(c);
    askSelector->setCurrentIndex(0);
  });
}

void TGroupDlg::FillSelectors(int command) {
  askSelector->clear();
  if (command == 0)
    for (const TAskEntry& e : kAsk100) askSelector->addItem(e.caption);
  else if (command == 1)
    for (const TAskEntry& e : kAsk101) askSelector->addItem(e.caption);
}

void TGroupDlg::ShowGroup(const TGroup& g) {
  pages->setCurrentIndex(0);
  name->setText(Q(g.name));
  alias->setText(Q(g.alias));
  kind->setCurrentIndex(kind->findData(g.record.kind));  // none chosen: no line
  commonAddress->SetValue(g.record.commonAddress);
  baseAddress->SetValue(g.record.baseAddress);
  // A command or selector outside the lists shows no line and is stored as it was.
  askCommand->setCurrentIndex(g.record.askCommand < 2 ? g.record.askCommand : -1);
  FillSelectors(g.record.askCommand);
  askSelector->setCurrentIndex(g.record.askSelector < askSelector->count() ? g.record.askSelector : -1);
  ShowNumber(askPeriod, range104::kU16, g.record.askPeriod);
}

void TGroupDlg::StoreGroup(TWS_104& st, TGroup& g) const {
  g.name = FitStationText(S(name->text()));
  g.alias = FitStationText(S(alias->text()));
  // The send type is reset only with a new kind: confirming the dialog unchanged keeps an
  // imported send type.
  if (kind->currentIndex() >= 0) st.SetGroupKind(g, kind->currentData().toInt());
  g.record.commonAddress = Narrow<std::int32_t>(commonAddress->Value());
  g.record.baseAddress = Narrow<std::int32_t>(baseAddress->Value());
  if (askCommand->currentIndex() >= 0) g.record.askCommand = Narrow<std::uint8_t>(askCommand->currentIndex());
  if (askSelector->currentIndex() >= 0) g.record.askSelector = Narrow<std::uint8_t>(askSelector->currentIndex());
  g.record.askPeriod = Narrow<std::uint16_t>(askPeriod->Value());
}

// ----- TItemParamDlg

TItemParamDlg::TItemParamDlg(QWidget* parent)
    : TStationDlg("Свойства параметра", kHelpItemDlg, "Установить", "Отмена", parent) {
  setObjectName("TItemParamDlg");
  pages = new QTabWidget(this);
  body_->addWidget(pages);
  QFormLayout* f;
  QWidget* general = Page(pages, "Общие", &f);
  name = new QLineEdit(general);
  name->setMaxLength(255);
  Row(f, "Идентификатор: ", name);
  address = new THexPair(range104::kAddress, false, general);
  Row(f, "Адрес объекта: ", address);
  kindText = new QLineEdit(general);
  kindText->setReadOnly(true);
  Row(f, "Тип данных: ", kindText);

  valuePage = Page(pages, "Значение", &f);
  scale = new QLineEdit(valuePage);
  Row(f, "Масштабный множитель      ", scale);
  offset = new QLineEdit(valuePage);
  Row(f, "Смещение", offset);
  asUnsigned = new QCheckBox("интерпретировать как беззнаковое целое", valuePage);
  f->addRow(asUnsigned);

  commandPage = Page(pages, "Команда", &f);
  qualifier = new QComboBox(commandPage);
  for (const char* q : kCommandQualifiers) qualifier->addItem(q);
  Row(f, "Дополнительное определение:", qualifier);

  setPointPage = Page(pages, "Уставка", &f);
  setPointFormat = new QComboBox(setPointPage);
  for (const char* q : kSetPointFormats) setPointFormat->addItem(q);
  Row(f, " Значеие уставки", setPointFormat);

  bitsPage = Page(pages, "Значение", &f);
  dataBits = new QSpinBox(bitsPage);
  dataBits->setRange(1, 32);
  Row(f, "Размер данных, бит ", dataBits);

  filePage = Page(pages, "Файл", &f);
  fileId = NumberField(range104::kU16, filePage);
  Row(f, "МЭК-имя файла (0..65535)", fileId);
  auto* fileRow = new QWidget(filePage);
  auto* fl = new QHBoxLayout(fileRow);
  fl->setContentsMargins(0, 0, 0, 0);
  fileName = new QLineEdit(fileRow);
  chooseFile = new QPushButton("выбрать ...", fileRow);
  fl->addWidget(fileName, 1);
  fl->addWidget(chooseFile);
  Row(f, "Размещение файла на диске компьютера:", fileRow);
  fileDelay = new QSpinBox(filePage);
  fileDelay->setRange(0, 6000);
  fileDelay->setSingleStep(100);
  Row(f, "пауза между сегментами при передаче файла, мс", fileDelay);
  connect(chooseFile, &QPushButton::clicked, this, &TItemParamDlg::ChooseFile);

  logPage = Page(pages, "Элемент", &f);
  logSize = new QSpinBox(logPage);
  logSize->setRange(static_cast<int>(range104::kLogSize.min), static_cast<int>(range104::kLogSize.max));
  Row(f, "Размер данных, байт ", logSize);
  logType = new QComboBox(logPage);
  for (const char* t : kLogDataTypes) logType->addItem(t);
  Row(f, "Тип данных ", logType);
  logRealBox = new QWidget(logPage);
  auto* rf = new QFormLayout(logRealBox);
  rf->setContentsMargins(0, 0, 0, 0);
  logScale = new QLineEdit(logRealBox);
  Row(rf, "Масштабный множитель      ", logScale);
  logOffset = new QLineEdit(logRealBox);
  Row(rf, "Смещение", logOffset);
  f->addRow(logRealBox);
  logMaskBox = new QWidget(logPage);
  auto* ml = new QHBoxLayout(logMaskBox);
  ml->setContentsMargins(0, 0, 0, 0);
  ml->addWidget(Label("Битовая маска:", logMaskBox));
  for (int i = 15; i >= 0; --i) {
    maskBit[i] = new QCheckBox(logMaskBox);
    maskBit[i]->setToolTip(QString::number(i));
    ml->addWidget(maskBit[i]);
  }
  ml->addStretch();
  f->addRow(logMaskBox);
  connect(logType, &QComboBox::activated, this, &TItemParamDlg::LogTypeChosen);

  for (QLineEdit* e : {scale, offset, logScale, logOffset}) e->installEventFilter(this);
}

bool TItemParamDlg::eventFilter(QObject* o, QEvent* e) {
  if (e->type() == QEvent::FocusOut && isVisible()) {
    for (QLineEdit* f : {scale, offset, logScale, logOffset}) {
      if (o == f && f->isVisibleTo(this) && !ParseReal(f->text(), nullptr)) {
        auto reason = static_cast<QFocusEvent*>(e)->reason();
        // A focus lost to the message window itself is not a new leave.
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) return false;
        if (messages) {
          messages->ShowError("Неверный числовой формат");
        } else {
          TQtMessages(this).ShowError("Неверный числовой формат");
        }
        f->setFocus();
        return false;
      }
    }
  }
  return TStationDlg::eventFilter(o, e);
}

void TItemParamDlg::LogTypeChosen(int type) {
  logRealBox->setVisible(type == 1);
  logMaskBox->setVisible(type == 0);
  if (type == 2) {
    logSize->setValue(14);
  } else if (logSize->value() > 8) {
    logSize->setValue(8);
  }
}

void TItemParamDlg::ChooseFile() {
  QFileDialog dlg(this, "Выбрать файл на диске", programDir);
  dlg.setOption(QFileDialog::DontUseNativeDialog);
  dlg.setFileMode(QFileDialog::ExistingFile);
  if (RunModal(dlg) == QDialog::Accepted && !dlg.selectedFiles().isEmpty()) fileName->setText(dlg.selectedFiles().first());
}

namespace {
QString RealText(float v) { return QString::number(static_cast<double>(v), 'g', 9); }
QString OffsetText(float v) { return QString::number(static_cast<double>(v), 'f', 9); }
}  // namespace

void TItemParamDlg::ShowItem(const TPProcItem& o) {
  // The station's built-in objects are made anew with every load: edits would not last.
  okButton->setEnabled(!o.BuiltIn());
  name->setReadOnly(o.BuiltIn());
  address->setEnabled(!o.BuiltIn());
  name->setText(Q(o.name));
  address->SetValue(o.address);
  const TKindInfo* k = KindInfo(o.kind);
  kindText->setText(k ? QString(k->description) : QString::number(o.kind));
  for (int i = pages->count() - 1; i > 0; --i) pages->setTabVisible(i, false);
  QWidget* page = nullptr;
  switch (o.Family()) {
    case TFamily::kMeasure: {
      auto& t = static_cast<const TTIitem&>(o);
      shownScale_ = RealText(t.scale);
      shownOffset_ = OffsetText(t.offset);
      scale->setText(shownScale_);
      offset->setText(shownOffset_);
      asUnsigned->setChecked(t.options & 1u);
      page = valuePage;
      break;
    }
    case TFamily::kCommand:
      qualifier->setCurrentIndex(static_cast<const TTUItem&>(o).options < 4 ? int(static_cast<const TTUItem&>(o).options) : -1);
      page = commandPage;
      break;
    case TFamily::kSetPoint:
      if (o.BuiltIn()) break;
      setPointFormat->setCurrentIndex(static_cast<const TTRItem&>(o).options < 2 ? int(static_cast<const TTRItem&>(o).options) : -1);
      page = setPointPage;
      break;
    case TFamily::kMultiTS:
      dataBits->setRange(1, std::max<int>(32, static_cast<int>(std::min<std::uint32_t>(static_cast<const TMultiTSitem&>(o).dataLength, 1u << 30)) + 1));
      dataBits->setValue(static_cast<int>(static_cast<const TMultiTSitem&>(o).dataLength) + 1);
      page = bitsPage;
      break;
    case TFamily::kFile: {
      auto& t = static_cast<const TFileItem&>(o);
      ShowNumber(fileId, range104::kU16, t.fileId);
      fileName->setText(Q(t.fileName));
      fileDelay->setMaximum(std::max(6000, int(t.delay)));
      fileDelay->setValue(t.delay);
      page = filePage;
      break;
    }
    case TFamily::kLog: {
      auto& t = static_cast<const TRZAlogitem&>(o);
      logSize->setRange(1, std::max(16, t.Size()));
      logSize->setValue(t.Size());
      logType->setCurrentIndex(t.DataType() < 3 ? t.DataType() : -1);
      shownLogScale_ = RealText(t.Scale());
      shownLogOffset_ = OffsetText(t.Offset());
      logScale->setText(shownLogScale_);
      logOffset->setText(shownLogOffset_);
      for (int i = 0; i < 16; ++i) maskBit[i]->setChecked((t.Mask() >> i) & 1u);
      logRealBox->setVisible(t.DataType() == 1);
      logMaskBox->setVisible(t.DataType() == 0);
      page = logPage;
      break;
    }
    case TFamily::kPlain:
      break;
  }
  if (page) pages->setTabVisible(pages->indexOf(page), true);
  pages->setCurrentIndex(0);
}

void TItemParamDlg::StoreItem(TPProcItem& o) const {
  o.name = FitStationText(S(name->text()));
  o.address = Narrow<std::int32_t>(address->Value());
  // A number field is taken only when its text changed: the shown text rounds the value.
  auto real = [](const QLineEdit* e, const QString& shown, float& field) {
    float v;
    if (e->text() != shown && ParseReal(e->text(), &v)) field = v;
  };
  switch (o.Family()) {
    case TFamily::kMeasure: {
      auto& t = static_cast<TTIitem&>(o);
      real(scale, shownScale_, t.scale);
      real(offset, shownOffset_, t.offset);
      t.options = asUnsigned->isChecked() ? (t.options | 1u) : (t.options & ~1u);
      break;
    }
    case TFamily::kCommand:
      if (qualifier->currentIndex() >= 0) static_cast<TTUItem&>(o).options = Narrow<std::uint32_t>(qualifier->currentIndex());
      break;
    case TFamily::kSetPoint:
      if (!o.BuiltIn() && setPointFormat->currentIndex() >= 0)
        static_cast<TTRItem&>(o).options = Narrow<std::uint32_t>(setPointFormat->currentIndex());
      break;
    case TFamily::kMultiTS:
      static_cast<TMultiTSitem&>(o).dataLength = Narrow<std::uint32_t>(dataBits->value() - 1);
      break;
    case TFamily::kFile: {
      auto& t = static_cast<TFileItem&>(o);
      t.fileId = Narrow<std::uint16_t>(fileId->Value());
      t.fileName = S(fileName->text());
      t.delay = Narrow<std::uint16_t>(fileDelay->value());
      break;
    }
    case TFamily::kLog: {
      auto& t = static_cast<TRZAlogitem&>(o);
      float off = t.Offset();
      real(logOffset, shownLogOffset_, off);
      t.SetOffset(off);
      t.SetSize(logSize->value());
      if (logType->currentIndex() >= 0) t.SetDataType(logType->currentIndex());
      if (t.DataType() == 1) {
        float sc = t.Scale();
        real(logScale, shownLogScale_, sc);
        t.SetScale(sc);
      } else if (t.DataType() == 0) {
        // Only bits 0..15 have boxes; the others stay as they were.
        std::uint64_t mask = t.Mask() & ~std::uint64_t{0xFFFF};
        for (int i = 0; i < 16; ++i)
          if (maskBit[i]->isChecked()) mask |= std::uint64_t{1} << i;
        t.SetMask(mask);
      }
      break;
    }
    case TFamily::kPlain:
      break;
  }
}

// ----- TCloneDialog

TCloneDialog::TCloneDialog(QWidget* parent)
    : TStationDlg("Клонировать параметр", kHelpCloneDlg, "Выполнить", "Отменить", parent) {
  setObjectName("TCloneDialog");
  auto* f = new QFormLayout;
  body_->addLayout(f);
  nameTemplate = new QLineEdit(this);
  nameTemplate->setMaxLength(255);
  Row(f, "Шаблон для наименования:", nameTemplate);
  count = new TNumberEdit(0, 100000, this);
  Row(f, "Количество:", count);
  counterStart = new TNumberEdit(-1000000000, 1000000000, this);
  Row(f, "Начальное значение счетчика:", counterStart);
  counterStep = new TNumberEdit(-1000000, 1000000, this);
  Row(f, "Шаг приращения счетчика:", counterStep);
  addressStart = new THexPair(range104::kAddress, false, this);
  Row(f, "Начальное значение адреса:", addressStart);
  addressStep = new THexPair(range104::kAddress, false, this);
  Row(f, "Шаг приращения адреса:", addressStep);
}

void TCloneDialog::ShowParams(const QString& caption, const TCloneParams& p) {
  setWindowTitle(caption);
  nameTemplate->setText(Q(p.nameTemplate));
  count->SetValue(p.count);
  counterStart->SetValue(p.counterStart);
  counterStep->SetValue(p.counterStep);
  addressStart->SetValue(p.addressStart);
  addressStep->SetValue(p.addressStep);
}

TCloneParams TCloneDialog::Params() const {
  TCloneParams p;
  p.nameTemplate = S(nameTemplate->text());
  p.count = count->Value();
  p.counterStart = counterStart->Value();
  p.counterStep = counterStep->Value();
  p.addressStart = addressStart->Value();
  p.addressStep = addressStep->Value();
  return p;
}

}  // namespace t32::ui
