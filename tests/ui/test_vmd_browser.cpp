// The VMD browser window against the test MMS server over loopback and on the SCL fixture:
// loading, reading, writing, reports, the functional constraint filter and ticking.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <set>

#include "iec61850/mms_test_server.h"
#include "iec61850/mmsclient.h"
#include "iec61850/pickmarks.h"
#include "iec61850/scl.h"
#include "ui/vmd_browser.h"

using namespace t32;
using namespace t32::ui;
using namespace t32test;

namespace {

const char* kIcd = T32_FIXTURES "/scl/sample.icd";

// The owner's listener: the window passes every event on to it.
struct TOwner : TMMSEvents {
  std::function<void(int)> onStep;
  void BrowseStepChanged(int s) override {
    if (onStep) onStep(s);
  }
  void ModelLoaded() override { ++loaded; }
  void WriteResult(TMMSvar*, int code) override { code == 255 ? ++written : ++refused; }
  int loaded = 0, written = 0, refused = 0;
};

class VmdBrowser : public ::testing::Test {
 protected:
  void SetUp() override {
    BuildSampleModel(server);
    BuildReportModel(server);
    client.Main.Ip[0] = 127;
    client.Main.Ip[3] = 1;
    client.Main.Port = server.Port();
    client.ApplyAddress();
    client.Events = &owner;
    form = std::make_unique<TVMDbrowserForm>();
    form->OnModelLoaded = [this] { ++modelLoaded; };
    SetModalHook([this](QDialog& d) {
      if (&d == form.get()) return 0;  // the browser stays open while the test drives it
      dialogTitles.push_back(d.windowTitle());
      QString text;
      for (QLabel* l : d.findChildren<QLabel*>()) text += l->text();
      dialogTexts.push_back(text);
      int r = answer ? answer(d) : int(QDialog::Rejected);
      d.hide();
      return r;
    });
    // The network tick the device editor runs while the window is open.
    pump.setInterval(2);
    QObject::connect(&pump, &QTimer::timeout, [this] {
      server.Poll();
      client.Tick(TClock::now());
    });
    pump.start();
  }
  void TearDown() override {
    pump.stop();
    form.reset();
    SetModalHook(nullptr);
  }
  bool Wait(const std::function<bool()>& cond, int ms = 8000) { return QTest::qWaitFor(cond, ms); }
  bool Associate() { return Wait([&] { return client.MMSState() == TMMSobject::kMmsAssociated; }); }
  // Index of the node at the "/"-separated path of names from the server node (not included).
  QModelIndex Find(const QString& path) {
    QModelIndex at = form->Model->index(0, 0);
    for (const QString& name : path.split('/')) {
      QModelIndex next;
      for (int r = 0; r < form->Model->rowCount(at); ++r) {
        QModelIndex c = form->Model->index(r, 0, at);
        if (c.data().toString() == name) next = c;
      }
      if (!next.isValid()) return {};
      form->Tree->expand(at);
      at = next;
    }
    form->Tree->scrollTo(at);
    return at;
  }
  QString Value(const QString& path) { return Find(path).siblingAtColumn(TVMDModel::kColValue).data().toString(); }
  void Click(const QModelIndex& i, Qt::KeyboardModifiers mods = {}) {
    QTest::mouseClick(form->Tree->viewport(), Qt::LeftButton, mods, form->Tree->visualRect(i).center());
  }
  void ClickIcon(const QModelIndex& i) {
    QTest::mouseClick(form->Tree->viewport(), Qt::LeftButton, {}, form->Tree->IconRect(i).center());
  }
  void LoadFromDevice() {
    ASSERT_TRUE(Associate());
    ASSERT_TRUE(Wait([&] { return form->LoadDeviceButton->isEnabled(); }));
    QTest::mouseClick(form->LoadDeviceButton, Qt::LeftButton);
    ASSERT_TRUE(Wait([&] { return client.ModelLoaded() && form->Model->rowCount() == 1; }));
  }
  int Writes() const {
    int n = 0;
    for (const auto& r : server.mmsRequests) {
      std::size_t idLen = std::uint8_t(r[1]);
      if (r.size() > 2 + idLen && std::uint8_t(r[2 + idLen]) == 0xA5) ++n;
    }
    return n;
  }
  std::vector<std::string> Names(const QModelIndex& parent) {
    std::vector<std::string> out;
    for (int r = 0; r < form->Model->rowCount(parent); ++r)
      out.push_back(form->Model->index(r, 0, parent).data().toString().toStdString());
    return out;
  }

  TTestMmsServer server;
  TMMSobject client;
  TOwner owner;
  QTimer pump;
  std::unique_ptr<TVMDbrowserForm> form;
  int modelLoaded = 0;
  std::function<int(QDialog&)> answer;
  std::vector<QString> dialogTitles, dialogTexts;
};

}  // namespace

TEST_F(VmdBrowser, ViewingLoadsFromTheDeviceReadsAndWrites) {
  std::vector<QString> labels;
  owner.onStep = [&](int) { labels.push_back(form->StatusLabel->text()); };
  form->OpenBrowser(&client, false);
  EXPECT_EQ(form->windowTitle(), "Структура IED [127.0.0.1]");
  EXPECT_TRUE(form->ReadButton->isVisibleTo(form.get()));
  EXPECT_TRUE(form->GoosePanelButton->isVisibleTo(form.get()));
  EXPECT_FALSE(form->AddObjectsButton->isVisibleTo(form.get()));
  EXPECT_FALSE(form->AttributesButton->isVisibleTo(form.get()));
  LoadFromDevice();
  EXPECT_TRUE(form->LinkLamp->property("linked").toBool());
  EXPECT_TRUE(form->LinkLamp->toolTip().contains("MMS: есть связь"));
  auto saw = [&](const QString& t) { return std::find(labels.begin(), labels.end(), t) != labels.end(); };
  EXPECT_TRUE(saw("получение списка доменов"));
  EXPECT_TRUE(saw("загрузка списка переменных домена TESTLD") || saw("загрузка списка переменных домена RPTLD"));
  EXPECT_TRUE(saw("чтение атрибутов домена TESTLD узел GGIO1"));
  EXPECT_TRUE(saw("именованые списки переменных VMD"));
  EXPECT_TRUE(saw("параметры отчетов "));
  EXPECT_EQ(form->StatusLabel->text(), "Конфигурация загружена");
  EXPECT_EQ(modelLoaded, 1);
  EXPECT_EQ(owner.loaded, 1);  // the owner still hears the client
  EXPECT_EQ(client.Reports().Count(), 6u);  // built from the model's control blocks
  EXPECT_FALSE(form->SvcLabel->toolTip().isEmpty());

  // Columns of a row: type text, "$"-joined name, "н/д" before a read.
  QModelIndex i = Find("TESTLD/GGIO1/ST/All/i");
  ASSERT_TRUE(i.isValid());
  EXPECT_EQ(i.siblingAtColumn(TVMDModel::kColType).data().toString(), "integer[32]");
  EXPECT_EQ(i.siblingAtColumn(TVMDModel::kColMmsName).data().toString(), "GGIO1$ST$All$i");
  EXPECT_EQ(Value("TESTLD/GGIO1/ST/All/i"), "н/д");

  // Two rows picked with Ctrl, read in one go.
  Click(Find("TESTLD/GGIO1/ST/All/i"));
  Click(Find("TESTLD/GGIO1/ST/All/vs"), Qt::ControlModifier);
  QTest::mouseClick(form->ReadButton, Qt::LeftButton);
  ASSERT_TRUE(Wait([&] { return Value("TESTLD/GGIO1/ST/All/vs") == "hello"; }));
  EXPECT_EQ(Value("TESTLD/GGIO1/ST/All/i"), "-1234567");

  // Writing: text that is not an integer is refused and nothing goes out; a visible string goes.
  QTest::mouseClick(form->WritePanelButton, Qt::LeftButton);
  ASSERT_TRUE(form->WritePanel->isVisible());
  Click(Find("TESTLD/GGIO1/ST/All/i"));
  QTest::keyClicks(form->WriteEdit, "abc");
  QTest::mouseClick(form->WriteButton, Qt::LeftButton);
  ASSERT_EQ(dialogTexts.size(), 1u);
  EXPECT_TRUE(dialogTexts[0].contains("ничего не записано"));
  form->WriteEdit->setText("4294967296");  // beyond a 32-bit integer
  QTest::mouseClick(form->WriteButton, Qt::LeftButton);
  EXPECT_EQ(dialogTexts.size(), 2u);
  QTest::qWait(50);
  EXPECT_EQ(Writes(), 0);
  Click(Find("TESTLD/GGIO1/ST/All/vs"));
  form->WriteEdit->setText("abc");
  QTest::mouseClick(form->WriteButton, Qt::LeftButton);
  ASSERT_TRUE(Wait([&] { return Writes() == 1 && !client.WriteOutstanding(); }));
  EXPECT_TRUE(form->StatusLabel->text().startsWith("записано"));
  QTest::mouseClick(form->ReadButton, Qt::LeftButton);
  ASSERT_TRUE(Wait([&] { return Value("TESTLD/GGIO1/ST/All/vs") == "abc"; }));

  // A variable the server no longer has says why it has no value.
  auto& all = server.domains["TESTLD"][1].children[0].children[0].children;
  ASSERT_EQ(all[0].name, "b");
  all.erase(all.begin());
  Click(Find("TESTLD/GGIO1/ST/All/b"));
  QTest::mouseClick(form->ReadButton, Qt::LeftButton);
  ASSERT_TRUE(Wait([&] { return Value("TESTLD/GGIO1/ST/All/b").startsWith("ошибка доступа"); }))
      << Value("TESTLD/GGIO1/ST/All/b").toStdString();
}

TEST_F(VmdBrowser, ReportPanelFollowsTheLinkAndTheReports) {
  form->OpenBrowser(&client, false);
  LoadFromDevice();
  TMMSReportParam* br = client.Reports().Find("BR01");
  ASSERT_TRUE(br);
  br->IntgPd = 60000;
  client.EnableReports({br}, true);
  ASSERT_TRUE(Wait([&] { return client.ReportStep() == 11; }));
  form->StatusTimer.stop();  // the test takes each status update itself
  QTest::mouseClick(form->ReportPanelButton, Qt::LeftButton);
  ASSERT_TRUE(form->ReportPanel->isVisible());
  ASSERT_EQ(form->ReportModel->rowCount(), 1);
  auto cell = [&](int c) { return form->ReportModel->index(0, c).data().toString(); };
  EXPECT_EQ(cell(1), "BR01");
  EXPECT_EQ(cell(2), "RPTLD/LLN0$BR$brcb01");
  EXPECT_EQ(form->ReportModel->Lamp(0), TLamp::Yellow);

  server.SendReport(DataVisibleString("BR01") + DataBits(10, 0x100) + DataUnsigned(7) + DataBits(3, 0b101) +
                    DataBool(true) + DataFloat(2.5f));
  ASSERT_TRUE(Wait([&] { return br->LastReport != TTime{}; }));
  form->UpdateStatus();
  EXPECT_EQ(form->ReportModel->Lamp(0), TLamp::Read);  // for one repaint
  form->UpdateStatus();
  EXPECT_EQ(form->ReportModel->Lamp(0), TLamp::Green);
  EXPECT_EQ(cell(4), "7");
  EXPECT_EQ(cell(6), "0000000000000000");
  EXPECT_FALSE(cell(3).isEmpty());
  // A cell whose text cannot be made says so instead of breaking the list.
  br->Client = nullptr;
  EXPECT_EQ(cell(2), "ошибка");
  br->Client = &client;

  // "Запрос отчета" writes GI to the report's block.
  form->ReportView->setCurrentIndex(form->ReportModel->index(0, 1));
  int before = Writes();
  ASSERT_TRUE(br->Active && br->Block);
  ASSERT_TRUE(Wait([&] { return !client.WriteOutstanding(); }));  // the setup's own GI write
  QTest::mouseClick(form->ReportRequestButton, Qt::LeftButton);
  ASSERT_TRUE(Wait([&] { return Writes() == before + 1; }));

  // With the association down: gray, and the request does nothing.
  server.CloseConnection();
  ASSERT_TRUE(Wait([&] { return client.MMSState() != TMMSobject::kMmsAssociated; }));
  form->UpdateStatus();
  EXPECT_EQ(form->ReportModel->Lamp(0), TLamp::Gray);
  EXPECT_FALSE(form->LinkLamp->property("linked").toBool());
  EXPECT_FALSE(form->ReadButton->isEnabled());
  QTest::mouseClick(form->ReportRequestButton, Qt::LeftButton);
  EXPECT_FALSE(client.WriteOutstanding());

  // GOOSE control blocks: listed, no message state known.
  form->UpdateStatus();
  ASSERT_TRUE(form->GoosePanelButton->isEnabled());
  QTest::mouseClick(form->GoosePanelButton, Qt::LeftButton);
  EXPECT_FALSE(form->ReportPanel->isVisible());
  ASSERT_EQ(form->GooseModel->rowCount(), 1);
  EXPECT_EQ(form->GooseModel->index(0, 1).data().toString(), "gcb01");
  EXPECT_TRUE(form->GooseModel->index(0, 3).data().toString().isEmpty());
}

TEST_F(VmdBrowser, LongWriteGoesAsSeveralRequests) {
  server.domains.clear();
  server.dataSets.clear();
  BuildLargeModel(server, 6000);  // 2,000 stVal: far more than one request holds
  form->OpenBrowser(&client, false);
  LoadFromDevice();
  QItemSelection all;
  const QModelIndex vmd = form->Model->index(0, 0);
  int count = 0;
  for (int d = 0; d < form->Model->rowCount(vmd); ++d) {
    QModelIndex ld = form->Model->index(d, 0, vmd);
    for (int l = 0; l < form->Model->rowCount(ld); ++l) {
      QModelIndex st = form->Model->index(0, 0, form->Model->index(l, 0, ld));
      for (int o = 0; o < form->Model->rowCount(st); ++o) {
        QModelIndex stVal = form->Model->index(0, 0, form->Model->index(o, 0, st));
        all.select(stVal, stVal.siblingAtColumn(TVMDModel::kColumns - 1));
        ++count;
      }
    }
  }
  ASSERT_EQ(count, 2000);
  form->Tree->selectionModel()->select(all, QItemSelectionModel::ClearAndSelect);
  QTest::mouseClick(form->WritePanelButton, Qt::LeftButton);
  form->WriteEdit->setText("true");
  QTest::mouseClick(form->WriteButton, Qt::LeftButton);
  ASSERT_TRUE(Wait([&] { return owner.written + owner.refused == count; }, 15000)) << owner.written;
  EXPECT_EQ(owner.written, count);
  EXPECT_GT(Writes(), 2);
  for (const auto& r : server.mmsRequests) EXPECT_LT(r.size(), 32769u);
}

TEST_F(VmdBrowser, FilterBoxHidesTheConstraintLevelOnly) {
  ASSERT_TRUE(LoadSCL(kIcd, client));
  form->OpenBrowser(&client, false);
  QModelIndex xcbr = Find("IED1LD0/XCBR1");
  ASSERT_TRUE(xcbr.isValid());
  EXPECT_EQ(Names(xcbr), (std::vector<std::string>{"ST", "CO"}));  // CF and DC start unticked
  auto before = Names(Find("IED1LD0"));
  QTest::mouseClick(form->Filters[2], Qt::LeftButton);  // CO
  ASSERT_FALSE(form->Model->Filter(2));
  EXPECT_EQ(Names(Find("IED1LD0")), before);
  EXPECT_EQ(Names(Find("IED1LD0/XCBR1")), (std::vector<std::string>{"ST"}));
  EXPECT_EQ(Names(form->Model->index(0, 0)), (std::vector<std::string>{"IED1LD0", "BAY1CTRL"}));
  QTest::mouseClick(form->Filters[6], Qt::LeftButton);  // DC
  EXPECT_EQ(Names(Find("IED1LD0/XCBR1")), (std::vector<std::string>{"ST", "DC"}));

  // Opened again on the same client the tree stays as it was; another client rebuilds it, and
  // the first one gets its own listener back.
  QModelIndex ln = Find("IED1LD0/XCBR1");
  form->Tree->expand(ln);
  EXPECT_EQ(client.Events, form.get());
  form->OpenBrowser(&client, false);
  EXPECT_TRUE(form->Tree->isExpanded(ln));
  TMMSobject other;
  ASSERT_TRUE(LoadSCL(kIcd, other));
  form->OpenBrowser(&other, false);
  EXPECT_EQ(form->Model->Client(), &other);
  EXPECT_EQ(client.Events, &owner);
  EXPECT_EQ(other.Events, form.get());
  form->Detach();
  EXPECT_EQ(other.Events, nullptr);
}

TEST_F(VmdBrowser, SelectingTicksSignalsNotTheirElements) {
  ASSERT_TRUE(LoadSCL(kIcd, client));
  std::vector<TMMSvar*> added;
  form->OnAddObjects = [&](const std::vector<TMMSvar*>& v) { added = v; };
  form->OpenBrowserForSelection(&client);
  EXPECT_TRUE(form->AddObjectsButton->isVisibleTo(form.get()));
  EXPECT_FALSE(form->ReadButton->isVisibleTo(form.get()));
  auto node = [&](const QString& p) { return form->Model->NodeOf(Find(p)); };
  auto mark = [&](const QString& p) { return int(node(p)->PickMark); };

  // A data object whose children are all leaves: only it.
  ClickIcon(Find("IED1LD0/XCBR1/ST/Pos"));
  EXPECT_EQ(mark("IED1LD0/XCBR1/ST/Pos"), 1);
  EXPECT_EQ(mark("IED1LD0/XCBR1/ST/Pos/stVal"), 0);
  // A click on the text does not tick.
  Click(Find("IED1LD0/XCBR1/ST/Pos"));
  EXPECT_EQ(mark("IED1LD0/XCBR1/ST/Pos"), 1);
  // A control object with "Oper": it, not "Oper".
  ClickIcon(Find("IED1LD0/XCBR1/CO/Pos"));
  EXPECT_EQ(mark("IED1LD0/XCBR1/CO/Pos"), 1);
  EXPECT_EQ(mark("IED1LD0/XCBR1/CO/Pos/Oper"), 0);
  EXPECT_EQ(mark("IED1LD0/XCBR1/CO/Pos/Oper/ctlVal"), 0);
  form->AddObjects();
  EXPECT_EQ(added, (std::vector<TMMSvar*>{node("IED1LD0/XCBR1/ST/Pos"), node("IED1LD0/XCBR1/CO/Pos")}));

  // Space unticks the current node.
  form->Tree->setCurrentIndex(Find("IED1LD0/XCBR1/CO/Pos"));
  QTest::keyClick(form->Tree, Qt::Key_Space);
  EXPECT_EQ(mark("IED1LD0/XCBR1/CO/Pos"), 0);

  // A logical node: its data objects, not their attributes.
  ClickIcon(Find("IED1LD0/MMXU1"));
  EXPECT_EQ(mark("IED1LD0/MMXU1/MX/PhV"), 1);
  EXPECT_EQ(mark("IED1LD0/MMXU1/MX/PhV/phsA"), 1);
  EXPECT_EQ(mark("IED1LD0/MMXU1/MX/PhV/phsA/q"), 0);
  EXPECT_EQ(mark("IED1LD0/MMXU1/MX/PhV/phsA/cVal"), 0);
  EXPECT_EQ(mark("IED1LD0/MMXU1/MX/PhV/phsA/cVal/mag"), 0);

  QTest::mouseClick(form->AddObjectsButton, Qt::LeftButton);
  EXPECT_EQ(added, PickedNodes(client.Root()));
  std::set<TMMSvar*> got(added.begin(), added.end());
  EXPECT_TRUE(got.count(node("IED1LD0/XCBR1/ST/Pos")));
  EXPECT_FALSE(got.count(node("IED1LD0/XCBR1/CO/Pos")));
  for (TMMSvar* v : added) EXPECT_FALSE(v->Children.empty() && v->Parent && IsSignalNode(*v->Parent, client.Dictionary()));
}

TEST_F(VmdBrowser, FileLoadThroughTheDialog) {
  form->OpenBrowser(&client, false);
  QString chosen = kIcd;
  answer = [&](QDialog& d) {
    auto* fd = qobject_cast<QFileDialog*>(&d);
    if (!fd || chosen.isEmpty()) return int(QDialog::Rejected);
    EXPECT_EQ(fd->windowTitle(), "Загрузить конфигурацию из файла");
    EXPECT_EQ(fd->defaultSuffix(), "ICD");
    EXPECT_TRUE(fd->nameFilters().join(";").contains("*.scd"));
    fd->selectFile(chosen);
    return int(QDialog::Accepted);
  };
  QTest::mouseClick(form->LoadFileButton, Qt::LeftButton);
  EXPECT_EQ(modelLoaded, 1);
  EXPECT_EQ(Names(form->Model->index(0, 0)), (std::vector<std::string>{"IED1LD0", "BAY1CTRL"}));
  EXPECT_EQ(dialogTexts.size(), 1u);  // the file dialog only

  // A file the reader refuses: its message, and the tree as it was.
  QTemporaryDir dir;
  QFile bad(dir.filePath("bad.icd"));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write("<SCL><IED name='x'>");
  bad.close();
  chosen = bad.fileName();
  QTest::mouseClick(form->LoadFileButton, Qt::LeftButton);
  EXPECT_EQ(modelLoaded, 2);
  ASSERT_EQ(dialogTitles.size(), 3u);
  EXPECT_TRUE(dialogTitles[2].endsWith("Ошибка"));
  EXPECT_EQ(Names(form->Model->index(0, 0)), (std::vector<std::string>{"IED1LD0", "BAY1CTRL"}));
  EXPECT_TRUE(Find("IED1LD0/XCBR1/ST/Pos").isValid());

  // Cancelled: the handler is still told.
  chosen.clear();
  QTest::mouseClick(form->LoadFileButton, Qt::LeftButton);
  EXPECT_EQ(modelLoaded, 3);
}

TEST_F(VmdBrowser, SclWithSeveralIedsAsksWhichOne) {
  QFile f(kIcd);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  QByteArray icd = f.readAll();
  // A second IED with the same server under another name.
  int start = icd.indexOf("<IED "), end = icd.indexOf("</IED>") + 6;
  QByteArray second = icd.mid(start, end - start).replace("name=\"IED1\"", "name=\"IED2\"");
  icd.insert(end, second);
  QTemporaryDir dir;
  QFile scd(dir.filePath("station.scd"));
  ASSERT_TRUE(scd.open(QIODevice::WriteOnly));
  scd.write(icd);
  scd.close();
  form->OpenBrowser(&client, false);
  QStringList offered;
  answer = [&](QDialog& d) {
    if (auto* fd = qobject_cast<QFileDialog*>(&d)) {
      fd->selectFile(scd.fileName());
      return int(QDialog::Accepted);
    }
    if (auto* list = d.findChild<QListWidget*>("IedList")) {
      for (int i = 0; i < list->count(); ++i) offered << list->item(i)->text();
      list->setCurrentRow(1);
      return int(QDialog::Accepted);
    }
    return int(QDialog::Rejected);
  };
  QTest::mouseClick(form->LoadFileButton, Qt::LeftButton);
  EXPECT_EQ(offered, (QStringList{"IED1", "IED2"}));
  EXPECT_EQ(Names(form->Model->index(0, 0)), (std::vector<std::string>{"IED2LD0", "BAY1CTRL"}));
}
