// Screenshot scenes of the Modbus pages and pickers: a sample library type, an RTU port on a
// board channel with three devices, a TCP port with two, and the dialogs opened on them.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPixmap>
#include <QTemporaryDir>

#include "model/cp1251.h"
#include "model/document.h"
#include "model/params.h"
#include "ports/app_context.h"
#include "ports/modbus.h"
#include "ui/dialogs.h"
#include "ui/form1.h"
#include "ui/frame1.h"
#include "ui/frame_modbus.h"
#include "ui/select_param.h"
#include "ui/select_rtu.h"

namespace t32::ui {

namespace {
std::string SampleType() {
  std::string t =
      "[Устройства]\r\nПЦ-6806=\r\n"
      "[Таблица ТС]\r\n1_Функция=3\r\n1_Адрес=$0010\r\n1_Количество=32\r\n"
      "[Таблица ТИ]\r\n1_Тип=2\r\n1_Функция=3\r\n1_Адрес=$0100\r\n1_Количество=12\r\n"
      "2_Тип=0\r\n2_Функция=4\r\n2_Адрес=$0200\r\n2_Количество=4\r\n"
      "[Таблица ТУ]\r\n1_Функция=5\r\n1_Адрес=$0000\r\n1_Количество=4\r\n"
      "[Дата Время]\r\n1_Адрес=$0300\r\n1_Строка=ГГ ММ ДД ЧЧ мм сс\r\n"
      "[Журнал Системы]\r\nАдрес1=$0400\r\nАдрес2=$0401\r\nИнтервал=8\r\nЗаписей=100\r\nСтрока=КОД ДАТА\r\n"
      "[Список ТИ]\r\n";
  for (int a = 0x100; a < 0x100 + 60; ++a) {
    char k[16];
    std::snprintf(k, sizeof k, "$%04X", a);
    t += std::string(k) + "=Параметр " + std::to_string(a - 0x100 + 1) + "\r\n";
  }
  t += "[Список Событий]\r\n1=Включение\r\n2=Отключение\r\n3=Перегрузка\r\n4=Сброс\r\n5=Потеря питания\r\n";
  return t;
}

QString LibraryFolder() {
  static QTemporaryDir dir;
  QString folder = dir.path() + "/MODBUS";
  QDir().mkpath(folder);
  QFile f(folder + "/pc6806.ini");
  if (f.open(QIODevice::WriteOnly)) {
    std::string bytes = Utf8ToCp1251(SampleType());
    f.write(bytes.data(), static_cast<qint64>(bytes.size()));
  }
  return folder;
}

bool Grab(QWidget& w, const QString& png) {
  w.adjustSize();
  w.show();
  QApplication::processEvents();
  return w.grab().save(png);
}
}  // namespace

// Scenes: modbus-port, modbus-device:TAB, modbus-tcp-port, modbus-tcp-device, modbus-param,
// modbus-log, modbus-rtu, modbus-name.
bool RunModbusScreenshot(TForm1& form, const QString& scene, const QString& png) {
  TFrame1* f = form.Frame1();
  TDocument& doc = form.Doc();
  TAppContext* ctx = doc.appContext;
  if (!ctx) return false;
  ctx->library.Clear();
  ctx->libraryFolders = {S(LibraryFolder())};
  const QStringList kv = scene.split(':');
  const bool tcp = kv[0].startsWith("modbus-tcp");
  if (tcp) {
    form.SetCpu(TCpu::Cpu927);
    f->AddFromMenu(129, false);
  } else {
    f->AddFromMenu(9, true);
    f->AddFromMenu(102, false);
  }
  TItem* portItem = f->CurrentItem();
  std::vector<TRTU*> devs;
  if (auto* rtu = dynamic_cast<TPortMODBUS*>(portItem)) {
    devs = rtu->AddDevices({{1, "ПЦ-6806"}, {2, "ПЦ-6806"}, {5, ""}});
  } else if (auto* p = dynamic_cast<TPortRTUTCP*>(portItem)) {
    for (int i = 0; i < 2; ++i)
      if (TRTUTCP* d = p->AddDevice()) {
        d->name = "ПЦ-6806";
        d->ApplyDeviceType();
        devs.push_back(d);
      }
  } else {
    return false;
  }
  doc.AfterEdit();
  if (devs.empty()) return false;
  TRTU* dev = devs[0];
  dev->place = "Насосная";
  dev->UpdateStatusTable();
  if (kv[0] == "modbus-port" || kv[0] == "modbus-tcp-port") {
    f->SelectNode(portItem->node);
  } else {
    if (kv.size() > 1) ctx->lastEditorTab = kv[1].toInt();
    f->SelectNode(dev->node);
  }
  QApplication::processEvents();
  auto* df = dynamic_cast<TRTUFrame*>(f->CurrentFrame());
  if (kv[0] == "modbus-param" && df) {
    const TLibraryFile* lf = dev->LibraryFile();
    std::vector<std::string> lines;
    if (const auto* s = lf ? lf->ini.FindSection("Список ТИ") : nullptr)
      for (const auto& e : s->entries) lines.push_back(e.key + "=" + e.value);
    TSelectParam dlg("Список ТИ", kSigTI, GridOf(dev->s.ti, true), lines, "1_Порт.1_ПЦ-6806.", &form);
    for (int i = 20; i < 30 && i < dlg.List->count(); ++i) dlg.List->item(i)->setSelected(true);
    return Grab(dlg, png);
  }
  if (kv[0] == "modbus-log" && df) {
    const TLibraryFile* lf = dev->LibraryFile();
    if (!lf) return false;
    TSelectLogParam dlg(LogLines(*lf, false, {2, 3, 17}), &form);
    dlg.List->item(0)->setSelected(true);
    return Grab(dlg, png);
  }
  if (kv[0] == "modbus-rtu") {
    std::vector<TDevicePick> used;
    for (TRTU* d : devs) used.push_back({d->number, d->name});
    TSelectRTU dlg(used, ctx->library.Types(), &form);
    dlg.Cell(7)->click();
    dlg.Cell(8)->click();
    return Grab(dlg, png);
  }
  if (kv[0] == "modbus-name") {
    TInputTextDialog dlg(QString::fromUtf8(kProgramTitle) + " - Ввод", "Сохранить настройку блока как :", "ПЦ-6806", &form);
    return Grab(dlg, png);
  }
  return form.grab().save(png);
}

}  // namespace t32::ui
