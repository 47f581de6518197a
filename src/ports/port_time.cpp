#include "ports/port_time.h"

#include <algorithm>

#include "model/config.h"
#include "model/document.h"

namespace t32 {

void BindToProcessor(TPort& port) {
  if (TDocument* d = port.Doc(); d && d->ProcNode())
    port.boundChannel = dynamic_cast<TBlock*>(d->ProcNode()->Item());
}

namespace {
constexpr int kTimeImage = 17;
}

TPortGPS::TPortGPS() {
  name = "установки времени";
  frameClass = "TPortGPSFrame";
  popup = TPopup::DeleteMenu;
  number = 1;
  iconIndex = kTimeImage;
}

void TPortGPS::Create(TNode* n) {
  TPort::Create(n);
  BindToProcessor(*this);
  UpdateNode();
}

void TPortGPS::UpdateNode() {
  TPort::UpdateNode();
  if (node) node->SetImages(kTimeImage);
}

void TPortGPS::SetDefaults() {
  period = 3600000;
  udpPort = kSntpUdpPort;
  protocol = kSntp;
  server = 0;
  timeZone = 3;
}

void TPortGPS::Fields(TFieldVisitor& v) {
  v.U8({"number", 1, 1, 40}, number);
  v.U16({"udpPort", 120, 0, 65535}, udpPort);
  v.U32({"periodMs", 31, 0, 65535.0 * 60000}, period);
  v.U8({"protocol", 27, 0, 1}, protocol);
  v.Ip({"server", 49}, server);
  v.U8({"timeZone", 24, 0, 24}, timeZone);
}

void TPortGPS::LoadFromImage(TConfig& c) {
  TItem::LoadFromImage(c);
  if (protocol > kNmea) protocol = kSntp;
}

void TPortGPS::SetPeriodMinutes(std::uint32_t minutes) { period = std::min(minutes, kMaxMinutes) * 60000u; }

void TPortGPS::ChooseProtocol(int p) {
  protocol = p == kNmea ? kNmea : kSntp;
  udpPort = protocol == kNmea ? kNmeaUdpPort : kSntpUdpPort;
}

// ---------------------------------------------------------------------------------------
TPortSNTP::TPortSNTP() {
  name = "сервера времени";
  frameClass = "TPortSNTPFrame";
  popup = TPopup::DeleteMenu;
  number = 1;
  iconIndex = kTimeImage;
}

void TPortSNTP::Create(TNode* n) {
  TPort::Create(n);
  BindToProcessor(*this);
  UpdateNode();
}

void TPortSNTP::UpdateNode() {
  TPort::UpdateNode();
  if (node) node->SetImages(kTimeImage);
}

void TPortSNTP::SetDefaults() {
  udpPort = 123;
  timeZone = 3;
}

void TPortSNTP::Fields(TFieldVisitor& v) {
  v.U8({"number", 1, 1, 40}, number);
  v.U16({"udpPort", 130, 0, 65535}, udpPort);
  v.U8({"timeZone", 24, 0, 24}, timeZone);
}

}  // namespace t32
