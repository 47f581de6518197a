// Pictures of the IEC 104 station editor and its dialogs on a sample station, for
// scripts/screenshots.
#include <QApplication>
#include <QTabWidget>
#include <QTreeWidget>

#include "iec104/station.h"
#include "ui/station_dialogs.h"
#include "ui/station_form.h"

namespace t32::ui {

namespace {

TGroup* AddGroup(TConfigItem& parent, const char* name, std::int32_t kind, std::int32_t base) {
  auto g = std::make_unique<TGroup>(parent.level + 1);
  g->name = name;
  g->record.kind = kind;
  g->record.baseAddress = base;
  g->record.commonAddress = 31;
  return parent.AddChild(std::move(g));
}

TPProcItem* AddObject(TGroup& g, const std::string& name, std::int32_t address, bool ticked) {
  auto o = CreateObject(g.record.kind, name);
  o->address = address;
  o->tick = ticked ? 1 : 0;
  return g.AddObject(std::move(o));
}

void Sample(TWS_104& st) {
  st.name = "Подстанция Северная";
  st.main.remoteIp = {192, 168, 1, 20};
  st.settings.commonAddress = 31;
  st.settings.giInterval = 60;
  st.settings.syncInterval = 10;
  st.settings.linkLossDelay = 30;
  st.extra.askTimeout = 20;
  TGroup* ts = AddGroup(st, "ТС", kKindTS, 4096);
  for (int i = 0; i < 4; ++i) AddObject(*ts, "Q" + std::to_string(i + 1) + "_вкл", i, i < 2);
  TGroup* ti = AddGroup(st, "ТИ", kKindTI, 0x4000);
  const char* names[] = {"Ua", "Ub", "Uc", "Ia", "Ib", "Ic", "P", "Q"};
  for (int i = 0; i < 8; ++i) {
    auto* o = static_cast<TTIitem*>(AddObject(*ti, names[i], i, i % 3 != 2));
    o->scale = i < 3 ? 0.001f : 0.01f;
  }
  TGroup* sub = AddGroup(st, "Подстанция", kKindTS, 0);
  TGroup* in = AddGroup(*sub, "Вводы", kKindTS, 1000);
  in->record.askCommand = 0;
  in->record.askSelector = 2;
  in->record.askPeriod = 600;
  AddObject(*in, "Q1", 5, true);
  TGroup* log = AddGroup(st, "журналы аварий", kKindLog, 0);
  auto* real = static_cast<TRZAlogitem*>(AddObject(*log, "I_a", 1, false));
  real->SetSize(4);
  real->SetDataType(1);
  real->SetScale(0.5f);
  real->SetOffset(2.0f);
  auto* flags = static_cast<TRZAlogitem*>(AddObject(*log, "flags", 2, false));
  flags->SetSize(2);
  flags->SetDataType(0);
  flags->SetMask(0x00F3);
}

bool Grab(QWidget& w, const QString& png) {
  w.adjustSize();
  w.show();
  QApplication::processEvents();
  bool ok = w.grab().save(png);
  w.hide();
  return ok;
}

}  // namespace

// `view`: editor, proc-general, proc-link, group-ask, item-ti, item-log, clone.
bool StationScreenshot(const QString& view, const QString& png) {
  TWS_104 st;
  Sample(st);
  T104EditorContext ctx;
  Tc104Form form(ctx);
  form.SetStation(&st);
  TGroup* ti = st.FindChild("ТИ");
  if (view == "editor") {
    form.SelectNode(ti);
    form.tree->expandAll();
    form.list->selectRow(1);
    form.resize(form.width(), 420);
    form.show();
    QApplication::processEvents();
    return form.grab().save(png);
  }
  if (view == "proc-general" || view == "proc-link") {
    TProcDlg& d = *form.ProcDlg();
    d.ShowStation(st);
    d.pages->setCurrentIndex(view == "proc-link" ? 1 : 0);
    return Grab(d, png);
  }
  if (view == "group-ask") {
    TGroupDlg& d = *form.GroupDlg();
    d.ShowGroup(*st.FindChild("Подстанция")->FindChild("Вводы"));
    d.pages->setCurrentIndex(1);
    return Grab(d, png);
  }
  if (view == "item-ti" || view == "item-log") {
    TItemParamDlg& d = *form.ItemDlg();
    const TPProcItem& o = view == "item-ti" ? *ti->Objects()[0] : *st.FindChild("журналы аварий")->Objects()[1];
    d.ShowItem(o);
    d.pages->setCurrentIndex(view == "item-ti" ? d.pages->indexOf(d.valuePage) : d.pages->indexOf(d.logPage));
    return Grab(d, png);
  }
  if (view == "clone") {
    TCloneDialog& d = *form.CloneDlg();
    d.ShowParams("Клонировать параметр", TWS_104::DefaultObjectClone(*ti->Objects()[0]));
    return Grab(d, png);
  }
  return false;
}

}  // namespace t32::ui
