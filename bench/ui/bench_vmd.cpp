// The VMD browser on a server model of 20,000 data attributes (334 logical nodes of 20 data
// objects with stVal, q, t): showing it, and rebuilding it after a filter box is clicked.
// Target: each under 100 ms. The tree is a view over the client's nodes, never a copy.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QPixmap>

#include "iec61850/modelstream.h"
#include "ui/vmd_browser.h"

namespace {

// bench_ui.cpp registers first and makes the application; alone, this makes its own.
QApplication& VmdApp() {
  if (auto* a = qobject_cast<QApplication*>(QCoreApplication::instance())) return *a;
  static int argc = 1;
  static char name[] = "bench_ui";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication app(argc, argv);
  return app;
}

void BuildModel(t32::TMMSobject& client, int attributes) {
  using namespace t32;
  TStrDictionary& d = client.Dictionary();
  auto root = std::make_unique<TMMSvar>(d.Add("VMD"), nullptr);
  int lns = (attributes + 59) / 60;
  for (int l = 0; l < lns; ++l) {
    std::string ld = "LD" + std::to_string(l / 10);
    TMMSvar* dom = root->FindChild(d.Add(ld));
    if (!dom) {
      dom = root->AddChild(d.Add(ld));
      dom->Domain = true;
      dom->Type = kMmsStructure;
    }
    TMMSvar* ln = dom->AddChild(d.Add("GGIO" + std::to_string(l % 10 + 1)));
    ln->Type = kMmsStructure;
    for (const char* fc : {"ST", "CO"}) {
      TMMSvar* f = ln->AddChild(d.Add(fc));
      f->Type = kMmsStructure;
      for (int o = 0; o < (fc[0] == 'S' ? 20 : 1); ++o) {
        TMMSvar* dobj = f->AddChild(d.Add("Ind" + std::to_string(o + 1)));
        dobj->Type = kMmsStructure;
        for (auto [n, t] : {std::pair{"stVal", kMmsBoolean}, {"q", kMmsBitString}, {"t", kMmsUtcTime}})
          dobj->AddChild(d.Add(n))->Type = t;
      }
    }
  }
  std::function<void(TMMSvar&)> fc = [&](TMMSvar& n) {
    AssignFC(n, d);
    for (auto& c : n.Children) fc(*c);
  };
  fc(*root);
  client.AdoptModel(std::move(root), {}, {}, {});
}

void BM_VmdShowAndFilter(benchmark::State& state) {
  VmdApp();
  t32::ui::SetModalHook([](QDialog&) { return 0; });
  t32::TMMSobject client;
  BuildModel(client, 20000);
  t32::ui::TVMDbrowserForm form;
  form.resize(1000, 700);
  const bool filter = state.range(0) != 0;
  bool shown = false;
  for (auto _ : state) {
    if (filter) {
      state.PauseTiming();
      if (!shown) form.OpenBrowser(&client, false), shown = true;
      form.Tree->expandToDepth(1);
      QApplication::processEvents();
      state.ResumeTiming();
      form.Filters[0]->click();  // ST off, then on at the next pass
      form.Tree->expandToDepth(1);
      form.Tree->viewport()->grab();
    } else {
      state.PauseTiming();
      form.Detach();
      state.ResumeTiming();
      form.OpenBrowser(&client, false);
      form.Tree->expandToDepth(1);  // every logical node in view
      form.grab();
    }
  }
  form.Detach();
  t32::ui::SetModalHook(nullptr);
  state.counters["nodes"] = static_cast<double>(client.Root().CountNodes());
}
BENCHMARK(BM_VmdShowAndFilter)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
