// The desktop program with a large configuration: 15 AI16 boards (7,680 ТИ source rows) and a
// port with seven ТИ output tables holding all of them (53,760 rows): about 61,000 signals.
// Measured: showing the rebuilt tree (what the window does after a file was read) and selecting
// the largest table (frame, list model, storage panel). Target: under 300 ms together.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <memory>

#include "model/boards.h"
#include "model/document.h"
#include "model/factory.h"
#include "model/params.h"
#include "model/storage.h"
#include "ui/form1.h"
#include "ui/frame1.h"

namespace {

class TBenchPort : public t32::TPort {
 public:
  TBenchPort() { name = "Тест"; }
  const char* ClassName() const override { return "TBenchPort"; }
  int SectionCode() const override { return 101; }
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

}  // namespace

BENCHMARK_MAIN();
