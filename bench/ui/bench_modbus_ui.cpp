// The Modbus device page with a large device (8 ТС blocks of 255 bits, 8 ТИ blocks of 255
// words, names from the library): one show and store of the untouched device, as every
// selection change does (target under 20 ms); and the signal picker opening on a list of 8,000
// lines (target under 100 ms).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>
#include <cstdio>

#include "model/boards.h"
#include "model/cp1251.h"
#include "model/document.h"
#include "model/factory.h"
#include "model/params.h"
#include "ports/app_context.h"
#include "ports/modbus.h"
#include "ports/register.h"
#include "ui/form1.h"
#include "ui/frame1.h"
#include "ui/frame_modbus.h"
#include "ui/select_param.h"

namespace {

void EnsureApp() {
  if (QCoreApplication::instance()) return;
  static int argc = 1;
  static char name[] = "bench_ui";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication app(argc, argv);
}

std::string BigType() {
  std::string t = "[Устройства]\r\nБольшой=\r\n[Таблица ТС]\r\n";
  char buf[160];
  for (int n = 1; n <= 8; ++n) {
    std::snprintf(buf, sizeof buf, "%d_Функция=1\r\n%d_Адрес=$%04X\r\n%d_Количество=255\r\n", n, n, (n - 1) * 256, n);
    t += buf;
  }
  t += "[Таблица ТИ]\r\n";
  for (int n = 1; n <= 8; ++n) {
    std::snprintf(buf, sizeof buf, "%d_Тип=0\r\n%d_Функция=4\r\n%d_Адрес=$%04X\r\n%d_Количество=255\r\n", n, n, n,
                  (n - 1) * 256, n);
    t += buf;
  }
  for (const char* sec : {"[Список ТС]\r\n", "[Список ТИ]\r\n"}) {
    t += sec;
    for (int a = 0; a < 8 * 256; ++a) {
      std::snprintf(buf, sizeof buf, "$%04x=Сигнал %d\r\n", a, a);
      t += buf;
    }
  }
  return t;
}

struct TBigPage {
  QTemporaryDir dir;
  t32::TItemFactory factory;
  std::unique_ptr<t32::ui::TForm1> form;
  t32::TRTU* dev = nullptr;
  t32::ui::TRTUFrame* frame = nullptr;
  TBigPage() {
    EnsureApp();
    t32::RegisterModelItems(factory);
    t32::RegisterPorts(factory);
    t32::ui::TForm1Options opt;
    opt.settingsPath = dir.filePath("Tavrik32.ini");
    opt.programDir = dir.path();
    opt.helpViewer = false;
    opt.factory = &factory;
    form = std::make_unique<t32::ui::TForm1>(opt);
    form->show();
    t32::TDocument& doc = form->Doc();
    doc.appContext->library.Clear();
    doc.appContext->library.AddText("big.ini", t32::Utf8ToCp1251(BigType()));
    t32::ui::TFrame1& f = *form->Frame1();
    f.AddFromMenu(9, true);
    f.AddFromMenu(102, false);
    auto* port = dynamic_cast<t32::TPortMODBUS*>(f.CurrentItem());
    if (!port) return;
    std::vector<t32::TRTU*> devs = port->AddDevices({{1, "Большой"}, {2, "Большой"}});
    dev = devs[0];
    f.SelectNode(dev->node);
    QApplication::processEvents();
    frame = dynamic_cast<t32::ui::TRTUFrame*>(f.CurrentFrame());
  }
};

void BM_ShowAndStoreLargeDevice(benchmark::State& state) {
  TBigPage page;
  if (!page.frame) {
    state.SkipWithError("no device page");
    return;
  }
  for (auto _ : state) {
    page.frame->ShowItem(page.dev);
    page.frame->StoreItem();
  }
  state.counters["rows"] = page.dev->Table(t32::kSigTS)->Count() + page.dev->Table(t32::kSigTI)->Count();
}
BENCHMARK(BM_ShowAndStoreLargeDevice)->Unit(benchmark::kMillisecond);

// The same with the place changed each time: every name changes, so the device rebuilds its
// 4,080 rows and the storage follows.
void BM_StoreLargeDeviceRenamed(benchmark::State& state) {
  TBigPage page;
  if (!page.frame) {
    state.SkipWithError("no device page");
    return;
  }
  int i = 0;
  for (auto _ : state) {
    page.frame->ShowItem(page.dev);
    page.frame->PlaceEdit->setText(++i % 2 ? "Насосная" : "Котельная");
    page.frame->PlaceEdit->setModified(true);
    page.frame->StoreItem();
  }
}
BENCHMARK(BM_StoreLargeDeviceRenamed)->Unit(benchmark::kMillisecond);

void BM_SelectParamOpens8000(benchmark::State& state) {
  EnsureApp();
  std::vector<std::string> lines;
  for (int a = 0; a < 8000; ++a) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "$%04X=Параметр %d", a, a);
    lines.emplace_back(buf);
  }
  t32::TGrid grid{};
  grid[0] = {"0", "3", "0000", "192"};
  for (auto _ : state) {
    t32::ui::TSelectParam dlg("Список ТИ", t32::kSigTI, grid, lines, "1_Порт.1_Большой.");
    dlg.show();
    QApplication::processEvents();
  }
}
BENCHMARK(BM_SelectParamOpens8000)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
