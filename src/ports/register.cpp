#include "ports/register.h"

#include <memory>
#include <mutex>

#include "model/factory.h"
#include "ports/port_mek104.h"
#include "ports/port_pc.h"
#include "ports/port_auto.h"
#include "ports/port_ld.h"
#include "ports/iec103.h"
#include "ports/modbus.h"
#include "ports/port_pu.h"
#include "ports/port_snmp.h"
#include "ports/port_rtu104.h"
#include "ports/port_time.h"
#include "ports/port_twopos.h"
#include "ports/port_unio.h"

namespace t32 {

void RegisterPorts(TItemFactory& f) {
  const auto port = TItemPlace::Port;
  f.Register(101, port, [] { return std::make_unique<TPortPU>(); }, 101);
  f.Register(119, port, [] { return std::make_unique<TPortMEK104>(); }, 119);
  f.RegisterChild("TPortIP", 202, [] { return std::make_unique<TPC>(); });
  f.Register(120, port, [] { return std::make_unique<TPortGPS>(); }, 120);
  f.Register(130, port, [] { return std::make_unique<TPortSNTP>(); }, 130);
  f.Register(132, port, [] { return std::make_unique<TPortTS2>(); }, 132);
  f.Register(133, port, [] { return std::make_unique<TPortTU2>(); }, 133);
  f.Register(125, port, [] { return std::make_unique<TPortUnio>(); }, 125);
  f.Register(117, port, [] { return std::make_unique<TPortAuto>(); }, 117);
  f.Register(131, port, [] { return std::make_unique<TPortLD>(); }, 131);
  f.Register(102, port, [] { return std::make_unique<TPortMODBUS>(); }, 102);
  f.Register(129, port, [] { return std::make_unique<TPortRTUTCP>(); }, 129);
  f.RegisterChild("TPortMODBUS", 202, [] { return std::make_unique<TRTU>(); });
  f.RegisterChild("TPortRTUTCP", 202, [] { return std::make_unique<TRTUTCP>(); });
  f.Register(134, port, [] { return std::make_unique<TPortSNMP>(); }, 134);
  f.RegisterChild("TPortSNMP", 232, [] { return std::make_unique<TSNMP>(); });
  f.Register(115, port, [] { return std::make_unique<TPort103>(); }, 115);
  f.RegisterChild("TPort103", 208, [] { return std::make_unique<TRTU103>(); });
  f.Register(128, port, [] { return std::make_unique<TPortRTU104>(); }, 128);
  f.RegisterChild("TPortRTU104", 224, [] { return std::make_unique<TRTU104>(); });
}

TItemFactory& PortsFactory() {
  static std::once_flag once;
  std::call_once(once, [] { RegisterPorts(DefaultFactory()); });
  return DefaultFactory();
}

}  // namespace t32
