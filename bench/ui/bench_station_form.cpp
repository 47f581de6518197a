// The IEC 104 station editor with large groups: selecting a group of 8,000 objects (list model
// reset and the visible rows painted) and ticking every one of 25,000 objects.
// Targets: under 100 ms each.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTreeWidget>

#include "iec104/station.h"
#include "ui/station_form.h"

namespace {

void EnsureApp() {
  if (QCoreApplication::instance()) return;
  static int argc = 1;
  static char name[] = "bench_ui";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication app(argc, argv);
}

t32::TGroup* Group(t32::TWS_104& st, const char* name, int objects) {
  auto g = std::make_unique<t32::TGroup>(3);
  g->name = name;
  g->record.kind = t32::kKindTI;
  for (int i = 0; i < objects; ++i) {
    auto o = t32::CreateObject(t32::kKindTI, "Tag" + std::to_string(i));
    o->address = i;
    g->AddObject(std::move(o));
  }
  return st.AddChild(std::move(g));
}

void BM_SelectGroupOf8000(benchmark::State& state) {
  EnsureApp();
  t32::TWS_104 st;
  t32::TGroup* big = Group(st, "большая", 8000);
  t32::TGroup* empty = Group(st, "пустая", 0);
  t32::ui::T104EditorContext ctx;
  t32::ui::Tc104Form form(ctx);
  form.SetStation(&st);
  form.show();
  QApplication::processEvents();
  for (auto _ : state) {
    form.SelectNode(big);
    form.list->viewport()->repaint();
    QApplication::processEvents();
    state.PauseTiming();
    form.SelectNode(empty);
    QApplication::processEvents();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_SelectGroupOf8000)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_CheckAll25000(benchmark::State& state) {
  EnsureApp();
  t32::TWS_104 st;
  for (int g = 0; g < 5; ++g) Group(st, ("г" + std::to_string(g)).c_str(), 5000);
  t32::ui::T104EditorContext ctx;
  t32::ui::Tc104Form form(ctx);
  form.SetStation(&st);
  form.SelectNode(st.Children()[0].get());
  form.show();
  QApplication::processEvents();
  for (auto _ : state) {
    form.actCheckAll->trigger();
    form.list->viewport()->repaint();
    QApplication::processEvents();
    state.PauseTiming();
    form.actUncheckAll->trigger();
    QApplication::processEvents();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_CheckAll25000)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
