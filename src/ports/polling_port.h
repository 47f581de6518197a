// The shared base of ports that poll devices (Modbus, KP, IEC 103, IEC 104, IEC 61850,
// SNMP): devices are the port's children, the port owns a link-status ТС table with one signal
// per device as its first child, rebuilds it when devices come and go, renames every device's
// signals when its own address changes, and holds at most 255 devices (the device count is one
// byte in the image).
#pragma once
#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/item.h"

namespace t32 {

class TParams;
class TPollingPort;

// A device polled by a port.
class TPolledDevice : public TPort {
 public:
  // "%d_Порт" of the port's address: the first part of every signal name of the device.
  std::string portName;
  std::string place;  // "Место установки"
  // Set while the device is still being set up: rebuilds make fresh signal tables.
  bool newDevice = true;

  // The device's row in the port's link-status table: "связь_" + caption [+ "_" + place].
  virtual std::string LinkStatusName() const;
  TPollingPort* Port() const;
  // Asks the port to rebuild its link-status table (ignored while the port suspends rebuilds).
  void RequestPortRebuild() const;
};

// Poll and synchronisation periods are entered in minutes and kept in ms in a signed 32-bit
// key: 35791 minutes is the most that fits. File values read back unsigned.
constexpr std::int32_t kMaxPeriodMinutes = 35791;
inline std::int32_t PeriodMinutesToMs(long long minutes) {
  return static_cast<std::int32_t>(std::clamp<long long>(minutes, 0, kMaxPeriodMinutes) * 60000);
}
inline long long PeriodMsToMinutes(std::int32_t ms) { return static_cast<std::uint32_t>(ms) / 60000u; }

class TPollingPort : public TPort {
 public:
  static constexpr int kMaxDevices = 255;
  static const char* const kTooManyDevices;

  std::uint8_t deviceCount = 0;

  std::string PortName() const;
  // The link-status table (first child, a ТС table), or none.
  TParams* LinkTable() const;
  std::vector<TPolledDevice*> Devices() const;
  int DeviceCountNow() const;

  // False (and the message) when the port already holds kMaxDevices.
  bool CanAddDevice() const;
  // "Уже существует": another device of the port (not `except`) for which `same` holds.
  bool Exists(const TItem* except, const std::function<bool(const TPolledDevice&)>& same) const;

  // Device count from the children; a device that came from another port (drag and drop)
  // takes this port's name and rebuilds; the link-status table follows any change.
  void RecountChildren() override;
  // Rebuilds the link-status table (skipped while suspended) and tells the storage.
  void UpdateStatusTable() override;
  void SuspendRebuild() { ++suspended_; }
  // Ends a suspension; the last one rebuilds once.
  void ResumeRebuild();
  bool RebuildSuspended() const { return suspended_ > 0; }
  // A new port address: every device takes the new name and rebuilds, the port rebuilds once.
  void SetPortNumber(int n);

  void EnumerateSignals(TStorageLists& lists) override;
  void AfterLoad() override;
  void WriteChildren(TConfig& c) override;

 protected:
  // Every device of the port gets the port's current name.
  void RenameDevices();
  // Key 20, the number of devices now under the port (at most kMaxDevices), and for a port on
  // a board channel key 30, the bound channel's number (0 on the processor or unbound).
  void CountFields(TFieldVisitor& v, bool withChannel);
  // Writes key 20 with the number of devices now under the port.
  void PutDeviceCount(TConfig& c);
  void SyncDeviceCount() { deviceCount = static_cast<std::uint8_t>(std::min(DeviceCountNow(), kMaxDevices)); }
  // Reading after the port's own keys: the link-status table's section, then up to
  // `announced` device sections of code `deviceCode`, each made by `make`.
  void LoadChildren(TConfig& c, int announced, int deviceCode, const std::function<std::unique_ptr<TPolledDevice>()>& make,
                    bool shortRecords = false);

 public:
  // Adds a device as the last child with this port's name (none beyond kMaxDevices).
  TPolledDevice* AppendDevice(std::unique_ptr<TPolledDevice> dev);
  // A new device of class D with its defaults, its tables built, the port rebuilt once.
  template <class D>
  D* AppendNewDevice();

 private:
  void RefreshLinkTable();
  int suspended_ = 0;
};

// Suspends a port's rebuilds for a scope.
class TRebuildSuspension {
 public:
  explicit TRebuildSuspension(TPollingPort* p) : p_(p) {
    if (p_) p_->SuspendRebuild();
  }
  ~TRebuildSuspension() {
    if (p_) p_->ResumeRebuild();
  }
  TRebuildSuspension(const TRebuildSuspension&) = delete;
  TRebuildSuspension& operator=(const TRebuildSuspension&) = delete;

 private:
  TPollingPort* p_;
};

template <class D>
D* TPollingPort::AppendNewDevice() {
  if (!CanAddDevice()) return nullptr;
  TRebuildSuspension hold(this);
  auto* d = static_cast<D*>(AppendDevice(std::make_unique<D>()));
  if (d) d->UpdateStatusTable();
  return d;
}

}  // namespace t32
