#include "ui/form1.h"

#include <QActionGroup>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QTimer>
#include <QUrl>
#include <algorithm>

#include "model/document.h"
#include "ports/app_context.h"
#include "ui/about.h"
#include "ui/dialogs.h"
#include "ui/frame1.h"
#include "ui/frames.h"
#include "ui/link_session.h"
#include "ui/review_dialogs.h"
#include "model/fileio.h"
#include "model/memstream.h"

namespace t32::ui {

namespace {
const int kHintMs = 10000;  // hints stay ten seconds
const char* kFilter = "Файлы конфигурации (*.cfg);;Все файлы (*)";
const int kAutosaveDefaultSeconds = 180;
}  // namespace

TForm1::TForm1(TForm1Options opt, QWidget* parent) : QMainWindow(parent), opt_(std::move(opt)) {
  setObjectName("Form1");
  if (opt_.programDir.isEmpty()) opt_.programDir = QCoreApplication::applicationDirPath();
  if (opt_.settingsPath.isEmpty()) opt_.settingsPath = SettingsPath(opt_.programDir);
  openDir_ = opt_.programDir;

  // 1. Settings first: window position and size, link, program and automation files.
  settings_.Load(opt_.settingsPath, opt_.programDir);

  messages_ = std::make_unique<TQtMessages>(this);
  // An address in the settings file that is none (an octet above 255) is refused, not
  // wrapped into another host's address.
  for (std::string* ip : {&settings_.selfIp, &settings_.destIp}) {
    bool valid = false;
    IpTextToU32(*ip, &valid);
    if (!valid) {
      messages_->ShowError("Неверный IP адрес \"" + *ip + "\" в файле настроек: взят 0.0.0.0");
      *ip = "00.00.00.00";
    }
  }
  doc_ = std::make_unique<TDocument>(messages_.get(), opt_.factory);
  appContext_ = std::make_unique<TAppContext>();
  appContext_->libraryFolders = DefaultLibraryFolders(opt_.programDir.toStdString());
  appContext_->iedTypes.folders = DefaultIedFolders(opt_.programDir.toStdString());
  appContext_->library103Folders = DefaultLibraryFolders(opt_.programDir.toStdString(), "IEC_103");
  doc_->appContext = appContext_.get();
  doc_->extendedFormat = true;

  // 2. The tree frame with its three fixed nodes; the controller is selected.
  frame1_ = new TFrame1(*doc_, this);
  for (const char* key : {"Минимум квантов", "Максимум квантов", "Нижний предел", "Верхний предел"})
    frame1_->editorTISettings[key] = settings_.ReadString("EditorTI", key);
  setCentralWidget(frame1_);
  messages_->selectHandler = [this](TNode* n) {
    if (n && doc_->Tree().AbsoluteIndex(n) >= 0) frame1_->SelectNode(n);
  };
  BuildActions();
  BuildToolbar();
  statusBar()->setSizeGripEnabled(true);

  // The controller link with the settings just read; its state shows in the status bar.
  link_ = new TLinkSession(*this, *messages_);
  link_->ApplySettings();
  link_->TestLink();
  connect(ReadConf, &QAction::triggered, link_, [this] {
    // The controller's configuration replaces the tree: unsaved work is offered for saving.
    if (!MaybeSave()) return;
    readingConf_ = true;
    if (!link_->ReadConfClick()) readingConf_ = false;
  });
  connect(WriteConf, &QAction::triggered, link_, [this] { link_->WriteConfClick(); });
  connect(WriteProg, &QAction::triggered, link_, [this] { link_->WriteProgExecute(); });
  connect(ReadAuto, &QAction::triggered, link_, [this] { link_->ReadAutoExecute(); });
  connect(WriteAuto, &QAction::triggered, link_, [this] { link_->WriteAutoExecute(); });
  connect(WritePswrd, &QAction::triggered, link_, [this] { link_->WritePswrdExecute(); });
  connect(Reboot, &QAction::triggered, link_, [this] { link_->RebootClick(); });
  connect(SetTime, &QAction::triggered, link_, [this] { link_->SetTimeExecute(); });
  connect(PasswordButton, &QToolButton::clicked, link_, [this] { link_->PasswordButtonClick(); });
  // One command at a time: while one runs, the others (and the link settings) wait.
  connect(link_, &TLinkSession::BusyChanged, this, [this](bool busy) {
    for (QAction* a : {ReadConf, WriteConf, WriteProg, ReadAuto, WriteAuto, WritePswrd, Reboot, SetTime})
      a->setEnabled(!busy);
    LinkButton->setEnabled(!busy);
    PasswordButton->setEnabled(!busy);
    // A running command reads or replaces the tree: undo waits until it is over.
    Undo->setEnabled(!busy && history_.CanUndo());
    Redo->setEnabled(!busy && history_.CanRedo());
    if (!busy && readingConf_) {
      readingConf_ = false;
      // A configuration read from the controller is a new starting point, as an opened file is.
      if (history_.Commit(*doc_, CurrentView())) TakeAsSaved();
      AfterHistoryChange();
    }
  });

  bool firstStart = !QFileInfo::exists(opt_.settingsPath);
  setGeometry(settings_.geometry);
  // A window restored from the defaults of a smaller screen still shows all three panels.
  if (width() < 900 || height() < 560) resize(std::max(width(), 1000), std::max(height(), 640));
  if (firstStart) FitFirstStart();
  SetCpu(TCpu::Cpu6358);
  connect(frame1_, &TFrame1::Edited, this, &TForm1::ScheduleCheckpoint);
  history_.Reset(*doc_, CurrentView());
  savedId_ = history_.CurrentId();
  AfterHistoryChange();
  rules_ = new TWindowRules(this);
  qApp->installEventFilter(rules_);

  autosaveTimer_ = new QTimer(this);
  bool ok = false;
  int seconds = qEnvironmentVariableIntValue("T32_AUTOSAVE_SECONDS", &ok);
  autosaveTimer_->setInterval((ok && seconds > 0 ? seconds : kAutosaveDefaultSeconds) * 1000);
  connect(autosaveTimer_, &QTimer::timeout, this, [this] { Autosave(); });
  autosaveTimer_->start();
  OfferRecovery();
}

TForm1::~TForm1() {
  qApp->removeEventFilter(rules_);
  link_->Shutdown();
  // The frames refer to the document's items: the tree frame goes first.
  delete frame1_;
  frame1_ = nullptr;
}

void TForm1::BuildActions() {
  auto make = [this](const char* name, const QString& text, const QKeySequence& key = {}) {
    auto* a = new QAction(text, this);
    a->setObjectName(name);
    if (!key.isEmpty()) a->setShortcut(key);
    a->setShortcutContext(Qt::ApplicationShortcut);
    addAction(a);
    return a;
  };
  New = make("New", "Создать", Qt::Key_F4);
  Open = make("Open", "Открыть файл", Qt::Key_F3);
  Save = make("Save", "Сохранить в файл", Qt::Key_F2);
  Save_as = make("Save_as", "Сохранить как ..");
  Undo = make("Undo", "Отменить", QKeySequence(Qt::CTRL | Qt::Key_Z));
  Redo = make("Redo", "Повторить", QKeySequence(Qt::CTRL | Qt::Key_Y));
  Redo->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
  ReadConf = make("ReadConf", "Прочитать конфигурацию", Qt::Key_F6);
  WriteConf = make("WriteConf", "Записать конфигурацию", Qt::Key_F5);
  WriteProg = make("WriteProg", "Записать программу", Qt::Key_F7);
  ReadAuto = make("ReadAuto", "Прочитать файл автоматики");
  WriteAuto = make("WriteAuto", "Записать файл автоматики");
  WritePswrd = make("WritePswrd", "Записать файл паролей");
  WritePswrd->setToolTip("Установить пароль");
  Reboot = make("Reboot", "Перезапустить");
  SetTime = make("SetTime", "Установить время");
  Exits = make("Exits", "Выход", QKeySequence(Qt::ALT | Qt::Key_X));
  // F1 itself is taken by the window rules (the page of what is active); the menu entry opens
  // the general page and only shows the key.
  Helps = make("Helps", "Как пользоваться\tF1");
  About = make("About", "О програме");

  connect(New, &QAction::triggered, this, &TForm1::NewExecute);
  connect(Open, &QAction::triggered, this, &TForm1::OpenClick);
  connect(Save, &QAction::triggered, this, &TForm1::SaveClick);
  connect(Save_as, &QAction::triggered, this, &TForm1::SaveAsClick);
  connect(Undo, &QAction::triggered, this, &TForm1::UndoClick);
  connect(Redo, &QAction::triggered, this, &TForm1::RedoClick);
  connect(Exits, &QAction::triggered, this, &QWidget::close);
  connect(Helps, &QAction::triggered, this, &TForm1::HelpsClick);
  connect(About, &QAction::triggered, this, &TForm1::AboutClick);

  fileMenu = new QMenu("Файл", this);
  fileMenu->setObjectName("FileMenu");
  fileMenu->setToolTipsVisible(true);
  for (QAction* a : {New, Open, Save, Save_as}) fileMenu->addAction(a);
  AddReviewActions(*this);  // "Сравнить с файлом…", "Экспортировать список сигналов…"
  fileMenu->addSeparator();
  fileMenu->addAction(Undo);
  fileMenu->addAction(Redo);
  fileMenu->addSeparator();
  for (QAction* a : {ReadConf, WriteConf, WriteProg, ReadAuto, WriteAuto, WritePswrd}) fileMenu->addAction(a);
  fileMenu->addSeparator();
  fileMenu->addAction(Reboot);
  fileMenu->addAction(SetTime);
  fileMenu->addSeparator();
  fileMenu->addAction(Exits);

  helpMenu = new QMenu("Справка", this);
  helpMenu->setObjectName("HelpMenu");
  helpMenu->addAction(Helps);
  helpMenu->addSeparator();
  helpMenu->addAction(About);
}

void TForm1::BuildToolbar() {
  QToolBar* tb = addToolBar("ToolBar1");
  tb->setObjectName("ToolBar1");
  tb->setMovable(false);
  tb->setToolButtonStyle(Qt::ToolButtonTextOnly);
  auto popupButton = [&](const char* name, QMenu* menu) {
    auto* b = new QToolButton(tb);
    b->setObjectName(name);
    b->setText(menu->title());
    b->setMenu(menu);
    b->setPopupMode(QToolButton::InstantPopup);
    b->setToolTipDuration(kHintMs);
    tb->addWidget(b);
    return b;
  };
  popupButton("FileButton", fileMenu);
  tb->addSeparator();
  // The CPU choice decides the image type written: it stands first, so that a narrow window
  // puts only commands that the "Файл" menu also offers into the toolbar's overflow.
  auto* cpuBox = new QWidget(tb);
  cpuBox->setObjectName("CpuBox");
  auto* cl = new QHBoxLayout(cpuBox);
  cl->setContentsMargins(6, 0, 6, 0);
  FastwelButton = new QRadioButton("CPU-6358, CPC108", cpuBox);
  FastwelButton->setObjectName("FastwelButton");
  DalgorButton = new QRadioButton("CPU-927", cpuBox);
  DalgorButton->setObjectName("DalgorButton");
  cl->addWidget(FastwelButton);
  cl->addWidget(DalgorButton);
  tb->addWidget(cpuBox);
  auto cpuClick = [this] { frame1_->SetCpu(Cpu()); };  // DalgorButtonClick
  connect(FastwelButton, &QRadioButton::clicked, this, cpuClick);
  connect(DalgorButton, &QRadioButton::clicked, this, cpuClick);
  tb->addSeparator();
  // The five command buttons; the tag names the command they run.
  struct TB {
    int tag;
    const char* hint;
    QAction* action;
  } buttons[] = {{1, "Открыть файл", Open},
                 {2, "Сохранить в файл", Save},
                 {3, "Прочитать из RTU", ReadConf},
                 {4, "Записать в RTU", WriteConf},
                 {5, "Перезапустить", Reboot}};
  for (const auto& b : buttons) {
    auto* btn = new QToolButton(tb);
    btn->setObjectName(QString("ToolButton%1").arg(b.tag));
    btn->setProperty("tag", b.tag);
    btn->setText(b.hint);
    btn->setToolTip(b.hint);
    btn->setToolTipDuration(kHintMs);
    btn->setEnabled(b.action->isEnabled());
    connect(btn, &QToolButton::clicked, b.action, &QAction::trigger);
    connect(b.action, &QAction::changed, btn, [btn, a = b.action] { btn->setEnabled(a->isEnabled()); });
    tb->addWidget(btn);
  }
  tb->addSeparator();
  LinkButton = new QToolButton(tb);
  LinkButton->setObjectName("LinkButton");
  LinkButton->setText("      Связь      ");
  LinkButton->setToolTip("Настройка связи с контроллером");
  LinkButton->setToolTipDuration(kHintMs);
  connect(LinkButton, &QToolButton::clicked, this, &TForm1::LinkButtonClick);
  tb->addWidget(LinkButton);
  PasswordButton = new QToolButton(tb);
  PasswordButton->setObjectName("PasswordButton");
  PasswordButton->setText("Пароль");
  PasswordButton->setToolTip("Вход в контроллер");
  PasswordButton->setToolTipDuration(kHintMs);
  tb->addWidget(PasswordButton);
  popupButton("HelpButton", helpMenu);
  tb->addSeparator();

  auto* spacer = new QWidget(tb);
  spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  tb->addWidget(spacer);
  auto* logo = new QToolButton(tb);  // ImageVar: the logo opens the About window
  logo->setObjectName("ImageVar");
  logo->setText("ТАВРИК32");
  logo->setToolTip("О програме");
  logo->setToolTipDuration(kHintMs);
  QFont f = logo->font();
  f.setBold(true);
  logo->setFont(f);
  logo->setStyleSheet("QToolButton { color: #1c3f7a; }");
  connect(logo, &QToolButton::clicked, this, &TForm1::AboutClick);
  tb->addWidget(logo);
}

void TForm1::FitFirstStart() {
  // Wide enough for the whole toolbar and the processor's page, but never beyond the screen.
  QScreen* screen = this->screen();
  QRect avail = screen ? screen->availableGeometry() : QRect(0, 0, 1280, 800);
  QWidget* tb = findChild<QToolBar*>("ToolBar1");
  int want = std::max(1000, (tb ? tb->sizeHint().width() : 0) + 24);
  int w = std::min(want, avail.width());
  int h = std::min(std::max(height(), 700), avail.height());
  setGeometry(avail.left() + (avail.width() - w) / 2, avail.top() + (avail.height() - h) / 2, w, h);
  frame1_->FitPanels(w);
}

TCpu TForm1::Cpu() const { return DalgorButton->isChecked() ? TCpu::Cpu927 : TCpu::Cpu6358; }

void TForm1::SetCpu(TCpu cpu) {
  (cpu == TCpu::Cpu927 ? DalgorButton : FastwelButton)->setChecked(true);
  frame1_->SetCpu(cpu);
}

void TForm1::UpdateCaption() {
  // The link kind and its address, as the controller link will use them.
  QString title = QString::fromUtf8(kProgramTitle);
  if (settings_.linkMode == 1)
    setWindowTitle(QString("%1.  IP=%2").arg(title, Q(U32ToIpText(IpTextToU32(settings_.destIp)))));
  else if (!settings_.serialDevice.empty())  // a device path chosen instead of COM1..COM8
    setWindowTitle(QString("%1.  COM=%2").arg(title, Q(settings_.serialDevice)));
  else
    setWindowTitle(QString("%1.  COM=%2").arg(title).arg(settings_.comPort));
  if (!currentFile_.isEmpty()) setWindowTitle(windowTitle() + "  —  " + QFileInfo(currentFile_).fileName());
  if (Modified()) setWindowTitle(windowTitle() + " *");
}

void TForm1::NewExecute() {
  if (!MaybeSave()) return;
  frame1_->NewConfiguration();
  // The file name stays (a new configuration may be meant for the same file), but the first
  // save asks before putting the new configuration over that file.
  askBeforeOverwrite_ = !currentFile_.isEmpty();
  TakeAsSaved();
}

bool TForm1::OpenFile(const QString& path) {
  frame1_->StoreEditor();
  Checkpoint();
  frame1_->DropCurrent();  // the items shown now are replaced by the file's
  TCpu cpu = Cpu();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  bool ok = OpenConfigFile(*doc_, path.toStdString(), &cpu);
  QApplication::restoreOverrideCursor();
  // A file that could not be read leaves the tree as it was, and with it the current file
  // name: F2 must never write the old tree over the file that failed to open.
  if (ok) {
    currentFile_ = path;
    askBeforeOverwrite_ = false;
    SetCpu(cpu);
  }
  frame1_->AfterRebuild();
  if (ok) TakeAsSaved();
  else Checkpoint();
  UpdateCaption();
  return ok;
}

bool TForm1::SaveToFile(const QString& path) {
  if (!frame1_->StoreEditor()) return false;
  Checkpoint();
  bool ok = SaveConfigFile(*doc_, path.toStdString(), Cpu());
  if (ok) {
    currentFile_ = path;
    savedId_ = history_.CurrentId();
    askBeforeOverwrite_ = false;
    RemoveAutosave();
  }
  frame1_->RefreshCurrent();
  UpdateCaption();
  return ok;
}

void TForm1::OpenClick() {
  if (!MaybeSave()) return;
  QFileDialog dlg(this, "Открыть файл", openDir_, kFilter);
  dlg.setAcceptMode(QFileDialog::AcceptOpen);
  dlg.setFileMode(QFileDialog::ExistingFile);
  if (RunModal(dlg) != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return;
  QString f = dlg.selectedFiles().first();
  if (f.isEmpty() || QFileInfo(f).isDir()) return;
  openDir_ = QFileInfo(f).absolutePath();
  OpenFile(f);
}

bool TForm1::SaveClick() {
  if (currentFile_.isEmpty()) return SaveAsClick();
  if (askBeforeOverwrite_) {
    std::string q = "Заменить файл " + S(QFileInfo(currentFile_).fileName()) + " новой конфигурацией?";
    int a = doc_->Messages().AskConfirm(q, true);
    if (a == kCancel) return false;
    if (a == kNo) return SaveAsClick();
  }
  return SaveToFile(currentFile_);
}

bool TForm1::SaveAsClick() {
  QString start = currentFile_.isEmpty() ? openDir_ : QFileInfo(currentFile_).absolutePath();
  QFileDialog dlg(this, "Сохранить как ..", start, kFilter);
  dlg.setAcceptMode(QFileDialog::AcceptSave);
  dlg.setDefaultSuffix("cfg");
  if (!currentFile_.isEmpty()) dlg.selectFile(QFileInfo(currentFile_).fileName());
  if (RunModal(dlg) != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return false;
  QString f = dlg.selectedFiles().first();
  if (f.isEmpty() || QFileInfo(f).isDir()) return false;
  return SaveToFile(f);
}

// ---------------------------------------------------------------------------------------
bool TForm1::MaybeSave() {
  if (!frame1_->StoreEditor()) return false;
  Checkpoint();
  if (!Modified()) return true;
  std::string q = currentFile_.isEmpty() ? std::string("Сохранить изменения в файле?")
                                         : "Сохранить изменения в файле " + S(QFileInfo(currentFile_).fileName()) + "?";
  int a = doc_->Messages().AskConfirm(q, true);
  if (a == kCancel) return false;
  if (a == kNo) return true;
  return SaveClick() && !Modified();
}

TViewState TForm1::CurrentView() const {
  TViewState v;
  const TTree& tree = doc_->Tree();
  v.selected = std::max(0, tree.AbsoluteIndex(frame1_->CurrentNode()));
  int i = 0;
  tree.ForEach([&](TNode* n) {
    if (n->expanded) v.expanded.push_back(i);
    ++i;
  });
  return v;
}

void TForm1::ShowView(const TViewState& v) {
  int i = 0;
  doc_->Tree().ForEach([&](TNode* n) {
    n->expanded = std::binary_search(v.expanded.begin(), v.expanded.end(), i);
    ++i;
  });
  frame1_->ShowRestored(v.selected);
}

void TForm1::Checkpoint() {
  history_.Commit(*doc_, CurrentView());
  AfterHistoryChange();
}

void TForm1::ScheduleCheckpoint() {
  if (checkpointPending_) return;
  checkpointPending_ = true;
  QTimer::singleShot(0, this, [this] {
    checkpointPending_ = false;
    // A command that waits in a dialog or a menu is not over yet: its edit is taken after it.
    if (QApplication::activeModalWidget() || QApplication::activePopupWidget()) {
      checkpointPending_ = true;
      QTimer::singleShot(50, this, [this] {
        checkpointPending_ = false;
        ScheduleCheckpoint();
      });
      return;
    }
    Checkpoint();
  });
}

void TForm1::AfterHistoryChange() {
  bool busy = link_ && link_->Busy();
  Undo->setEnabled(!busy && history_.CanUndo());
  Redo->setEnabled(!busy && history_.CanRedo());
  UpdateCaption();
}

void TForm1::UndoClick() {
  if (link_->Busy()) return;
  frame1_->StoreEditor();
  Checkpoint();  // an edit still in a frame is the step that is undone first
  if (!history_.CanUndo()) return;
  frame1_->DropCurrent();
  TViewState v;
  if (history_.Undo(*doc_, &v)) ShowView(v);
  else frame1_->AfterRebuild();
  AfterHistoryChange();
}

void TForm1::RedoClick() {
  if (link_->Busy()) return;
  frame1_->StoreEditor();
  Checkpoint();
  if (!history_.CanRedo()) return;
  frame1_->DropCurrent();
  TViewState v;
  if (history_.Redo(*doc_, &v)) ShowView(v);
  else frame1_->AfterRebuild();
  AfterHistoryChange();
}

void TForm1::TakeAsSaved() {
  history_.Reset(*doc_, CurrentView());
  savedId_ = history_.CurrentId();
  RemoveAutosave();
  AfterHistoryChange();
}

// ---------------------------------------------------------------------------------------
QString TForm1::AutosaveFile() const {
  QFileInfo ini(opt_.settingsPath);
  return ini.absoluteDir().filePath(ini.completeBaseName() + ".autosave.cfg");
}

namespace {
QString AutosaveInfoFile(const QString& image) { return image.left(image.size() - 4) + ".txt"; }
}  // namespace

void TForm1::RemoveAutosave() {
  QString f = AutosaveFile();
  QFile::remove(f);
  QFile::remove(AutosaveInfoFile(f));
}

bool TForm1::Autosave() {
  Checkpoint();
  if (!Modified()) {
    RemoveAutosave();
    return false;
  }
  // Its own file, never the user's: the records as the program keeps them (CPU-927 image,
  // output rows by storage index), the CPU choice and the file name in a note beside it.
  std::vector<std::uint8_t> img = THistory::Capture(*doc_);
  TBuildOptions opt;
  opt.cpu = TCpu::Cpu927;
  std::string err;
  if (!FinishImage(img, img.size(), opt, &err)) return false;
  QString f = AutosaveFile();
  std::string note = "cpu=" + std::to_string(static_cast<int>(Cpu())) + "\nfile=" + S(currentFile_) + "\n";
  if (!WriteFileAtomic(S(AutosaveInfoFile(f)), note, &err)) return false;
  return WriteFileAtomic(S(f), std::string_view(reinterpret_cast<const char*>(img.data()), img.size()), &err);
}

void TForm1::OfferRecovery() {
  QString f = AutosaveFile();
  if (!QFileInfo::exists(f)) return;
  std::string bytes, err, note;
  if (!ReadWholeFile(S(f), bytes, &err, TConfig::kMaxImage - 1)) return;
  ReadWholeFile(S(AutosaveInfoFile(f)), note, nullptr, 1u << 16);
  TCpu cpu = TCpu::Cpu6358;
  QString file;
  for (const QString& line : Q(note).split('\n')) {
    if (line.startsWith("cpu=")) cpu = line.mid(4).toInt() == 1 ? TCpu::Cpu927 : TCpu::Cpu6358;
    if (line.startsWith("file=")) file = line.mid(5);
  }
  QString when = QFileInfo(f).lastModified().toString("dd.MM.yyyy hh:mm");
  std::string q = "Программа была закрыта, не сохранив изменения. Найдена автоматически сохранённая "
                  "конфигурация от " + S(when) +
                  (file.isEmpty() ? std::string() : " (файл " + S(QFileInfo(file).fileName()) + ")") +
                  ". Восстановить её?";
  if (doc_->Messages().AskConfirm(q, false) != kYes) {
    RemoveAutosave();
    return;
  }
  frame1_->DropCurrent();
  TCpu imageCpu = cpu;
  std::vector<std::uint8_t> v(bytes.begin(), bytes.end());
  bool ok = ParseImage(*doc_, std::move(v), false, &imageCpu, S(f));
  if (ok) {
    SetCpu(cpu);
    currentFile_ = file;
  }
  frame1_->AfterRebuild();
  history_.Reset(*doc_, CurrentView());
  // The restored configuration is not in any file yet: it counts as unsaved (and the autosave
  // file stays until it is saved).
  if (ok) savedId_ = 0;
  else savedId_ = history_.CurrentId();
  AfterHistoryChange();
}

QString TForm1::HelpPage(int context) const {
  // The pages travel beside the program ("help/"); a build run from the source tree uses
  // the tree's copy. A context without a page of its own opens the general page.
  QStringList dirs = {opt_.programDir + "/help", QCoreApplication::applicationDirPath() + "/help",
                      QString(T32_SOURCE_DIR) + "/docs/help"};
  for (const QString& d : dirs) {
    for (int c : {context, 1}) {
      QString page = QString("%1/%2.html").arg(d).arg(c);
      if (QFileInfo::exists(page)) return QFileInfo(page).absoluteFilePath();
    }
  }
  return {};
}

int TForm1::HelpContext() const {
  QWidget* active = QApplication::activeModalWidget();
  if (!active) active = QApplication::activeWindow();
  if (active && active != this) {
    bool ok = false;
    int c = active->property("helpContext").toInt(&ok);
    return ok && c > 0 ? c : 1;
  }
  return frame1_->HelpContext();
}

void TForm1::ShowHelp(int context) {
  QString page = HelpPage(context);
  lastHelpPage = page;
  if (page.isEmpty()) {
    doc_->Messages().ShowError("Файл справки не найден.");
    return;
  }
  if (opt_.helpViewer) QDesktopServices::openUrl(QUrl::fromLocalFile(page));
}

void TForm1::HelpsClick() { ShowHelp(1); }

void TForm1::HelpKey() { ShowHelp(HelpContext()); }

void TForm1::AboutClick() {
  TAboutBox box(this);
  RunModal(box);
}

void TForm1::LinkButtonClick() { link_->LinkButtonClick(); }

void TForm1::closeEvent(QCloseEvent* e) {
  if (!closed_) {
    if (!MaybeSave()) {
      e->ignore();
      return;
    }
    closed_ = true;
    RemoveAutosave();
    link_->Shutdown();  // a running command is cancelled; the link closes
    frame1_->StoreEditor();
    settings_.geometry = QRect(geometry().left(), geometry().top(), width(), height());
    settings_.Save(opt_.settingsPath);  // a settings file that cannot be written is not an error
  }
  e->accept();
}

bool TForm1::eventFilter(QObject* o, QEvent* e) { return QMainWindow::eventFilter(o, e); }

bool TWindowRules::eventFilter(QObject* o, QEvent* e) {
  auto secondary = [this]() -> QWidget* {
    QWidget* w = QApplication::activeModalWidget();
    if (!w) w = QApplication::activeWindow();
    if (!w || w == main_ || qobject_cast<QMenu*>(w) || w->property("keepOnEsc").toBool()) return nullptr;
    return w;
  };
  if (e->type() == QEvent::KeyPress) {
    auto* k = static_cast<QKeyEvent*>(e);
    if (k->key() == Qt::Key_X && (k->modifiers() & Qt::AltModifier)) {
      if (QWidget* w = secondary()) w->close();
      main_->close();
      return true;
    }
    if (k->key() == Qt::Key_F1 && k->modifiers() == Qt::NoModifier) {
      main_->HelpKey();
      return true;
    }
    if (k->key() == Qt::Key_Escape) {
      if (QWidget* w = secondary(); w && !qobject_cast<QDialog*>(w) && o == w) {
        w->close();
        return true;
      }
    }
  }
  // Edits end with a release of a button or a key, or a drop: the window then takes the
  // document's state for undo (typing plain text changes nothing until it is committed).
  if (e->type() == QEvent::MouseButtonRelease || e->type() == QEvent::Drop) {
    main_->ScheduleCheckpoint();
  } else if (e->type() == QEvent::KeyRelease) {
    auto* k = static_cast<QKeyEvent*>(e);
    bool plainText = !k->text().isEmpty() && k->text()[0].isPrint() && !(k->modifiers() & Qt::ControlModifier) &&
                     k->key() != Qt::Key_Space;
    if (!k->isAutoRepeat() && !plainText) main_->ScheduleCheckpoint();
  }
  if (e->type() == QEvent::MouseButtonRelease) {
    auto* m = static_cast<QMouseEvent*>(e);
    if (m->button() == Qt::RightButton) {
      auto* widget = qobject_cast<QWidget*>(o);
      QWidget* w = secondary();
      if (w && widget && widget->window() == w) {
        w->close();
        return true;
      }
    }
  }
  return QObject::eventFilter(o, e);
}

}  // namespace t32::ui
