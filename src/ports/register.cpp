#include "ports/register.h"

#include <memory>
#include <mutex>

#include "model/factory.h"
#include "ports/modbus.h"
#include "ports/port_pu.h"

namespace t32 {

void RegisterPorts(TItemFactory& f) {
  const auto port = TItemPlace::Port;
  f.Register(101, port, [] { return std::make_unique<TPortPU>(); }, 101);
  f.Register(102, port, [] { return std::make_unique<TPortMODBUS>(); }, 102);
  f.Register(129, port, [] { return std::make_unique<TPortRTUTCP>(); }, 129);
  f.RegisterChild("TPortMODBUS", 202, [] { return std::make_unique<TRTU>(); });
  f.RegisterChild("TPortRTUTCP", 202, [] { return std::make_unique<TRTUTCP>(); });
}

TItemFactory& PortsFactory() {
  static std::once_flag once;
  std::call_once(once, [] { RegisterPorts(DefaultFactory()); });
  return DefaultFactory();
}

}  // namespace t32
