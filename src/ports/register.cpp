#include "ports/register.h"

#include <memory>
#include <mutex>

#include "model/factory.h"
#include "ports/port_mek104.h"
#include "ports/port_pc.h"
#include "ports/port_pu.h"

namespace t32 {

void RegisterPorts(TItemFactory& f) {
  const auto port = TItemPlace::Port;
  f.Register(101, port, [] { return std::make_unique<TPortPU>(); }, 101);
  f.Register(119, port, [] { return std::make_unique<TPortMEK104>(); }, 119);
  f.RegisterChild("TPortIP", 202, [] { return std::make_unique<TPC>(); });
}

TItemFactory& PortsFactory() {
  static std::once_flag once;
  std::call_once(once, [] { RegisterPorts(DefaultFactory()); });
  return DefaultFactory();
}

}  // namespace t32
