#include "ports/port_mek104.h"

#include <algorithm>

#include "model/config.h"
#include "model/params.h"

namespace t32 {

TPortMEK104::TPortMEK104() {
  name = "RS_МЭК870-5-104";
  frameClass = "TMEK104Frame";
  popup = TPopup::DeleteMenu;
  number = 1;
  iconIndex = 13;
  interfaces = kIfRS232 | kIfRS485;
  role = 1;
}

void TPortMEK104::Create(TNode* n) {
  TOutputPort::Create(n);
  if (n) n->SetImages(0);  // unbound
  UpdateNode();
}

void TPortMEK104::SetDefaults() {
  place.clear();
  tsType = 1;
  tiPerAsdu = 1;
  tiiPerAsdu = 1;
  tiInterval = 1000;
  t1 = 15000;
  t2 = 5000;
  t3 = 40000;
  k = 12;
  w = 8;
  extraCrc = 1;
  flags = 1;
}

void TPortMEK104::Fields(TFieldVisitor& v) {
  v.Text({"place", 77}, place);
  v.U8({"number", 1, 1, 40}, number);
  std::uint8_t channel = boundChannel && !BoundToProcessor() ? boundChannel->number : 0;
  v.U8({"channelAddress", 30}, channel);
  v.U8({"tsType", 35}, tsType);
  v.U8({"tiPerAsdu", 36}, tiPerAsdu);
  v.U8({"tiiPerAsdu", 73}, tiiPerAsdu);
  v.U16({"tiInterval", 18, 0, 60000}, tiInterval);
  v.U32({"t1", 63}, t1);
  v.U32({"t2", 64}, t2);
  v.U32({"t3", 65}, t3);
  v.U8({"k", 66, 0, 50}, k);
  v.U8({"w", 67, 0, 50}, w);
  v.U8({"extraCrc", 79, 0, 1}, extraCrc);
  v.U16({"flags", 78}, flags);
}

std::uint32_t TPortMEK104::SecondsToMs(long long s) {
  return static_cast<std::uint32_t>(std::clamp<long long>(s, 0, 60000) * 1000);
}

void TPortMEK104::SaveToImage(TConfig& c) {
  std::int32_t s = c.Pos;
  c.BeginSection(119);
  c.PutU8(48, version);
  c.PutText(77, place);
  c.PutU8(1, number);
  PutBinding(c);
  c.PutU8(35, tsType);
  c.PutU8(36, tiPerAsdu);
  c.PutU8(73, tiiPerAsdu);
  c.PutU16(18, tiInterval);
  c.PutU32(63, t1);
  c.PutU32(64, t2);
  c.PutU32(65, t3);
  c.PutU8(66, k);
  c.PutU8(67, w);
  c.PutU8(79, extraCrc);
  c.PutU16(78, flags);
  WriteOutputTables(c);
  c.EndSection(s);
}

void TPortMEK104::LoadFromImage(TConfig& c) {
  if (!EnterSection(c, 119)) return;
  c.GetText(77, place);
  c.GetU8(1, number);
  c.GetU8(35, tsType);
  c.GetU8(36, tiPerAsdu);
  c.GetU8(73, tiiPerAsdu);
  c.GetU16(18, tiInterval);
  c.GetU32(63, t1);
  c.GetU32(64, t2);
  c.GetU32(65, t3);
  c.GetU8(66, k);
  c.GetU8(67, w);
  c.GetU8(79, extraCrc);
  if (tiPerAsdu != 1 && tiPerAsdu != 8 && tiPerAsdu != 16 && tiPerAsdu != 24) tiPerAsdu = 1;
  if (tiiPerAsdu != 1 && tiiPerAsdu != 4 && tiiPerAsdu != 8) tiiPerAsdu = 1;
  flags = 1;  // an image from before key 78 let the station write files
  c.GetU16(78, flags);
  std::uint8_t ch = 0;
  if (c.GetU8(30, ch)) BindByAddress(ch);
  UpdateNode();
  LoadOutputTables(c);
}

std::string TPortMEK104::SignalAddressText(int row, int kind) const {
  const TParams* t = Table(kind);
  if (!t || row < 0) return {};
  return std::to_string(t->addressBase + row);
}

int TPortMEK104::ResolvedTiRows() const {
  const TParams* t = Table(kSigTI);
  if (!t) return 0;
  int n = 0;
  for (int i = 0; i < t->Count(); ++i)
    if (const TParam* r = t->At(i); r && !r->unresolved && !r->Name().empty()) ++n;
  return n;
}

std::string TPortMEK104::UpdatePeriodText() const {
  long long s = static_cast<long long>(ResolvedTiRows()) * tiInterval / 1000;
  return "всех ТИ   " + std::to_string(s) + " с";
}

}  // namespace t32
