// Pictures of the VMD browser for scripts/screenshots:
//   vmd-view:FILE     the model of an SCL file in viewing mode, with values
//   vmd-select:FILE   the same in selecting mode with a few ticks
//   vmd-reports:PORT  a live server on 127.0.0.1:PORT (the test server of the build), its model
//                     loaded and read, one report enabled and the report panel open
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QPixmap>

#include "iec61850/pickmarks.h"
#include "iec61850/scl.h"
#include "ui/vmd_browser.h"

namespace t32::ui {

namespace {

TMMSvar* Node(TMMSobject& c, const std::string& ref) { return c.FindVariable(ref); }

// An SCL file carries no values; the picture gives its leaves plausible ones so that the value
// column shows how values look.
void SampleValues(TMMSvar& n, int& k) {
  if (n.Children.empty() && n.Type) {
    auto v = std::make_unique<TMMSDataContainer>();
    v->kind = n.Type;
    v->valid = true;
    switch (n.Type) {
      case kMmsBoolean: v->integer = k % 2; v->raw[0] = static_cast<std::uint8_t>(k % 2); break;
      case kMmsInteger: case kMmsUnsigned: v->integer = k; break;
      case kMmsFloat: v->floatValue = 230.5 + k; break;
      case kMmsBitString:
        v->bitCount = static_cast<std::int16_t>(n.Size > 0 && n.Size <= 64 ? n.Size : 2);
        v->octets = std::string(static_cast<std::size_t>((v->bitCount + 7) / 8), '\0');
        v->octets[0] = char(0x40);
        break;
      case kMmsVisibleString: v->octets = "IED1 " + std::to_string(k); break;
      default: v.reset(); break;
    }
    if (v) {
      n.Value = std::move(v);
      n.ValueReceived = true;
    }
    ++k;
  }
  for (auto& c : n.Children) SampleValues(*c, k);
}

bool Pump(TMMSobject& c, const std::function<bool()>& done, int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) {
    c.Tick(TClock::now());
    QApplication::processEvents(QEventLoop::AllEvents, 5);
    if (done()) return true;
  }
  return false;
}

}  // namespace

bool RunVmdScreenshot(const QString& step, const QString& png) {
  const QString arg = step.section(':', 1);
  SetModalHook([](QDialog&) { return 0; });
  TMMSobject client;
  TVMDbrowserForm form;
  form.resize(1100, 620);
  bool ok = true;
  if (step.startsWith("vmd-reports")) {
    client.Main.Ip[0] = 127;
    client.Main.Ip[3] = 1;
    client.Main.Port = arg.toInt();
    client.ApplyAddress();
    form.OpenBrowser(&client, false);
    ok = Pump(client, [&] { return client.MMSState() == TMMSobject::kMmsAssociated; }, 5000) && client.LoadModel() &&
         Pump(client, [&] { return client.ModelLoaded(); }, 10000);
    if (ok) {
      if (TMMSReportParam* r = client.Reports().Find("BR01")) {
        r->IntgPd = 60000;
        client.EnableReports({r}, true);
      }
      Pump(client, [&] { return client.ReportStep() == 11; }, 5000);
      std::vector<TMMSvar*> vars;
      for (const char* ref : {"TESTLD/GGIO1$ST$All", "RPTLD/GGIO1$ST", "RPTLD/LLN0$ST$Mod$stVal"})
        if (TMMSvar* v = Node(client, ref)) vars.push_back(v);
      client.ReadVariables(vars);
      Pump(client, [&] { return client.Reports().Find("BR01") && client.Reports().Find("BR01")->SqNum >= 1; }, 4000);
      form.RebuildTree();
      form.Tree->expandToDepth(4);
      form.UpdateStatus();
      form.ReportPanelButton->click();
      form.UpdateStatus();
      form.UpdateStatus();
    }
  } else {
    ok = LoadSCL(arg.toStdString(), client);
    int k = 0;
    if (ok && step.startsWith("vmd-view")) SampleValues(client.Root(), k);
    if (ok && step.startsWith("vmd-select")) {
      for (const char* ref : {"IED1LD0/XCBR1$ST$Pos", "IED1LD0/XCBR1$CO$Pos", "IED1LD0/MMXU1"})
        if (TMMSvar* v = Node(client, ref)) TogglePickMark(*v, client.Dictionary());
    }
    form.OpenBrowser(&client, step.startsWith("vmd-select"));
    form.Tree->expandAll();
    form.StatusLabel->setText("Конфигурация загружена");
  }
  QApplication::processEvents();
  ok = ok && form.grab().save(png);
  form.Detach();
  SetModalHook(nullptr);
  return ok;
}

}  // namespace t32::ui
