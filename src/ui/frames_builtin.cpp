// The table of editor frames this library provides.
#include "ui/frame_controller.h"
#include "ui/frame_portip.h"
#include "ui/frame_proc.h"
#include "ui/frames.h"

namespace t32::ui {

void RegisterBoardFrames();  // frames_boards.cpp
void RegisterTableFrames();  // frames_tables.cpp
void RegisterPortFrames();   // frame_pu.cpp
void RegisterPCFrames();     // frame_pc.cpp
void RegisterMEK104Frames(); // frame_mek104.cpp
void RegisterOtherPortFrames();  // frame_other_ports.cpp
void RegisterLDFrames();         // frame_ld.cpp
void RegisterSNMPFrames();       // frame_snmp.cpp
void RegisterRtu104Frames();     // frame_rtu104.cpp
void RegisterModbusFrames();     // frame_modbus.cpp
void Register61850Frames();      // frame_61850.cpp
void RegisterKPFrames();         // frame_kp.cpp
void RegisterIec103Frames();     // frame_iec103.cpp

void RegisterBuiltinFrames() {
  static bool done = false;
  if (done) return;
  done = true;
  RegisterFrame("TController", [](TFrame1& o, QWidget* p) { return new TControllerFrame(o, p); });
  RegisterFrame("TProc", [](TFrame1& o, QWidget* p) { return new TProcFrame(o, p); });
  RegisterFrame("TPortIP", [](TFrame1& o, QWidget* p) { return new TPortIPFrame(o, p); });
  RegisterBoardFrames();
  RegisterTableFrames();
  RegisterPortFrames();
  RegisterPCFrames();
  RegisterMEK104Frames();
  RegisterOtherPortFrames();
  RegisterLDFrames();
  RegisterSNMPFrames();
  RegisterRtu104Frames();
  RegisterModbusFrames();
  Register61850Frames();
  RegisterKPFrames();
  RegisterIec103Frames();
}

}  // namespace t32::ui
