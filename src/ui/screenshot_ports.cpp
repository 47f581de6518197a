#include "ui/screenshot_ports.h"

#include "model/cp1251.h"
#include "model/document.h"
#include "model/params.h"
#include "model/storage.h"
#include "ports/iec103.h"
#include "ports/port_auto.h"
#include "ports/port_twopos.h"
#include "ports/port_unio.h"
#include "ui/frame1.h"
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

}  // namespace t32::ui
