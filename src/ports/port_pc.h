// A workstation (ПЭВМ) under the IP port: it receives the controller's signals over IEC
// 60870-5-104 from its six output tables, the information object address of a row being its
// table's base address plus the row. Its signal list goes out as INI or as the configuration
// file of the IEC 104 workstation program (XML, cp1251).
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model/port_ip.h"
#include "ports/output_port.h"

namespace t32 {

class TPC : public TOutputPort, public TStatusSource {
 public:
  static constexpr std::array<std::uint8_t, 6> kTsFormats{8, 30, 0, 1, 21, 0};
  static constexpr std::array<std::uint8_t, 6> kTiFormats{8, 11, 11, 0, 22, 0};
  static constexpr std::array<std::uint8_t, 6> kTiiFormats{8, 0, 0, 0, 23, 36};
  static constexpr int kIecPort = 2404;

  TPC();
  const char* ClassName() const override { return "TPC"; }
  int SectionCode() const override { return 202; }
  void Create(TNode* n) override;
  void SetDefaults() override;
  void Fields(TFieldVisitor& v) override;
  void SaveToImage(TConfig& c) override;
  void LoadFromImage(TConfig& c) override;
  void LoadFromShortImage(TConfig& c) override;
  std::string SignalAddressText(int row, int kind) const override;
  const std::string& Place() const override { return place; }
  void CopyInto(TItem& copy) const override;

  // --- settings -------------------------------------------------------------------------
  std::string place;
  std::uint32_t pcAddress = 0xC0A80100;  // 192.168.1.0; 255.255.255.255 admits any client
  std::uint32_t gateway = 0;
  std::uint8_t addressing = 1;  // always 1: base address + row; the controller reads it
  std::uint16_t asduAddress = 1;
  std::uint16_t tiCycle = 100;  // ms, 0..60000
  std::array<std::uint8_t, 6> tsFormats = kTsFormats;
  std::array<std::uint8_t, 6> tiFormats = kTiFormats;
  std::array<std::uint8_t, 6> tiiFormats = kTiiFormats;
  std::uint8_t oldTs = 1, oldTi = 8, oldTii = 8;  // copies of format bytes, for older controllers
  std::uint32_t t1 = 15000, t2 = 5000, t3 = 40000;  // ms
  std::uint8_t k = 12, w = 8;
  // Bit 0: file writing allowed; bit 1: commands refused; bit 2: time setting refused.
  std::uint16_t permissions = 0;
  // First information object address of each output table, by signal type (index 1..6).
  std::array<std::uint16_t, 7> bases{0, 0x2000, 0x6000, 0x4000, 0xA000, 0x8000, 0xC000};

  // --- rules ----------------------------------------------------------------------------
  // T1..T3 are edited in seconds.
  static std::uint32_t SecondsToMs(long long s);
  void DeriveOlderBytes();
  // At most 16 signals a message with time-tagged ТИ choices.
  void LimitTiPerMessage();
  std::string TiPeriodText() const;
  int StationAddress() const;
  // The workstation program's configuration (cp1251, CR LF).
  std::string WorkstationXml() const;
  // Writes it safely; on failure *error = "Ошибка записи файла " + path + the reason.
  bool ExportXml(const std::string& path, std::string* error) const;

 private:
  void ConvertOlderBytes(bool haveTs, bool shortImage);
};

// Device number of an МТС row whose name holds "Журнал Аварий": first name part p, second d
// (each the digits before its first "_"), p * 256 + d. -1 when a part gives no number.
int AlarmLogDevice(const std::string& name);
// The name of an alarm log's group: the name's text before the log's own part.
std::string AlarmLogGroupName(const std::string& name);

}  // namespace t32
