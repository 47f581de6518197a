#include "ports/register.h"

#include <memory>
#include <mutex>

#include "model/factory.h"
#include "ports/port_ld.h"
#include "ports/port_pu.h"

namespace t32 {

void RegisterPorts(TItemFactory& f) {
  const auto port = TItemPlace::Port;
  f.Register(101, port, [] { return std::make_unique<TPortPU>(); }, 101);
  f.Register(131, port, [] { return std::make_unique<TPortLD>(); }, 131);
}

TItemFactory& PortsFactory() {
  static std::once_flag once;
  std::call_once(once, [] { RegisterPorts(DefaultFactory()); });
  return DefaultFactory();
}

}  // namespace t32
