// The desktop program with a large configuration: 15 AI16 boards (7,680 ТИ source rows) and a
// port with seven ТИ output tables holding all of them (53,760 rows): about 61,000 signals.
// Measured: showing the rebuilt tree (what the window does after a file was read) and selecting
// the largest table (frame, list model, storage panel). Target: under 300 ms together.
// Undo: the snapshot the window takes after an edit (target under 60 ms) and undoing one step
// (target under 100 ms).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <memory>

#include "model/boards.h"
#include "model/document.h"
#include "model/fields.h"
#include "model/factory.h"
#include "model/params.h"
#include "model/storage.h"
#include "ui/form1.h"
#include "ui/frame1.h"
#include "project/history.h"

namespace {

// A port with ТИ output tables that reads them back from an image, as real ports do.
class TBenchPort : public t32::TPort {
 public:
  TBenchPort() { name = "Тест"; }
  const char* ClassName() const override { return "TBenchPort"; }
  int SectionCode() const override { return 101; }
  void LoadFromImage(t32::TConfig& c) override {
    if (!EnterSection(c, SectionCode())) return;
    t32::TImageReader r(c);
    Fields(r);
    UpdateNode();
    t32::TChildReader rd(c);
    while (rd.Peek() == t32::SignalTypeInfo(t32::kSigTI).sectionCode) {
      t32::TNode* t = Doc()->Tree().Add(node, t32::MakeParams(t32::kSigTI, t32::kRoleOutput));
      auto* table = dynamic_cast<t32::TParams*>(t->Item());
      table->owner = this;
      rd.Load(table);
    }
  }
};

QApplication& App() {
  static int argc = 1;
  static char name[] = "bench_ui";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication app(argc, argv);
  return app;
}

// Fills the document the way reading a file leaves it.
t32::TNode* Populate(t32::TDocument& doc) {
  using namespace t32;
  doc.Tree().BeginReset();
  doc.Storage().Enable(false);
  for (int b = 0; b < 15; ++b) {
    TNode* n = doc.Tree().Add(doc.ControllerNode(), doc.Factory().Make(5, TItemPlace::Board));
    for (int i = 0; i < n->ChildCount(); ++i)
      if (auto* ai8 = dynamic_cast<TAI8*>(n->Child(i)->Item())) {
        ai8->connection = 1;
        ai8->multiplexers = 8;
        ai8->RebuildTable();
      }
    dynamic_cast<TBoard*>(n->Item())->SetAddress(b);
  }
  doc.Storage().Enable(true);
  doc.Storage().Rebuild();
  TNode* port = doc.Tree().Add(doc.ProcNode(), std::make_unique<TBenchPort>());
  TNode* largest = nullptr;
  for (int k = 0; k < 7; ++k) {
    TNode* t = doc.Tree().Add(port, MakeParams(kSigTI, kRoleOutput));
    auto* table = dynamic_cast<TParams*>(t->Item());
    table->owner = port->Item();
    table->AddFromList(doc.Storage().List(kSigTI), true);
    largest = t;
  }
  doc.Tree().EndReset();
  doc.Storage().Rebuild();
  return largest;
}

void BM_ShowRebuiltTreeAndSelectLargestTable(benchmark::State& state) {
  App();
  t32::TItemFactory factory;
  t32::RegisterModelItems(factory);
  factory.Register(101, t32::TItemPlace::Port, [] { return std::make_unique<TBenchPort>(); }, 101);
  t32::ui::TForm1Options opt;
  opt.settingsPath = "/tmp/bench_ui_Tavrik32.ini";
  opt.helpViewer = false;
  opt.factory = &factory;
  t32::ui::TForm1 form(opt);
  form.show();
  long long rows = 0;
  for (auto _ : state) {
    state.PauseTiming();
    form.Frame1()->DropCurrent();
    form.Doc().NewConfiguration();
    t32::TNode* largest = Populate(form.Doc());
    rows = 0;
    form.Doc().Tree().ForEach([&](t32::TNode* n) {
      if (auto* t = dynamic_cast<t32::TParams*>(n->Item())) rows += t->Count();
    });
    state.ResumeTiming();
    form.Frame1()->AfterRebuild();
    form.Frame1()->SelectNode(largest);
    QApplication::processEvents();
  }
  state.counters["signals"] = static_cast<double>(rows);
}
BENCHMARK(BM_ShowRebuiltTreeAndSelectLargestTable)->Unit(benchmark::kMillisecond)->Iterations(5);

// One edit of the large configuration: a row renamed in the largest source table.
void RenameOne(t32::TDocument& doc, int n) {
  t32::TParams* src = nullptr;
  doc.Tree().ForEach([&](t32::TNode* node) {
    if (auto* t = dynamic_cast<t32::TParams*>(node->Item()); t && t->IsSource() && (!src || t->Count() > src->Count()))
      src = t;
  });
  if (src) src->At(n % src->Count())->SetName("Сигнал " + std::to_string(n));
}

long long Signals(t32::TDocument& doc) {
  long long rows = 0;
  doc.Tree().ForEach([&](t32::TNode* n) {
    if (auto* t = dynamic_cast<t32::TParams*>(n->Item())) rows += t->Count();
  });
  return rows;
}

void BM_UndoSnapshotAfterAnEdit(benchmark::State& state) {
  t32::TItemFactory factory;
  t32::RegisterModelItems(factory);
  factory.Register(101, t32::TItemPlace::Port, [] { return std::make_unique<TBenchPort>(); }, 101);
  t32::TDocument doc(nullptr, &factory);
  Populate(doc);
  t32::THistory history;
  history.Reset(doc, {});
  int n = 0;
  for (auto _ : state) {
    state.PauseTiming();
    RenameOne(doc, ++n);
    state.ResumeTiming();
    benchmark::DoNotOptimize(history.Commit(doc, {}));
  }
  state.counters["signals"] = static_cast<double>(Signals(doc));
  state.counters["states"] = static_cast<double>(history.Count());
  state.counters["MB"] = static_cast<double>(history.Bytes()) / 1048576.0;
}
BENCHMARK(BM_UndoSnapshotAfterAnEdit)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_UndoOneStep(benchmark::State& state) {
  t32::TItemFactory factory;
  t32::RegisterModelItems(factory);
  factory.Register(101, t32::TItemPlace::Port, [] { return std::make_unique<TBenchPort>(); }, 101);
  t32::TDocument doc(nullptr, &factory);
  Populate(doc);
  t32::THistory history;
  history.Reset(doc, {});
  for (auto _ : state) {
    state.PauseTiming();
    RenameOne(doc, 1);
    history.Commit(doc, {});
    state.ResumeTiming();
    t32::TViewState v;
    benchmark::DoNotOptimize(history.Undo(doc, &v));
  }
  state.counters["signals"] = static_cast<double>(Signals(doc));
}
BENCHMARK(BM_UndoOneStep)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

BENCHMARK_MAIN();
