#include "ui/screenshot.h"

#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include "model/document.h"
#include "ui/form1.h"
#include "ui/frame1.h"

namespace t32::ui {

bool RunScreenshot(TForm1& form, const QString& select, const QString& script, const QString& png) {
  TFrame1* f = form.Frame1();
  for (const QString& step : script.split(';', Qt::SkipEmptyParts)) {
    QStringList kv = step.split(':');
    if (kv[0] == "add-board" && kv.size() > 1) f->AddFromMenu(kv[1].toInt(), true);
    else if (kv[0] == "add-port" && kv.size() > 1) f->AddFromMenu(kv[1].toInt(), false);
    else if (kv[0] == "cpu927") form.SetCpu(TCpu::Cpu927);
  }
  if (!select.isEmpty()) {
    form.Doc().Tree().ForEach([&](TNode* n) {
      if (QString::fromStdString(n->caption) == select) f->SelectNode(n);
    });
  }
  QApplication::processEvents();
  QPixmap pm = form.grab();
  return pm.save(png);
}

}  // namespace t32::ui
