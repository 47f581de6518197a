#include "ui/screenshot_ports.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>

#include "model/cp1251.h"
#include "model/document.h"
#include "model/params.h"
#include "model/storage.h"
#include "iec61850/pickmarks.h"
#include "iec61850/scl.h"
#include "ports/port_61850.h"
#include "ports/iec103.h"
#include "ports/port_auto.h"
#include "ports/port_twopos.h"
#include "ports/port_unio.h"
#include "ui/dialogs.h"
#include "ui/form1.h"
#include "ui/frame1.h"
#include "ui/frame_61850.h"
#include "ui/frame_ld.h"
#include "ui/frame_other_ports.h"

namespace t32::ui {

void RunPortStep(TFrame1& f, const QStringList& kv) {
  TDocument& doc = f.Doc();
  if (kv[0] == "add-child" && kv.size() > 1) {
    TNode* at = f.CurrentNode();
    f.AddChildrenClick(kv[1].toInt());
    if (at) f.SelectNode(at);
  } else if (kv[0] == "module-mode" && kv.size() > 1) {
    doc.Tree().ForEach([&](TNode* n) {
      if (auto* m = dynamic_cast<TRelayModule*>(n->Item())) m->SetMode(kv[1].toInt());
    });
  } else if (kv[0] == "iec61850-sample") {
    // The last device of the current port: 10.0.0.7 with a measurement and a breaker's control
    // picked from the sample ICD; its page shows the report with its ТИ signals.
    auto* port = dynamic_cast<TPort61850*>(f.CurrentItem());
    auto devs = port ? port->Devices() : std::vector<TPolledDevice*>{};
    auto* d = devs.empty() ? nullptr : dynamic_cast<TRTU61850*>(devs.back());
    TMMSobject c;
    if (!d || !LoadSCL(std::string(T32_SOURCE_DIR) + "/tests/fixtures/scl/sample.icd", c)) return;
    for (const char* ref : {"IED1LD0/MMXU1$MX$PhV", "IED1LD0/XCBR1$CO$Pos"})
      if (TMMSvar* v = c.FindVariable(ref)) SetPickMark(*v, 1, c.Dictionary());
    d->place = "Ввод 1";
    d->SetIp(0x0A000007);
    d->PickData(c, SelectedNodes(c));
    f.SelectNode(d->node);
    if (auto* df = dynamic_cast<TRTU61850Frame*>(f.CurrentFrame()); df && df->ReportList->topLevelItemCount() > 0)
      df->ReportList->topLevelItem(df->ReportList->topLevelItemCount() - 1)->setSelected(true);
  } else if (kv[0] == "iec103-sample") {
    // Two devices on the selected IEC 103 port, the second with a few entries in each table.
    if (auto* p = dynamic_cast<TPort103*>(f.CurrentItem())) {
      auto devs = p->AddDevices({{3, ""}, {5, "Реле"}});
      if (devs.size() == 2) {
        TRTU103* d = devs[1];
        d->place = "Ячейка 4";
        d->tables[kTab103TS] = {{160, 16, 0}, {160, 17, 0}, {160, 18, 0}};
        d->tables[kTab103TI] = {{160, 148, 1}, {160, 148, 2}};
        d->tables[kTab103TU] = {{20, 1, 0}};
        d->UpdateStatusTable();
      }
      f.SelectNode(p->node);
    }
  } else if (kv[0] == "ts2-sample") {
    if (auto* p = dynamic_cast<TPortTwoPos*>(f.CurrentItem())) {
      p->Apply(3);
      TParams& ts = doc.Storage().List(kSigTS);
      p->SetSignal(0, false, ts.Ref(0));
      p->SetSignal(0, true, ts.Ref(1));
      p->Record(0)->b = 1;
      f.SelectNode(p->node);
      if (auto* tf = dynamic_cast<TTwoPosFrame*>(f.CurrentFrame())) tf->SignalList->setCurrentRow(0);
    }
  } else if (kv[0] == "ld-sample") {
    // Three tasks: contacts in series, a shunt inside a branch, inverted contact and coil, and
    // a green range left selected.
    auto* pf = dynamic_cast<TPortLDFrame*>(f.CurrentFrame());
    if (!pf || !pf->Editor()) return;
    TLDEditor& ed = *pf->Editor();
    for (int i = 0; i < 3; ++i) ed.AddTask();
    auto contacts = [&](int task, std::initializer_list<int> cols) {
      const int row = ed.port.tasks[static_cast<std::size_t>(task)]->row;
      ed.SetContactMode(true);
      for (int c : cols) ed.Click(c, row, TLDEditor::kLeft);
      ed.SetContactMode(false);
      int sig = task * 3;
      for (int c = 0; c < ed.port.columns; ++c)
        if (TLD* e = ed.ElementAt(c, row); e && e->col == c && e->Kind() == TLDKind::Contact) {
          ed.Click(c, row, TLDEditor::kLeft);
          ed.ChooseSignal(sig++);
        }
    };
    contacts(0, {0, 1});
    contacts(1, {0, 1, 2});
    contacts(2, {0});
    const int r1 = ed.port.tasks[1]->row;
    ed.Click(1, r1, TLDEditor::kLeft);
    ed.Click(2, r1, TLDEditor::kLeft, {true, false, false, false});
    ed.Shunt();
    const int r2 = ed.port.tasks[2]->row;
    ed.Click(0, r2, TLDEditor::kLeft);
    ed.Invert();
    ed.Click(ed.port.tasks[2]->coil->col, r2, TLDEditor::kLeft);
    ed.Invert();
    const int r0 = ed.port.tasks[0]->row;
    ed.Click(0, r0, TLDEditor::kLeft);
    ed.Click(1, r0, TLDEditor::kLeft, {true, false, false, false});
    doc.AfterEdit();
    pf->Refresh();
  } else if (kv[0] == "ld-zoom" && kv.size() > 1) {
    if (auto* pf = dynamic_cast<TPortLDFrame*>(f.CurrentFrame())) pf->SetZoom(kv[1].toInt() / 100.0, QPoint(0, 0));
  } else if (kv[0] == "auto-names") {
    if (auto* p = dynamic_cast<TPortAuto*>(f.CurrentItem())) {
      std::string err;
      p->ImportText(Utf8ToCp1251("[TS_out]\r\n1=Авария АВР\r\n2=АВР выполнен\r\n[TU_out]\r\n1=Пуск АВР\r\n"), &err);
      f.SelectNode(p->node);
    }
  }
}

bool LDRenameScreenshot(TForm1& form, const QString& png) {
  auto* pf = dynamic_cast<TPortLDFrame*>(form.Frame1()->CurrentFrame());
  if (!pf || !pf->Editor() || pf->Editor()->port.tasks.size() < 2) return false;
  const QString taken = QString::fromStdString(pf->Editor()->port.TaskSuffix(0));
  bool saved = false;
  SetModalHook([&](QDialog& d) {
    auto* dlg = dynamic_cast<TInputTextDialog*>(&d);
    if (!dlg) return int(QDialog::Rejected);
    if (dlg->promptLabel->text() != "Имя задачи уже используется") {
      dlg->edit->setText(taken);  // the first task's name: asked again
      return int(QDialog::Accepted);
    }
    dlg->edit->selectAll();
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    // The window with the dialog over it, as the screen shows them; the dialog alone when
    // the screen cannot be read.
    QPixmap pm;
    if (QScreen* s = QGuiApplication::primaryScreen())
      pm = s->grabWindow(0, form.x(), form.y(), form.frameGeometry().width(), form.frameGeometry().height());
    if (pm.isNull() || pm.toImage().allGray()) pm = dlg->grab();
    saved = pm.save(png);
    return int(QDialog::Rejected);
  });
  pf->Editor()->Rename(1);
  SetModalHook(nullptr);
  return saved;
}

}  // namespace t32::ui
