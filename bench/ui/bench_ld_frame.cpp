// The logic port's page on a diagram of 4,000 tasks (12 contacts and two shunts of three
// branches each, 12,000 rows), its canvas 1180 x 700 pixels. Measured: painting the whole view,
// a pointer move to a new cell in contact mode (event and repaint), a jump to the last task,
// and the memory the page takes beyond the model. Targets: 8 ms, 1 ms, 16 ms, 50 MB. Each
// figure carries its anchor, a plain fill of the same view measured in the same run.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QMouseEvent>
#include <QInputDevice>
#include <QPointingDevice>
#include <QPainter>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <memory>

#include "model/boards.h"
#include "model/document.h"
#include "model/factory.h"
#include "model/storage.h"
#include "ports/ld_editor.h"
#include "ports/port_ld.h"
#include "ports/port_menu.h"
#include "ports/register.h"
#include "ui/form1.h"
#include "ui/frame1.h"
#include "ui/frame_ld.h"

namespace {

using namespace t32;

constexpr int kTasks = 4000, kW = 1180, kH = 700;

QApplication& EnsureApp() {
  static int argc = 1;
  static char name[] = "bench_ui";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (auto* a = qobject_cast<QApplication*>(QCoreApplication::instance())) return *a;
  // Never freed: freed among the exit handlers it would outlive Qt's own globals.
  static auto* app = new QApplication(argc, argv);
  return *app;
}

// A pointing device of the benchmark's own, never freed: the application's default one would be
// freed at exit after Qt's device list is gone.
const QPointingDevice* Mouse() {
  static auto* dev = new QPointingDevice("bench mouse", 1, QInputDevice::DeviceType::Mouse, QPointingDevice::PointerType::Generic,
                                         QInputDevice::Capability::Position, 1, 3);
  return dev;
}

double RssMB() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return static_cast<double>(resident) * 4096.0 / 1048576.0;
}

template <class Fn>
double BestMs(Fn fn, int runs = 20) {
  double best = 1e9;
  for (int i = 0; i < runs; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    fn();
    best = std::min(best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  return best;
}

struct TBigPage {
  std::unique_ptr<ui::TForm1> form;
  ui::TPortLDFrame* pf = nullptr;
  double modelMB = 0, pageMB = 0, anchorMs = 0;

  TBigPage() {
    EnsureApp();
    ui::TForm1Options opt;
    opt.settingsPath = "/tmp/bench_ld_Tavrik32.ini";
    opt.helpViewer = false;
    opt.factory = &PortsFactory();  // the model's classes and every port
    form = std::make_unique<ui::TForm1>(opt);
    form->resize(1900, 1200);
    form->show();
    QApplication::processEvents();
    TDocument& doc = form->Doc();
    for (int b = 0; b < 10; ++b) {
      TNode* n = doc.Tree().Add(doc.Tree().Root(), doc.Factory().Make(4, TItemPlace::Board));
      static_cast<TBlock*>(n->Item())->SetAddress(b);
    }
    doc.AfterEdit();
    TNode* node = AddPortFromMenu(doc, 131);
    if (!node) return;
    auto* port = static_cast<TPortLD*>(node->Item());
    TStorage& st = doc.Storage();
    int k = 0;
    auto contact = [&](TLine* l) {
      auto c = std::make_unique<TLD>();
      c->parent = l;
      c->signal = st.AcquireByIndex(kSigTS, k++ % 320);
      l->elements.push_back(std::move(c));
    };
    auto shunt = [&](TLine* l) {
      auto s = std::make_unique<TStack>();
      s->parent = l;
      TStack* sp = s.get();
      l->elements.push_back(std::move(s));
      for (int b = 0; b < 3; ++b) {
        TLine* br = sp->AddBranch();
        contact(br);
        contact(br);
      }
    };
    for (int t = 0; t < kTasks; ++t) {
      TLine* l = port->AppendTask()->line.get();
      for (int i = 0; i < 6; ++i) contact(l);
      shunt(l);
      for (int i = 0; i < 6; ++i) contact(l);
      shunt(l);
    }
    port->UpdateStatusTable();
    port->Layout();
    doc.AfterEdit();
    form->Frame1()->AfterRebuild();
    QApplication::processEvents();
    modelMB = RssMB();
    form->Frame1()->SelectNode(node);
    pf = dynamic_cast<ui::TPortLDFrame*>(form->Frame1()->CurrentFrame());
    if (!pf) return;
    pf->Image1->setFixedSize(kW, kH);
    QApplication::processEvents();
    pf->Image1->repaint();
    QApplication::processEvents();
    pageMB = RssMB();
    // The anchor: the same view filled white and framed, with no diagram.
    QImage img(kW, kH, QImage::Format_RGB32);
    anchorMs = BestMs([&] {
      QPainter g(&img);
      g.fillRect(img.rect(), Qt::white);
      g.drawRect(img.rect().adjusted(0, 0, -1, -1));
    });
  }
};

std::unique_ptr<TBigPage>& PagePtr() {
  static std::unique_ptr<TBigPage> p;
  return p;
}

TBigPage& Page() {
  auto& p = PagePtr();
  if (!p) {
    p = std::make_unique<TBigPage>();
    QPointingDevice::primaryPointingDevice();  // Qt's device list now outlives the handler below
    // The window goes before the application object does at exit, and so do the pointing
    // devices the mouse events made: freed with a static application object they would outlive
    // Qt's list of devices.
    std::atexit([] {
      PagePtr().reset();
      for (const QInputDevice* d : QInputDevice::devices())
        if (d->type() == QInputDevice::DeviceType::Mouse && d->parent() == QCoreApplication::instance()) delete d;
    });
  }
  return *p;
}

void Anchor(benchmark::State& s, double targetMs) {
  s.counters["anchor_ms"] = Page().anchorMs;
  s.counters["target_ms"] = targetMs;
}

void BM_LDPaintFullView(benchmark::State& s) {
  TBigPage& p = Page();
  if (!p.pf) return s.SkipWithError("no logic page");
  p.pf->ScrollBarY->setValue(p.pf->ScrollBarY->maximum() / 2);
  QApplication::processEvents();
  for (auto _ : s) p.pf->Image1->repaint();
  Anchor(s, 8);
}
BENCHMARK(BM_LDPaintFullView)->Unit(benchmark::kMillisecond);

void BM_LDHoverToNewCell(benchmark::State& s) {
  TBigPage& p = Page();
  if (!p.pf) return s.SkipWithError("no logic page");
  p.pf->ScrollBarY->setValue(p.pf->ScrollBarY->maximum() / 2);
  p.pf->AddInButton->setChecked(true);  // contact mode: the pointed-at cell is framed
  QApplication::processEvents();
  int i = 0;
  for (auto _ : s) {
    const QPointF at(64 * (i % 12) + 32, 64 * (3 + i % 2) + 32);
    ++i;
    QMouseEvent move(QEvent::MouseMove, at, p.pf->Image1->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier,
                     Mouse());
    QApplication::sendEvent(p.pf->Image1, &move);
    QApplication::processEvents();  // the repaint of the rows that changed
  }
  p.pf->AddInButton->setChecked(false);
  Anchor(s, 1);
}
BENCHMARK(BM_LDHoverToNewCell)->Unit(benchmark::kMicrosecond);

void BM_LDJumpToLastTask(benchmark::State& s) {
  TBigPage& p = Page();
  if (!p.pf) return s.SkipWithError("no logic page");
  for (auto _ : s) {
    s.PauseTiming();
    p.pf->ScrollBarY->setValue(0);
    QApplication::processEvents();
    s.ResumeTiming();
    p.pf->ScrollBarY->setValue(p.pf->ScrollBarY->maximum());
    QApplication::processEvents();
  }
  Anchor(s, 16);
}
BENCHMARK(BM_LDJumpToLastTask)->Unit(benchmark::kMillisecond);

void BM_LDPageMemory(benchmark::State& s) {
  TBigPage& p = Page();
  if (!p.pf) return s.SkipWithError("no logic page");
  for (auto _ : s) benchmark::DoNotOptimize(p.pageMB);
  s.counters["model_MB"] = p.modelMB;
  s.counters["page_MB"] = p.pageMB - p.modelMB;
  s.counters["target_MB"] = 50;
}
BENCHMARK(BM_LDPageMemory)->Iterations(1);

}  // namespace
