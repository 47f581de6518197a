#include "ports/register.h"

#include <memory>
#include <mutex>

#include "model/factory.h"
#include "ports/port_mek104.h"
#include "ports/port_pc.h"
#include "ports/port_auto.h"
#include "ports/port_kp.h"
#include "ports/port_ld.h"
#include "ports/port_61850.h"
#include "ports/port_meters.h"
#include "ports/port_mkt3.h"
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
  // The port is written as section 126; images of older programs call it 124.
  f.Register(124, port, [] { return std::make_unique<TPort61850>(); }, 124);
  f.Register(126, port, [] { return std::make_unique<TPort61850>(); });
  f.RegisterChild("TPort61850", 220, [] { return std::make_unique<TRTU61850>(); });
  f.Register(112, port, [] { return std::make_unique<TPortKP>(); }, 112);
  f.RegisterChild("TPortKP", 206, [] { return std::make_unique<TKP>(); });
  f.Register(106, port, [] { return std::make_unique<TPortCC301>(); }, 106);
  f.RegisterChild("TPortCC301", 216, [] { return std::make_unique<TCC301>(); });
  f.Register(118, port, [] { return std::make_unique<TPortCE303>(); }, 118);
  f.RegisterChild("TPortCE303", 217, [] { return std::make_unique<TCE303>(); });
  f.Register(135, port, [] { return std::make_unique<TPortCE318>(); }, 135);
  f.RegisterChild("TPortCE318", 233, [] { return std::make_unique<TCE318>(); });
  f.Register(116, port, [] { return std::make_unique<TPortCP8500>(); }, 116);
  f.Register(103, port, [] { return std::make_unique<TPortMKT3>(); }, 103);
}

TItemFactory& PortsFactory() {
  static std::once_flag once;
  std::call_once(once, [] { RegisterPorts(DefaultFactory()); });
  return DefaultFactory();
}

}  // namespace t32
