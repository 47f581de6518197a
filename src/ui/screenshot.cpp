#include "ui/screenshot.h"

#include <QApplication>
#include <QComboBox>
#include <QPixmap>

#include "model/document.h"
#include "model/params.h"
#include "model/port_ip.h"
#include "model/storage.h"
#include "ui/storagepanel.h"
#include "ui/form1.h"
#include "ui/frame1.h"
#include "ui/frames_boards.h"
#include "ui/dialogs.h"
#include "ui/frames_tables.h"
#include "ui/frame_pc.h"
#include "ui/frame_modbus.h"
#include <QTabWidget>
#include "ui/screenshot_ports.h"
#include "ui/station_form.h"
#include "ui/vmd_browser.h"

namespace t32::ui {

namespace {
TNode* FindNode(TDocument& doc, const std::function<bool(TNode*)>& pred) {
  TNode* found = nullptr;
  doc.Tree().ForEach([&](TNode* n) {
    if (!found && pred(n)) found = n;
  });
  return found;
}
}  // namespace

void RunScript(TForm1& form, const QString& script) {
  TFrame1* f = form.Frame1();
  TDocument& doc = form.Doc();
  for (const QString& step : script.split(';', Qt::SkipEmptyParts)) {
    QStringList kv = step.split(':');
    if (kv[0] == "add-board" && kv.size() > 1) {
      f->AddFromMenu(kv[1].toInt(), true);
    } else if (kv[0] == "add-port" && kv.size() > 1) {
      f->AddFromMenu(kv[1].toInt(), false);
    } else if (kv[0] == "add-pc") {  // a workstation under the IP port
      doc.PortIP()->AddChildren(0);
      doc.AfterEdit();
    } else if (kv[0] == "cpu927") {
      form.SetCpu(TCpu::Cpu927);
    } else if (kv[0] == "ai8-on") {  // first analog port: single-ended, two multiplexers
      if (TNode* n = FindNode(doc, [](TNode* x) { return std::string(x->Item()->ClassName()) == "TAI8"; })) {
        f->SelectNode(n);
        if (auto* af = dynamic_cast<TAI8Frame*>(f->CurrentFrame())) {
          af->TypeTI1->setCurrentIndex(1);
          emit af->TypeTI1->activated(1);
          af->CountMUX1->SetValue(2);
          emit af->CountMUX1->ValueEdited(2);
        }
      }
    } else if (kv[0] == "fill-output" && kv.size() > 1) {  // first output table of a type takes every signal
      int type = kv[1].toInt();
      if (TNode* n = FindNode(doc, [type](TNode* x) {
            auto* t = dynamic_cast<TParams*>(x->Item());
            return t && t->IsOutput() && t->owner && t->Type() == type;
          })) {
        dynamic_cast<TParams*>(n->Item())->AddFromList(doc.Storage().List(type), true);
        doc.Storage().Rebuild();
      }
    } else if (kv[0] == "select-rows" && kv.size() > 2) {  // select storage rows of a type
      f->StoragePanel()->Tabs()->setCurrentIndex(kv[1].toInt() - 1);
      TParams& list = doc.Storage().List(kv[1].toInt());
      for (const QString& r : kv[2].split(','))
        if (TParam* p = list.At(r.toInt())) p->selected = true;
      doc.Storage().RefreshViews();
    } else if (kv[0] == "rename-ts" && kv.size() > 2) {
      if (TNode* n = FindNode(doc, [](TNode* x) {
            auto* t = dynamic_cast<TParams*>(x->Item());
            return t && t->Type() == kSigTS && t->IsSource();
          })) {
        f->SelectNode(n);
        dynamic_cast<TParams*>(n->Item())->RenameRow(kv[1].toInt(), S(kv[2]));
        f->RefreshCurrent();
      }
    } else {
      RunPortStep(*f, kv);
    }
  }
  form.Checkpoint();
}

bool RunScreenshot(TForm1& form, const QString& select, const QString& script, const QString& png) {
  TFrame1* f = form.Frame1();
  TDocument& doc = form.Doc();
  if (script.startsWith("iec104:")) return StationScreenshot(script.mid(7), png);  // the station editor
  for (const QString& step : script.split(';', Qt::SkipEmptyParts))
    if (step.startsWith("vmd-")) return RunVmdScreenshot(step, png);  // the VMD browser
    else if (step.startsWith("modbus-")) return RunModbusScreenshot(form, step, png);
  RunScript(form, script);
  if (!select.isEmpty()) {
    if (TNode* n = FindNode(doc, [&](TNode* x) { return QString::fromStdString(x->caption) == select; }))
      f->SelectNode(n);
  }
  if (script.contains("pc-addresses"))
    if (auto* pf = dynamic_cast<TPCFrame*>(f->CurrentFrame())) pf->Pages->setCurrentIndex(1);
  QApplication::processEvents();
  if (script.contains("ld-rename")) return LDRenameScreenshot(form, png);
  if (script.contains("open-ti")) {
    TNode* n = FindNode(doc, [](TNode* x) {
      auto* t = dynamic_cast<TParams*>(x->Item());
      return t && t->Type() == kSigTI && t->IsSource() && t->Count() > 0;
    });
    if (!n) return false;
    f->SelectNode(n);
    TEditorTI dlg(*f, *dynamic_cast<TParams*>(n->Item()), 0, &form);
    dlg.MaxEdit->setEditText("4095");
    dlg.HiEdit->setEditText("250");
    dlg.Calculate();
    dlg.adjustSize();
    dlg.show();
    QApplication::processEvents();
    return dlg.grab().save(png);
  }
  QPixmap pm = form.grab();
  return pm.save(png);
}

}  // namespace t32::ui
