// The discrete logic port at scale: 10 DI32 boards and N tasks of 12 contacts and 2 shunts of
// 3 branches of 2 contacts each (N = 2,000 and 4,000). Full layout, the element at a cell,
// the drawing list of a 30 x 15-cell view, and the port written and read.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include "model/boards.h"
#include "model/document.h"
#include "model/factory.h"
#include "model/messages.h"
#include "model/storage.h"
#include "ports/ld_editor.h"
#include "ports/ld_svg.h"
#include "ports/port_ld.h"
#include "ports/port_menu.h"
#include "ports/register.h"

using namespace t32;

namespace {

struct TBigLD {
  TRecordedMessages msgs;
  TDocument doc{&msgs, &PortsFactory()};
  TPortLD* port = nullptr;

  explicit TBigLD(int tasks) {
    for (int b = 0; b < 10; ++b) {
      TNode* n = doc.Tree().Add(doc.Tree().Root(), DefaultFactory().Make(4, TItemPlace::Board));
      static_cast<TBlock*>(n->Item())->SetAddress(b);
    }
    doc.AfterEdit();
    port = static_cast<TPortLD*>(AddPortFromMenu(doc, 131)->Item());
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
    for (int t = 0; t < tasks; ++t) {
      TTaskLD* task = port->AppendTask();
      TLine* l = task->line.get();
      for (int i = 0; i < 6; ++i) contact(l);
      shunt(l);
      for (int i = 0; i < 6; ++i) contact(l);
      shunt(l);
    }
    port->UpdateStatusTable();
    port->Layout();
  }
};

TBigLD& Big(int tasks) {
  static std::unique_ptr<TBigLD> b2, b4;
  auto& b = tasks == 2000 ? b2 : b4;
  if (!b) b = std::make_unique<TBigLD>(tasks);
  return *b;
}

void BM_Layout(benchmark::State& s) {
  TBigLD& b = Big(static_cast<int>(s.range(0)));
  for (auto _ : s) b.port->Layout();
}

void BM_ElementAt(benchmark::State& s) {
  TBigLD& b = Big(static_cast<int>(s.range(0)));
  TLDEditor ed(*b.port);
  std::mt19937 rng(1);
  std::vector<std::pair<int, int>> cells(4096);
  for (auto& c : cells) c = {static_cast<int>(rng() % 17), static_cast<int>(rng() % static_cast<unsigned>(b.port->rows))};
  std::size_t i = 0;
  for (auto _ : s) {
    auto& c = cells[i++ % cells.size()];
    benchmark::DoNotOptimize(ed.ElementAt(c.first, c.second));
  }
}

void BM_DrawView(benchmark::State& s) {
  TBigLD& b = Big(static_cast<int>(s.range(0)));
  int row0 = b.port->rows / 2;
  for (auto _ : s) benchmark::DoNotOptimize(DrawLD(*b.port, nullptr, 0, row0, 30, 15));
}

void BM_WriteRead(benchmark::State& s) {
  TBigLD& b = Big(static_cast<int>(s.range(0)));
  for (auto _ : s) {
    b.doc.WriteRecords();
    TRecordedMessages m;
    TDocument copy(&m, &PortsFactory());
    copy.Config().SetImage(b.doc.Config().Image());
    copy.ReadRecords(false);
    benchmark::DoNotOptimize(copy.ProcNode()->ChildCount());
  }
}

}  // namespace

BENCHMARK(BM_Layout)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ElementAt)->Arg(2000)->Arg(4000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawView)->Arg(2000)->Arg(4000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WriteRead)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
