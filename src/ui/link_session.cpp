#include "ui/link_session.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStatusBar>
#include <QThread>
#include <QTimer>

#include "link/password.h"
#include "model/document.h"
#include "model/fileio.h"
#include "model/ini.h"
#include "model/memstream.h"
#include "model/params.h"
#include "model/storage.h"
#include "project/cfgfile.h"
#include "ui/form1.h"
#include "ui/frame1.h"
#include "ui/frames_tables.h"
#include "ui/link_dialogs.h"

namespace t32::ui {

namespace {
TCpu ToCpu(link::TCpuType t) { return t == link::TCpuType::kCpu927 ? TCpu::Cpu927 : TCpu::Cpu6358; }

const char* kProgFilter = "Исполняемые файлы (*.bin)|*.bin|Все файлы (*.*)|*.*";
const char* kAutoReadFilter = "Файлы автоматики (*.shm)|*.shm|Все файлы  (*.*)|*.*";
const char* kAutoWriteFilter = "Файлы автоматики (*.shm)|*.shm|Все файлы (*.*)|*.*";
const char* kPasswordFilter = "Файл паролей (*.ini)|*.ini|Все файлы (*.*)|*.*";
}  // namespace

// ---------------------------------------------------------------------------------------
TLinkWorker::TLinkWorker() : thread_([this] { Loop(); }) {}

TLinkWorker::~TLinkWorker() { Stop(); }

void TLinkWorker::Post(std::function<void()> job) {
  {
    std::lock_guard<std::mutex> l(mutex_);
    if (stop_) return;
    jobs_.push_back(std::move(job));
  }
  cv_.notify_one();
}

bool TLinkWorker::Idle() const {
  std::lock_guard<std::mutex> l(mutex_);
  return jobs_.empty() && !running_;
}

void TLinkWorker::DropPending() {
  std::lock_guard<std::mutex> l(mutex_);
  jobs_.clear();
}

void TLinkWorker::Stop() {
  {
    std::lock_guard<std::mutex> l(mutex_);
    stop_ = true;
    jobs_.clear();
  }
  cv_.notify_one();
  if (thread_.joinable()) thread_.join();
}

void TLinkWorker::Loop() {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock<std::mutex> l(mutex_);
      cv_.wait(l, [this] { return stop_ || !jobs_.empty(); });
      if (stop_) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
      running_ = true;
    }
    job();
    std::lock_guard<std::mutex> l(mutex_);
    running_ = false;
  }
}

// ---------------------------------------------------------------------------------------
void TLinkMessages::OnGui(const std::function<void()>& f) {
  if (QThread::currentThread() == gui_.thread()) {
    f();
    return;
  }
  QMetaObject::invokeMethod(&gui_, f, Qt::BlockingQueuedConnection);
}

void TLinkMessages::ShowError(const std::string& text) {
  if (shutdown_) return;
  OnGui([&] {
    if (!shutdown_) target_.ShowError(text);
  });
}

int TLinkMessages::AskConfirm(const std::string& text, bool withCancel) {
  int answer = kCancel;
  if (shutdown_) return answer;
  OnGui([&] {
    if (!shutdown_) answer = target_.AskConfirm(text, withCancel);
  });
  return answer;
}

void TLinkMessages::Progress(long long done, long long total) {
  if (shutdown_) return;
  auto report = [this, done, total] {
    if (!shutdown_ && onProgress) onProgress(done, total);
  };
  if (QThread::currentThread() == gui_.thread()) report();
  else QMetaObject::invokeMethod(&gui_, report, Qt::QueuedConnection);
}

// ---------------------------------------------------------------------------------------
TLinkSession::TLinkSession(TForm1& form, TMessages& guiMessages)
    : QObject(&form), form_(form), guiMessages_(guiMessages) {
  setObjectName("LinkSession");
  messages_ = std::make_unique<TLinkMessages>(*this, guiMessages);
  link_ = std::make_unique<link::TLink>(*messages_);
  controller_ = std::make_unique<link::TController>(*link_, *messages_);
  controller_->SetLoginProvider([this](link::TLogin& login) {
    bool ok = false;
    messages_->OnGui([&] {
      if (!messages_->IsShutdown() && !cancel_) ok = ShowLogin(login);
    });
    return ok;
  });

  QStatusBar* bar = form.statusBar();
  linkState = new QLabel(&form);
  linkState->setObjectName("LinkState");
  progressBar = new QProgressBar(&form);
  progressBar->setObjectName("LinkProgress");
  progressBar->setMaximumWidth(220);
  progressBar->setTextVisible(true);
  progressBar->hide();
  cancelButton = new QPushButton("Отмена", &form);
  cancelButton->setObjectName("LinkCancel");
  cancelButton->setToolTip("Прервать обмен с контроллером");
  cancelButton->hide();
  bar->addPermanentWidget(linkState);
  bar->addPermanentWidget(progressBar);
  bar->addPermanentWidget(cancelButton);
  connect(cancelButton, &QPushButton::clicked, this, &TLinkSession::Cancel);
  messages_->onProgress = [this](long long done, long long total) {
    // Steps of one transfer run from 1 to pieces + 1; (0, 0) starts a new transfer.
    if (total <= 0) {
      progressBar->setRange(0, 1);
      progressBar->setValue(0);
      return;
    }
    int scale = total > 1000000 ? int(total / 1000000 + 1) : 1;  // QProgressBar counts in int
    progressBar->setRange(0, int(total / scale));
    progressBar->setValue(int(std::min(done, total) / scale));
  };
}

TLinkSession::~TLinkSession() {
  Shutdown();
  worker_.Stop();
}

link::TLinkSettings TLinkSession::LinkSettingsOf(const TAppSettings& s, const link::TLinkTimeouts& t) {
  link::TLinkSettings ls;
  ls.kind = s.linkMode == 1 ? link::TLinkKind::kUdp : link::TLinkKind::kSerial;
  ls.serialPort = s.comPort;
  ls.serialDevice = s.serialDevice;
  ls.ownIp = IpTextToU32(s.selfIp);
  ls.controllerIp = IpTextToU32(s.destIp);
  ls.localPort = static_cast<std::uint16_t>(s.localPort);
  ls.remotePort = static_cast<std::uint16_t>(s.remotePort);
  ls.timeouts = t;
  return ls;
}

void TLinkSession::ApplySettings() {
  // The link belongs to the worker while it runs a job: the new settings go in line behind it.
  link::TLinkSettings ls = LinkSettingsOf(form_.Settings(), timeouts);
  if (worker_.Idle()) link_->Configure(ls);
  else worker_.Post([this, ls] { link_->Configure(ls); });
}

bool TLinkSession::TestLink(QString* reason) {
  // A probe of its own, so that the worker's link is never touched from here.
  TRecordedMessages quiet;
  link::TLink probe(quiet);
  probe.Configure(LinkSettingsOf(form_.Settings(), timeouts));
  std::string why;
  bool ok = probe.TestLink(&why);
  const bool serial = form_.Settings().linkMode != 1;
  QString text;
  if (!ok) text = serial ? "Ошибка при инициализации СОМ-порта" : "Ошибка при инициализации сокета";
  if (!ok && !why.empty()) text += ": " + Q(why);
  linkState->setText(ok ? QString() : text);
  linkState->setStyleSheet(ok ? QString() : QString("QLabel { color: #a00000; }"));
  linkState->setToolTip(text);
  if (reason) *reason = text;
  return ok;
}

void TLinkSession::Cancel() {
  cancel_ = true;
  controller_->Cancel();
}

void TLinkSession::Shutdown() {
  if (shutdown_) return;
  shutdown_ = true;
  if (live_) live_->Stop();
  worker_.DropPending();
  messages_->Shutdown();
  Cancel();
  // The running job may wait for the window thread (a question, a tree step): those return at
  // once now, but they must be let through.
  QElapsedTimer t;
  t.start();
  while (!worker_.Idle() && t.elapsed() < 5000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(2);
  }
  controller_->EndLiveValues();
}

bool TLinkSession::Start(std::function<bool()> work) {
  if (shutdown_) return false;
  if (commandRunning_) {
    guiMessages_.ShowError(link::kTextCommandBusy);
    return false;
  }
  // A command needs the link for itself: live values stop (their box is unticked).
  if (live_) live_->Stop();
  commandRunning_ = true;
  cancel_ = false;
  lastOk_ = false;
  progressBar->setRange(0, 1);
  progressBar->setValue(0);
  progressBar->show();
  cancelButton->show();
  cancelButton->setEnabled(true);
  emit BusyChanged(true);
  worker_.Post([this, work] {
    bool ok = false;
    try {
      ok = work();
    } catch (const std::exception& e) {
      messages_->ShowError(e.what());  // nothing escapes to the event loop
    }
    lastOk_ = ok;
    QMetaObject::invokeMethod(this, [this] { Finish(); }, Qt::QueuedConnection);
  });
  return true;
}

void TLinkSession::Finish() {
  commandRunning_ = false;
  progressBar->hide();
  cancelButton->hide();
  emit BusyChanged(false);
  emit CommandFinished(lastOk_);
}

QString TLinkSession::ChooseFile(const QString& title, const QString& filter, const QString& start, bool save) {
  return ui::ChooseFile(&form_, title, filter, start, save);
}

bool TLinkSession::ReadLocalFile(const QString& path, std::vector<std::uint8_t>& bytes) {
  std::string data, error;
  if (!ReadWholeFile(S(path), data, &error, link::kMaxControllerFile)) {
    messages_->ShowError(error.empty() ? "Ошибка чтения файла " + S(path) : error);
    return false;
  }
  bytes.assign(data.begin(), data.end());
  return true;
}

bool TLinkSession::ShowLogin(link::TLogin& login) {
  TAppSettings& s = form_.Settings();
  link::TLoginSettings stored = link::LoadLoginSettings(s.Raw());
  TPasswordForm dlg(&form_);
  dlg.UserEdit->setText(Q(stored.userLogin));
  dlg.PasswordEdit->setText(Q(stored.password));
  dlg.ShowBox->setChecked(stored.showPassword);
  dlg.SaveBox->setChecked(stored.savePassword);
  if (RunModal(dlg) != QDialog::Accepted) return false;
  login.Set(S(dlg.UserEdit->text()), S(dlg.PasswordEdit->text()));
  link::TLoginSettings now;
  now.userLogin = S(dlg.UserEdit->text());
  now.password = S(dlg.PasswordEdit->text());
  now.showPassword = dlg.ShowBox->isChecked();
  now.savePassword = dlg.SaveBox->isChecked();
  s.UpdateRaw([&](TIniFile& ini) { link::StoreLoginSettings(ini, now, QRandomGenerator::global()->bounded(31u)); });
  s.Save(form_.SettingsFile());  // a settings file that cannot be written is not an error
  return true;
}

bool TLinkSession::PasswordButtonClick() {
  if (commandRunning_) {
    guiMessages_.ShowError(link::kTextCommandBusy);
    return false;
  }
  // The login is the worker's while live values read: they pause for the dialog.
  if (live_) live_->Stop();
  return ShowLogin(controller_->Login());
}

void TLinkSession::LinkButtonClick() {
  if (commandRunning_) {
    guiMessages_.ShowError(link::kTextCommandBusy);
    return;
  }
  TTuneLinkDlg dlg(form_.Settings(), &form_);
  if (RunModal(dlg) != QDialog::Accepted) return;
  if (live_) live_->Stop();
  dlg.Store(form_.Settings());
  form_.Settings().Save(form_.SettingsFile());
  ApplySettings();
  // Live values may still hold the old link for a moment; the test of the new one waits for it
  // so that the old socket or port is not mistaken for a fault of the new settings.
  QElapsedTimer t;
  t.start();
  while (!worker_.Idle() && t.elapsed() < 3000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  TestLink();
  form_.UpdateCaption();
}

// ---------------------------------------------------------------------------------------
bool TLinkSession::ReadConfClick() {
  return Start([this] {
    link::TBootInfo boot;
    if (!controller_->ReadBootIni("ConfigFilename", boot) || boot.fileName.empty() || cancel_) return false;
    std::vector<std::uint8_t> image;
    if (!controller_->ReadControllerFile(boot.fileName, image) || cancel_) return false;
    bool ok = false;
    messages_->OnGui([&] {
      if (messages_->IsShutdown()) return;
      TFrame1* f = form_.Frame1();
      f->StoreEditor();
      f->DropCurrent();
      TCpu cpu = ToCpu(boot.cpu);
      QApplication::setOverrideCursor(Qt::WaitCursor);
      ok = ParseImage(form_.Doc(), std::move(image), true, &cpu, boot.fileName);
      QApplication::restoreOverrideCursor();
      if (ok) form_.SetCpu(cpu);
      f->AfterRebuild();
      form_.UpdateCaption();
    });
    return ok;
  });
}

bool TLinkSession::ReadConfForReview(std::function<void(std::vector<std::uint8_t>&, TCpu, const std::string&)> show) {
  return Start([this, show] {
    link::TBootInfo boot;
    if (!controller_->ReadBootIni("ConfigFilename", boot) || boot.fileName.empty() || cancel_) return false;
    std::vector<std::uint8_t> image;
    if (!controller_->ReadControllerFile(boot.fileName, image) || cancel_) return false;
    messages_->OnGui([&] {
      if (!messages_->IsShutdown()) show(image, ToCpu(boot.cpu), boot.fileName);
    });
    return true;
  });
}

bool TLinkSession::WriteConfClick() {
  return Start([this] {
    link::TBootInfo boot;
    if (!controller_->ReadBootIni("ConfigFilename", boot) || boot.fileName.empty() || cancel_) return false;
    std::vector<std::uint8_t> image;
    bool built = false;
    messages_->OnGui([&] {
      if (messages_->IsShutdown()) return;
      if (!form_.Frame1()->StoreEditor()) return;  // a refused page stops the transfer
      TBuildOptions opt;
      opt.cpu = ToCpu(boot.cpu);
      opt.minorVersion = boot.minorVersion;
      opt.fileName = boot.fileName;
      built = BuildImage(form_.Doc(), opt, image);
      form_.Frame1()->RefreshCurrent();
    });
    if (!built || cancel_) return false;
    bool ok = controller_->WriteControllerFile(boot.fileName, image);
    messages_->OnGui([] { QApplication::beep(); });
    return ok;
  });
}

bool TLinkSession::WriteProgExecute(const QString& given) {
  if (commandRunning_) return Start({});
  QString path = given.isEmpty() ? ChooseFile("Выбор файла контроллера", kProgFilter, form_.Settings().progRtu, false)
                                 : given;
  if (path.isEmpty()) return false;
  form_.Settings().progRtu = path;
  return Start([this, path] {
    std::vector<std::uint8_t> bytes;
    if (!ReadLocalFile(path, bytes)) return false;
    bool ok = controller_->WriteControllerFile(S(QFileInfo(path).fileName()), bytes);
    messages_->OnGui([] { QApplication::beep(); });
    return ok;
  });
}

bool TLinkSession::ReadAutoExecute(const QString& given) {
  if (commandRunning_) return Start({});
  QString path = given.isEmpty() ? ChooseFile("Выбор файла автоматики", kAutoReadFilter, form_.Settings().dataAuto, true)
                                 : given;
  if (path.isEmpty()) return false;
  return Start([this, path] {
    link::TBootInfo boot;
    if (!controller_->ReadBootIni("AutoFilename", boot) || boot.fileName.empty() || cancel_) return false;
    std::vector<std::uint8_t> bytes;
    if (!controller_->ReadControllerFile(boot.fileName, bytes)) return false;
    // The target is written only with the whole file in hand: a failed or cancelled read must
    // not leave the user's previous file emptied or cut short.
    std::string error;
    bool ok = WriteFileAtomic(S(path), std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                              &error);
    if (!ok) messages_->ShowError(error.empty() ? "Ошибка записи файла " + S(path) : error);
    messages_->OnGui([] { QApplication::beep(); });
    return ok;
  });
}

bool TLinkSession::WriteAutoExecute(const QString& given) {
  if (commandRunning_) return Start({});
  QString path = given.isEmpty()
                     ? ChooseFile("Выбор файла автоматики", kAutoWriteFilter, form_.Settings().dataAuto, false)
                     : given;
  if (path.isEmpty()) return false;
  form_.Settings().dataAuto = path;
  return Start([this, path] {
    std::vector<std::uint8_t> bytes;
    if (!ReadLocalFile(path, bytes)) return false;
    link::TBootInfo boot;
    if (!controller_->ReadBootIni("AutoFilename", boot) || boot.fileName.empty() || cancel_) return false;
    bool ok = controller_->WriteControllerFile(boot.fileName, bytes);
    messages_->OnGui([] { QApplication::beep(); });
    return ok;
  });
}

bool TLinkSession::WritePswrdExecute(const QString& given) {
  if (commandRunning_) return Start({});
  QString path = given.isEmpty() ? ChooseFile("Выбор файла паролей", kPasswordFilter, QString(), false) : given;
  if (path.isEmpty()) return false;
  return Start([this, path] {
    std::vector<std::uint8_t> bytes;
    if (!ReadLocalFile(path, bytes)) return false;
    link::TBootInfo boot;
    if (!controller_->ReadBootIni("PasswordFileName", boot) || boot.fileName.empty() || cancel_) return false;
    bool ok = controller_->WriteControllerFile(boot.fileName, bytes);
    messages_->OnGui([] { QApplication::beep(); });
    return ok;
  });
}

bool TLinkSession::RebootClick() {
  return Start([this] { return controller_->Restart(); });
}

bool TLinkSession::SetTimeExecute() {
  return Start([this] {
    bool ok = controller_->SetClock();  // shows "Ошибка установки времени" itself
    if (ok)
      messages_->OnGui([this] {
        if (messages_->IsShutdown()) return;
        TInfoDlg dlg("Время установлено.", &form_);
        RunModal(dlg);
      });
    return ok;
  });
}

// ---------------------------------------------------------------------------------------
void TLinkSession::SetLive(TLiveValues* live) {
  if (live_ && live_ != live) live_->Stop();
  live_ = live;
}

void TLinkSession::LiveGone(TLiveValues* live) {
  if (live_ == live) live_ = nullptr;
}

void TLinkSession::PostLive(std::function<void()> job) {
  if (shutdown_) return;
  worker_.Post(std::move(job));
}

// ---------------------------------------------------------------------------------------
TLiveValues::TLiveValues(TFrameParams& frame, QCheckBox& box)
    : QObject(&frame), frame_(frame), box_(box), alive_(std::make_shared<std::atomic<bool>>(true)) {
  timer_ = new QTimer(this);
  timer_->setInterval(100);
  connect(timer_, &QTimer::timeout, this, &TLiveValues::Tick);
  frame.installEventFilter(this);
}

bool TLiveValues::eventFilter(QObject* o, QEvent* e) {
  // Another item's frame took the place of this one: no more reading for a list not shown.
  if (o == &frame_ && e->type() == QEvent::Hide && !e->spontaneous()) Stop();
  return QObject::eventFilter(o, e);
}

TLiveValues::~TLiveValues() {
  // The frame deletes this before its own widgets go, so Stop can still reach the model.
  Stop();
  *alive_ = false;
  if (TLinkSession* s = Session()) s->LiveGone(this);
}

TLinkSession* TLiveValues::Session() const {
  QWidget* w = frame_.window();
  return w ? w->findChild<TLinkSession*>("LinkSession", Qt::FindDirectChildrenOnly) : nullptr;
}

void TLiveValues::Start() {
  TLinkSession* s = Session();
  if (running_) return;
  if (!s || s->Busy()) {
    // A command has the link; the box cannot be ticked now.
    QSignalBlocker b(&box_);
    box_.setChecked(false);
    if (s) s->Messages().ShowError(link::kTextCommandBusy);
    return;
  }
  s->SetLive(this);
  running_ = true;
  opened_ = false;
  inFlight_ = true;
  row_ = 0;
  frame_.model->showValues = true;
  frame_.model->Refresh();
  auto alive = alive_;
  s->PostLive([s, this, alive] {
    bool ok = s->Controller().BeginLiveValues();  // shows "Ошибка при инициализации порта"
    QMetaObject::invokeMethod(s, [this, alive, ok] {
      if (!*alive) return;
      inFlight_ = false;
      if (!running_) return;
      if (!ok) {
        Stop();
        return;
      }
      opened_ = true;
      timer_->start();
    }, Qt::QueuedConnection);
  });
}

void TLiveValues::Stop() {
  if (!running_) return;
  running_ = false;
  timer_->stop();
  {
    QSignalBlocker b(&box_);
    box_.setChecked(false);
  }
  box_.setStyleSheet(QString());
  frame_.model->showValues = false;
  frame_.model->Refresh();
  if (TLinkSession* s = Session()) {
    s->LiveGone(this);
    s->PostLive([s] { s->Controller().EndLiveValues(); });
  }
  opened_ = false;
}

void TLiveValues::Tick() {
  TLinkSession* s = Session();
  if (!running_ || !opened_ || inFlight_ || !s || s->Busy() || !s->WorkerIdle()) return;
  TParams* t = frame_.Table();
  if (!t || t->Count() == 0) return;
  if (row_ >= t->Count()) row_ = 0;
  const TParam* r = t->At(row_);
  int address = t->Doc() ? t->Doc()->Storage().AddressOf(t->Type(), r) : -1;
  if (address < 0 || address > 0xFFFF) {  // not in the storage: nothing to ask for
    row_ = (row_ + 1) % t->Count();
    return;
  }
  inFlight_ = true;
  const void* table = t;
  int row = row_;
  auto alive = alive_;
  s->PostLive([s, this, alive, address, row, table] {
    std::uint32_t value = 0;
    bool ok = s->Controller().ReadLiveValue(static_cast<std::uint16_t>(address), value);
    QMetaObject::invokeMethod(s, [this, alive, ok, row, table, value] {
      if (*alive) Done(ok, row, table, value);
    }, Qt::QueuedConnection);
  });
}

void TLiveValues::Done(bool ok, int row, const void* table, std::uint32_t value) {
  inFlight_ = false;
  TParams* t = frame_.Table();
  if (!running_ || t != table) return;
  box_.setStyleSheet(ok ? "QCheckBox { color: green; }" : "QCheckBox { color: red; }");
  if (!ok) return;  // the same row again at the next tick; its last good value stays
  if (TParam* r = t->At(row)) {
    r->value = value;
    int col = frame_.model->ColumnOf(TCol::Name);
    QModelIndex i = frame_.model->index(row, col);
    emit frame_.model->dataChanged(i, i);
  }
  row_ = row + 1;
  if (row_ >= t->Count()) row_ = 0;
}

}  // namespace t32::ui
