// The main window's controller commands against the simulated controller on loopback UDP:
// the configuration written and read back, the login dialog after a refused password, progress,
// a window that keeps working during a slow transfer, live values, and the link settings dialog.
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QComboBox>
#include <QTest>
#include <QTreeWidget>
#include <QThread>
#include <QTimer>

#include "link/frame.h"
#include "link/password.h"
#include "model/cp1251.h"
#include "model/ini.h"
#include "model/memstream.h"
#include "model/boards.h"
#include "model/params.h"
#include "model/storage.h"
#include "server.h"
#include "sim.h"
#include "ui/frames.h"
#include "ui/frames_tables.h"
#include "ui/link_dialogs.h"
#include "ui/link_session.h"
#include "ui/review_dialogs.h"
#include "ui_fixture.h"

namespace t32::test {
namespace {

QByteArray Pattern(int n, int seed) {
  QByteArray b(n, 0);
  for (int i = 0; i < n; ++i) b[i] = char((i * 37 + seed) ^ (i >> 4));
  return b;
}

class LinkUiTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    disk = dir.filePath("rtu");
    QDir().mkpath(disk);
    WriteFile(disk + "/Boot.ini", "[Boot]\r\nLastVersion=4.16.3\r\nConfigFilename=TVR32.cfg\r\n");
    sim = std::make_unique<rtusim::TRtuSimulator>(disk.toStdString());
    server = std::make_unique<rtusim::TUdpServer>(*sim);
    std::string error;
    ASSERT_TRUE(server->Bind(0x7F000001, 0, error)) << error;
    server->Start();
    // The link as an engineer sets it: UDP, both addresses, the controller's port; the own
    // port is left to the system.
    ini = dir.filePath("Tavrik32.ini");
    WriteFile(ini, QString("[Link]\r\nMode=1\r\nSelfIP=127.0.0.1\r\nDestIP=127.0.0.1\r\nLocalPort=0\r\nRemotePort=%1\r\n")
                       .arg(server->Port())
                       .toLatin1());
    MakeForm(ini);
    form->Link().Controller().SetDiskPauseMs(0);
    answer = [this](QDialog& d) { return Answer(d); };
  }

  void TearDown() override {
    form.reset();
    server->Stop();
    server.reset();
    sim.reset();
    UiTest::TearDown();
  }

  static void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
  }

  // A file of the simulated disk, whatever the case of its name.
  QByteArray DiskFile(const QString& name) {
    for (const QFileInfo& fi : QDir(disk).entryInfoList(QDir::Files))
      if (fi.fileName().compare(name, Qt::CaseInsensitive) == 0) {
        QFile f(fi.absoluteFilePath());
        if (f.open(QIODevice::ReadOnly)) return f.readAll();
      }
    return {};
  }

  // Answers every dialog as the engineer would: yes to questions, the login typed in, the
  // file chosen; errors are kept.
  int Answer(QDialog& d) {
    if (qobject_cast<ui::TYesNoDialog*>(&d)) {
      questions << dialogTexts.back();
      return yesToQuestions ? kYes : kNo;
    }
    if (auto* login = qobject_cast<ui::TPasswordForm*>(&d)) {
      ++logins;
      loginPrefill << login->PasswordEdit->text();
      if (!typedPassword) return QDialog::Rejected;
      login->UserEdit->setText("admin");
      login->PasswordEdit->setText(typedPassword);
      login->SaveBox->setChecked(true);
      QTest::mouseClick(login->OkButton, Qt::LeftButton);
      return d.result();
    }
    if (auto* fd = qobject_cast<QFileDialog*>(&d)) {
      fileDialogs << fd->windowTitle() + "|" + fd->nameFilters().join(";;");
      fd->selectFile(chosenFile);
      return QDialog::Accepted;
    }
    if (qobject_cast<ui::TErrorDlg*>(&d)) errors << dialogTexts.back();
    else infos << dialogTexts.back();
    return QDialog::Accepted;
  }

  // Lets the window run until the command ends (or the limit passes).
  bool WaitIdle(int ms = 20000) {
    QElapsedTimer t;
    t.start();
    while (form->Link().Busy() && t.elapsed() < ms) QTest::qWait(5);
    return !form->Link().Busy();
  }

  template <class F>
  bool WaitFor(F done, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) QTest::qWait(5);
    return done();
  }

  std::vector<std::vector<std::uint8_t>> FramesOf(std::uint8_t command) const {
    std::vector<std::vector<std::uint8_t>> out;
    for (auto& f : sim->Frames())
      if (f.size() > 1 && f[1] == command) out.push_back(f);
    return out;
  }

  QString disk, ini, chosenFile;
  std::unique_ptr<rtusim::TRtuSimulator> sim;
  std::unique_ptr<rtusim::TUdpServer> server;
  const char* typedPassword = "secret";
  bool yesToQuestions = true;
  int logins = 0;
  QStringList questions, errors, infos, fileDialogs, loginPrefill;
};

TEST_F(LinkUiTest, ConfigurationWrittenFromTheWindowReadsBackIntoTheSameTree) {
  EXPECT_EQ(form->windowTitle(), "Конфигуратор ТАВРИК32.  IP=127.0.0.1");
  Frame().AddFromMenu(4, true);  // DI32
  Frame().AddFromMenu(5, true);  // AI16
  Frame().AddFromMenu(15, true);  // DO32
  form->SetCpu(TCpu::Cpu927);
  const std::string before = Doc().Dump();

  // Progress is watched as the user sees it: the bar's value against its maximum.
  QProgressBar* bar = form->Link().progressBar;
  int fullSteps = 0;
  QObject::connect(bar, &QProgressBar::valueChanged, [&](int v) {
    if (bar->maximum() > 1 && v == bar->maximum()) ++fullSteps;
  });

  form->WriteConf->trigger();
  EXPECT_FALSE(form->WriteConf->isEnabled());  // one command at a time
  EXPECT_TRUE(bar->isVisible());
  ASSERT_TRUE(WaitIdle());
  EXPECT_TRUE(form->Link().LastOk()) << errors.join("\n").toStdString();
  EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
  ASSERT_EQ(questions.size(), 1);
  EXPECT_EQ(questions[0], "Записать в RTU c IP адресом \n\n127.0.0.1");
  EXPECT_EQ(logins, 1);
  EXPECT_TRUE(form->WriteConf->isEnabled());
  EXPECT_FALSE(bar->isVisible());
  EXPECT_GE(fullSteps, 2);  // "Boot.ini" and the configuration each ran to the end
  const QByteArray written = DiskFile("TVR32.cfg");
  ASSERT_GT(written.size(), 144);

  // Start from an empty tree and a different CPU: the controller's file rebuilds it all.
  yesToQuestions = false;  // "Сохранить изменения ...?": the tree built above is not kept
  form->NewExecute();
  yesToQuestions = true;
  form->SetCpu(TCpu::Cpu6358);
  ASSERT_NE(Doc().Dump(), before);
  fullSteps = 0;
  form->ReadConf->trigger();
  ASSERT_TRUE(WaitIdle());
  EXPECT_TRUE(form->Link().LastOk()) << errors.join("\n").toStdString();
  EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
  EXPECT_EQ(Doc().Dump(), before);
  EXPECT_EQ(form->Cpu(), TCpu::Cpu927);  // "LastVersion" 4.16 names a CPU-927
  EXPECT_EQ(logins, 1);                  // the login holds for the run
  EXPECT_GE(fullSteps, 2);
  EXPECT_EQ(FramesOf(link::kCmdReadPiece).size(),
            1u + (static_cast<std::size_t>(written.size()) + 127) / 128 + 1);  // Boot.ini twice
}

TEST_F(LinkUiTest, ImageWrittenToTheControllerNamesTheCurrentFile) {
  // The current file wins over the controller's "TVR32.cfg" in the image head.
  ASSERT_TRUE(form->SaveToFile(dir.filePath("Щит.cfg")));
  form->WriteConf->trigger();
  ASSERT_TRUE(WaitIdle());
  ASSERT_TRUE(form->Link().LastOk()) << errors.join("\n").toStdString();
  const QByteArray written = DiskFile("TVR32.cfg");
  ASSERT_GT(written.size(), 48);
  std::string want = Utf8ToCp1251("File:Щит.cfg");
  want.resize(16, ' ');
  EXPECT_EQ(written.mid(32, 16).toStdString(), want);
}

TEST_F(LinkUiTest, RefusedPasswordIsReportedAndTheNextCommandAsksAgain) {
  // The controller's password file knows admin with "secret".
  WriteFile(disk + "/Password.ini",
            QByteArray("[Users]\r\nadmin=") + QByteArray::fromStdString(link::PasswordWireForm("secret")) + "\r\n");
  const QByteArray program = Pattern(1000, 3);
  const QString local = dir.filePath("TVR32.bin");
  WriteFile(local, program);

  typedPassword = "wrong";
  ASSERT_TRUE(form->Link().WriteProgExecute(local));
  ASSERT_TRUE(WaitIdle());
  EXPECT_FALSE(form->Link().LastOk());
  ASSERT_EQ(errors.size(), 1);
  EXPECT_EQ(errors[0], "Ошибка записи файла. Не верный пароль.");
  EXPECT_TRUE(DiskFile("TVR32.bin").isEmpty());

  typedPassword = "secret";
  ASSERT_TRUE(form->Link().WriteProgExecute(local));
  ASSERT_TRUE(WaitIdle());
  EXPECT_TRUE(form->Link().LastOk()) << errors.join("\n").toStdString();
  EXPECT_EQ(logins, 2);
  // "Запомнить пароль" kept the first (wrong) one, which the second dialog offered.
  EXPECT_EQ(loginPrefill.value(1), "wrong");
  EXPECT_EQ(DiskFile("TVR32.bin"), program);
  EXPECT_EQ(errors.size(), 1);

  // The login went to the settings file in its stored form, not as plain text.
  TIniFile s;
  ASSERT_TRUE(s.Load(ini.toStdString()));
  EXPECT_EQ(s.ReadString("Key", "UserLogin"), "admin");
  const std::string stored = s.ReadString("Key", "UserPassword");
  EXPECT_EQ(stored.find("secret"), std::string::npos);
  EXPECT_EQ(Cp1251ToUtf8(link::PasswordFromStoredForm(Utf8ToCp1251(stored))), "secret");
  EXPECT_EQ(s.ReadInteger("Key", "SavePassword", -1), 1);
  EXPECT_EQ(s.ReadInteger("Key", "ShowPassword", -1), 0);
  EXPECT_EQ(form->Settings().progRtu, local);

  // A cancelled login stops the command before anything is written.
  form->Link().Controller().Login().Clear();
  typedPassword = nullptr;
  const auto writesBefore = FramesOf(link::kCmdWritePiece).size();
  ASSERT_TRUE(form->Link().WriteProgExecute(local));
  ASSERT_TRUE(WaitIdle());
  EXPECT_FALSE(form->Link().LastOk());
  EXPECT_EQ(FramesOf(link::kCmdWritePiece).size(), writesBefore);
}

TEST_F(LinkUiTest, KeyFileFromTheLoginDialogGuardsTheController) {
  // "Добавить в файл" in the login dialog makes the key file ...
  chosenFile = dir.filePath("keys.ini");
  ui::TPasswordForm login(form.get());
  login.UserEdit->setText("oper");
  login.PasswordEdit->setText("Пароль1");
  QTest::mouseClick(login.AddButton, Qt::LeftButton);
  ASSERT_EQ(fileDialogs.size(), 1);
  TIniFile keys;
  ASSERT_TRUE(keys.Load(chosenFile.toStdString()));
  EXPECT_EQ(Utf8ToCp1251(keys.ReadString("Users", "oper")), link::PasswordWireForm(Utf8ToCp1251("Пароль1")));

  // ... "Записать файл паролей" sends it, and from then on the controller knows only that user.
  form->Link().Controller().Login().Set("admin", "");
  form->WritePswrd->trigger();
  ASSERT_TRUE(WaitIdle());
  ASSERT_TRUE(form->Link().LastOk()) << errors.join("\n").toStdString();
  EXPECT_TRUE(fileDialogs[1].startsWith("Выбор файла паролей|Файл паролей (*.ini)"));
  const QString program = dir.filePath("p.bin");
  WriteFile(program, Pattern(10, 1));
  ASSERT_TRUE(form->Link().WriteProgExecute(program));
  ASSERT_TRUE(WaitIdle());
  EXPECT_FALSE(form->Link().LastOk());
  form->Link().Controller().Login().Set("oper", "Пароль1");
  ASSERT_TRUE(form->Link().WriteProgExecute(program));
  ASSERT_TRUE(WaitIdle());
  EXPECT_TRUE(form->Link().LastOk()) << errors.join("\n").toStdString();
}

TEST_F(LinkUiTest, WindowStaysResponsiveDuringASlowTransferAndRefusesASecondCommand) {
  rtusim::TFaults slow;
  slow.delayMs = 25;  // every answer comes late
  sim->SetFaults(slow);
  const QString local = dir.filePath("big.bin");
  WriteFile(local, Pattern(128 * 60, 5));
  form->Link().Controller().Login().Set("admin", "");

  // A timer of the window keeps firing while the command waits for the controller.
  int ticks = 0;
  QTimer heartbeat;
  QObject::connect(&heartbeat, &QTimer::timeout, [&] { ++ticks; });
  heartbeat.start(10);

  QElapsedTimer t;
  t.start();
  ASSERT_TRUE(form->Link().WriteProgExecute(local));
  EXPECT_LT(t.elapsed(), 500);  // the call returns at once; the transfer runs on
  ASSERT_TRUE(WaitFor([&] { return FramesOf(link::kCmdWritePiece).size() >= 5; }));
  EXPECT_TRUE(form->Link().Busy());
  EXPECT_GT(ticks, 5);

  // A second command is refused while the first runs: the menu entries are off, and a call
  // that gets through anyway says why.
  for (QAction* a : {form->ReadConf, form->WriteConf, form->WriteProg, form->Reboot, form->SetTime})
    EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
  EXPECT_FALSE(form->LinkButton->isEnabled());
  EXPECT_FALSE(form->Link().ReadConfClick());
  ASSERT_EQ(errors.size(), 1);
  EXPECT_EQ(errors[0].toStdString(), link::kTextCommandBusy);

  // The tree is still the user's: editing it while the transfer runs is fine.
  Frame().AddFromMenu(4, true);
  EXPECT_TRUE(form->Link().Busy());

  // "Отмена" ends the transfer early; the window is free again.
  QProgressBar* bar = form->Link().progressBar;
  EXPECT_GT(bar->value(), 1);
  EXPECT_LT(bar->value(), bar->maximum());
  QTest::mouseClick(form->Link().cancelButton, Qt::LeftButton);
  ASSERT_TRUE(WaitIdle(3000));
  EXPECT_FALSE(form->Link().LastOk());
  EXPECT_LT(FramesOf(link::kCmdWritePiece).size(), 60u);
  EXPECT_TRUE(form->WriteProg->isEnabled());
}

TEST_F(LinkUiTest, ClosingTheWindowDuringATransferEndsItAtOnce) {
  rtusim::TFaults slow;
  slow.delayMs = 200;
  sim->SetFaults(slow);
  const QString local = dir.filePath("big.bin");
  WriteFile(local, Pattern(128 * 100, 6));
  form->Link().Controller().Login().Set("admin", "");
  ASSERT_TRUE(form->Link().WriteProgExecute(local));
  ASSERT_TRUE(WaitFor([&] { return FramesOf(link::kCmdWritePiece).size() >= 1; }));
  QElapsedTimer t;
  t.start();
  form->close();
  form.reset();
  EXPECT_LT(t.elapsed(), 2000);
  EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();  // nothing pops up while closing
  EXPECT_LT(FramesOf(link::kCmdWritePiece).size(), 100u);
}

TEST_F(LinkUiTest, LiveValuesShowBesideTheNames) {
  Frame().AddFromMenu(4, true);  // DI32: a source ТС table of 32 rows
  TNode* tableNode = nullptr;
  TParams* table = nullptr;
  Doc().Tree().ForEach([&](TNode* n) {
    auto* t = dynamic_cast<TParams*>(n->Item());
    if (!table && t && t->IsSource() && t->Type() == kSigTS && t->Count() >= 3) {
      table = t;
      tableNode = n;
    }
  });
  ASSERT_TRUE(table);
  for (int i = 0; i < 3; ++i) {
    int address = Doc().Storage().AddressOf(kSigTS, table->At(i));
    ASSERT_GE(address, 0x2000);
    sim->SetValue(static_cast<std::uint16_t>(address), static_cast<std::uint32_t>(10 + i));
  }
  Frame().SelectNode(tableNode);
  auto* frame = dynamic_cast<ui::TFrameParams*>(Frame().CurrentFrame());
  ASSERT_TRUE(frame);
  ASSERT_TRUE(frame->ValueBox->isVisible());
  ASSERT_TRUE(frame->ValueBox->isEnabled());

  frame->ValueBox->setChecked(true);
  const int nameCol = frame->model->ColumnOf(ui::TCol::Name);
  auto shown = [&](int row) { return frame->model->index(row, nameCol).data().toString(); };
  ASSERT_TRUE(WaitFor([&] { return table->At(2)->value == 12; }));
  EXPECT_TRUE(shown(0).endsWith("  =  10")) << shown(0).toStdString();
  EXPECT_TRUE(shown(2).endsWith("  =  12")) << shown(2).toStdString();
  EXPECT_TRUE(frame->ValueBox->styleSheet().contains("green"));
  EXPECT_TRUE(errors.isEmpty());

  // A value that changes in the controller shows at the next round.
  sim->SetValue(static_cast<std::uint16_t>(Doc().Storage().AddressOf(kSigTS, table->At(0))), 77);
  ASSERT_TRUE(WaitFor([&] { return shown(0).endsWith("  =  77"); }, 15000));

  // Unticking ends the reading and the names show alone again.
  frame->ValueBox->setChecked(false);
  EXPECT_FALSE(shown(0).contains("="));
  QTest::qWait(50);
  const auto reads = FramesOf(link::kCmdReadValue).size();
  QTest::qWait(300);
  EXPECT_EQ(FramesOf(link::kCmdReadValue).size(), reads);

  // A command takes the link over: live values stop and the box is unticked.
  frame->ValueBox->setChecked(true);
  ASSERT_TRUE(WaitFor([&] { return FramesOf(link::kCmdReadValue).size() > reads; }));
  form->Link().Controller().Login().Set("admin", "");
  ASSERT_TRUE(form->Link().SetTimeExecute());
  EXPECT_FALSE(frame->ValueBox->isChecked());
  ASSERT_TRUE(WaitIdle());
  EXPECT_TRUE(form->Link().LastOk()) << errors.join("\n").toStdString();
  EXPECT_TRUE(infos.contains("Время установлено."));
  EXPECT_TRUE(sim->Stats().clockSet);
}

TEST_F(LinkUiTest, LiveValuesOnALinkThatCannotOpen) {
  form->Settings().linkMode = 0;
  form->Settings().serialDevice = "/dev/t32-no-such-line";
  form->Link().ApplySettings();
  Frame().AddFromMenu(4, true);
  TNode* tableNode = nullptr;
  Doc().Tree().ForEach([&](TNode* n) {
    auto* t = dynamic_cast<TParams*>(n->Item());
    if (!tableNode && t && t->IsSource() && t->Type() == kSigTS) tableNode = n;
  });
  ASSERT_TRUE(tableNode);
  Frame().SelectNode(tableNode);
  auto* frame = dynamic_cast<ui::TFrameParams*>(Frame().CurrentFrame());
  ASSERT_TRUE(frame);
  frame->ValueBox->setChecked(true);
  ASSERT_TRUE(WaitFor([&] { return !frame->ValueBox->isChecked(); }));
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors[0].startsWith("Ошибка при инициализации порта")) << errors[0].toStdString();
  EXPECT_FALSE(frame->model->showValues);
}

TEST_F(LinkUiTest, RestartAsksWithTheControllerAddress) {
  yesToQuestions = false;
  ASSERT_TRUE(form->Link().RebootClick());
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(sim->Stats().restarts, 0u);
  yesToQuestions = true;
  form->Reboot->trigger();
  ASSERT_TRUE(WaitIdle());
  ASSERT_EQ(questions.size(), 2);
  EXPECT_EQ(questions[1], "Перезапустить RTU c IP адресом \n\n127.0.0.1");
  ASSERT_TRUE(WaitFor([&] { return sim->Stats().restarts == 1; }));
  EXPECT_EQ(FramesOf(0x88).back(), (std::vector<std::uint8_t>{1, 0x88, 0x88}));
}

TEST_F(LinkUiTest, AutomationFilesThroughTheFileDialogs) {
  const QByteArray automation = Pattern(300, 9);
  WriteFile(disk + "/Auto.shm", automation);
  form->Link().Controller().Login().Set("admin", "");

  // Reading: the chosen target gets the controller's file.
  chosenFile = dir.filePath("fromrtu.shm");
  WriteFile(chosenFile, "old contents");
  form->ReadAuto->trigger();
  ASSERT_TRUE(WaitIdle());
  EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
  QFile got(chosenFile);
  ASSERT_TRUE(got.open(QIODevice::ReadOnly));
  EXPECT_EQ(got.readAll(), automation);
  got.close();

  // A read that fails leaves the chosen file as it was.
  QFile::remove(disk + "/Auto.shm");
  form->ReadAuto->trigger();
  ASSERT_TRUE(WaitIdle());
  EXPECT_FALSE(form->Link().LastOk());
  ASSERT_TRUE(got.open(QIODevice::ReadOnly));
  EXPECT_EQ(got.readAll(), automation);
  got.close();

  // Writing: the chosen file goes to the controller under the name "Boot.ini" gives, and
  // is remembered as the last automation file.
  errors.clear();
  chosenFile = dir.filePath("mine.shm");
  WriteFile(chosenFile, Pattern(200, 4));
  form->WriteAuto->trigger();
  ASSERT_TRUE(WaitIdle());
  EXPECT_TRUE(form->Link().LastOk()) << errors.join("\n").toStdString();
  EXPECT_EQ(DiskFile("Auto.shm"), Pattern(200, 4));
  ASSERT_EQ(fileDialogs.size(), 3);
  EXPECT_TRUE(fileDialogs[0].startsWith("Выбор файла автоматики|Файлы автоматики (*.shm)"));
  EXPECT_TRUE(fileDialogs[0].endsWith("(*)"));  // "*.*" lists names without a dot too
  form->close();
  TIniFile s;
  ASSERT_TRUE(s.Load(ini.toStdString()));
  EXPECT_EQ(QString::fromStdString(s.ReadString("Progs", "DataAuto")), chosenFile);
}

TEST_F(LinkUiTest, LinkSettingsDialogStoresAndTestsTheLink) {
  struct Case {
    bool net;
    const char* port;  // the "Номер порта" text
    const char* dest;
    int remote;
    const char* caption;
    int linkOk;  // 1 opens, 0 fails, -1 depends on the machine (a real COM4 may exist)
    int comPort;
    const char* device;
  } cases[] = {
      {true, "COM1", "127.0.0.1", 0, "Конфигуратор ТАВРИК32.  IP=127.0.0.1", 1, 1, ""},
      {false, "com4", "127.0.0.1", 0, "Конфигуратор ТАВРИК32.  COM=4", -1, 4, ""},
      {false, "/dev/t32-no-such-line", "127.0.0.1", 0, "Конфигуратор ТАВРИК32.  COM=/dev/t32-no-such-line", 0, 4,
       "/dev/t32-no-such-line"},
      // A port number typed while the Ethernet button is chosen still replaces the device path.
      {true, "COM2", "10.1.2.3", 2404, "Конфигуратор ТАВРИК32.  IP=10.1.2.3", 1, 2, ""},
  };
  for (const auto& c : cases) {
    answer = [&](QDialog& d) {
      auto* dlg = qobject_cast<ui::TTuneLinkDlg*>(&d);
      if (!dlg) return Answer(d);
      EXPECT_EQ(dlg->windowTitle(), "Параметры связи");
      (c.net ? dlg->NetButton : dlg->ComButton)->setChecked(true);
      EXPECT_EQ(dlg->PortEdit->isEnabled(), !c.net);
      dlg->PortEdit->setEditText(c.port);
      dlg->DestIpEdit->SetAddress(IpTextToU32(c.dest));
      dlg->SelfIpEdit->SetAddress(0x7F000001);
      if (c.remote) dlg->RemotePortEdit->setValue(c.remote);
      QTest::mouseClick(dlg->SetButton, Qt::LeftButton);
      return d.result();
    };
    QTest::mouseClick(form->LinkButton, Qt::LeftButton);
    SCOPED_TRACE(c.port);
    EXPECT_EQ(form->windowTitle(), c.caption);
    const QString state = form->Link().linkState->text();
    if (c.linkOk >= 0) {
      EXPECT_EQ(state.isEmpty(), c.linkOk == 1) << state.toStdString();
    }
    if (c.linkOk == 0) {
      EXPECT_TRUE(state.startsWith("Ошибка при инициализации СОМ-порта")) << state.toStdString();
    }
    TIniFile s;
    ASSERT_TRUE(s.Load(ini.toStdString()));  // written at once by "Установить"
    EXPECT_EQ(s.ReadInteger("Link", "Mode", -1), c.net ? 1 : 0);
    EXPECT_EQ(s.ReadInteger("Link", "СОМ_N", -1), c.comPort);
    EXPECT_EQ(s.ReadString("Link", "DestIP"), c.dest);
    EXPECT_EQ(s.ReadString("Link", "SerialDevice"), c.device);
  }
  // The last case pointed the link at another controller port: a command now gets no answer
  // from the simulator, while "Отменить" changes nothing.
  answer = [&](QDialog& d) {
    if (auto* dlg = qobject_cast<ui::TTuneLinkDlg*>(&d)) {
      dlg->ComButton->setChecked(true);
      QTest::mouseClick(dlg->CancelButton, Qt::LeftButton);
      return d.result();
    }
    return Answer(d);
  };
  form->LinkButtonClick();
  EXPECT_EQ(form->Settings().linkMode, 1);
  EXPECT_EQ(form->Settings().remotePort, 2404);
}

// "Сравнить с контроллером" before writing: the controller's configuration is read and what the
// window would change is listed; neither the controller's file nor the window changes.
TEST_F(LinkUiTest, ComparingWithTheControllerListsWhatWritingWouldChange) {
  Frame().AddFromMenu(4, true);  // DI32
  form->SetCpu(TCpu::Cpu927);
  form->WriteConf->trigger();
  ASSERT_TRUE(WaitIdle());
  ASSERT_TRUE(form->Link().LastOk()) << errors.join("\n").toStdString();
  const QByteArray onDisk = DiskFile("TVR32.cfg");
  TNode* board = Doc().Tree().Root()->Child(1);
  ASSERT_NE(board, nullptr);
  auto* di = static_cast<TDI32*>(board->Item());
  const int was = di->debounce;
  di->debounce = static_cast<std::uint8_t>(was == 1 ? 3 : 1);
  const std::string before = Doc().Dump();

  QStringList shown;
  answer = [&](QDialog& d) {
    if (auto* dd = qobject_cast<ui::TDiffDialog*>(&d)) {
      for (QTreeWidgetItemIterator it(dd->tree); *it; ++it)
        if ((*it)->parent()) shown << (*it)->text(0) + "|" + (*it)->text(1) + "|" + (*it)->text(2);
      QTest::mouseClick(dd->closeButton, Qt::LeftButton);
      return dd->result();
    }
    return Answer(d);
  };
  form->findChild<QAction*>("CompareRtu")->trigger();
  ASSERT_TRUE(WaitIdle());
  EXPECT_TRUE(form->Link().LastOk()) << errors.join("\n").toStdString();
  EXPECT_EQ(shown, QStringList({QString("Изменено: debounce|%1|%2").arg(was).arg(di->debounce)}));
  EXPECT_EQ(DiskFile("TVR32.cfg"), onDisk);
  EXPECT_EQ(Doc().Dump(), before);
}

}  // namespace
}  // namespace t32::test
