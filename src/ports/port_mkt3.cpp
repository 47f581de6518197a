#include "ports/port_mkt3.h"

#include <algorithm>

#include "model/boards.h"
#include "model/config.h"
#include "model/cp1251.h"
#include "model/document.h"
#include "model/params.h"

namespace t32 {

const std::array<TMkt3ChannelType, 6>& TPortMKT3::ChannelTypes() {
  static const std::array<TMkt3ChannelType, 6> t = {{
      {1, "+ Однополярные 1x", "+Оп 1x", false},
      {2, "+ Однополярные 2x", "+Оп 2x", false},
      {4, "+ Однополярные 4x", "+Оп 4x", false},
      {0x81, "± Двухполярные 1x", "±Дп 1x", true},
      {0x82, "± Двухполярные 2x", "±Дп 2x", true},
      {0x84, "± Двухполярные 4x", "±Дп 4x", true},
  }};
  return t;
}

const TMkt3ChannelType* TPortMKT3::ChannelType(std::uint8_t code) {
  for (const TMkt3ChannelType& t : ChannelTypes())
    if (t.code == code) return &t;
  return nullptr;
}

TPortMKT3::TPortMKT3() {
  name = "MKT-3";
  frameClass = "TPortMKT3Frame";
  popup = TPopup::DeleteMenu;
  iconIndex = 2;
  interfaces = kIfModem;
  number = 1;
  channelTypes.fill(1);
}

void TPortMKT3::Create(TNode* n) {
  TPort::Create(n);
  for (int t : {kSigTS, kSigTU, kSigTI}) {
    auto p = MakeParams(t, kRoleOutput);
    p->owner = this;
    tables_[static_cast<std::size_t>(t)] = p.get();
    n->Tree()->Add(n, std::move(p));
  }
  n->SetImages(0);
}

void TPortMKT3::CountGroups(bool* tsLimited, bool* tiLimited) {
  auto groups = [](const TParams* t, int max, bool* limited) {
    const int rows = t ? t->Count() : 0;
    const int g = rows > 0 ? (rows - 1) / 8 + 1 : 1;
    if (limited) *limited = g > max;
    return static_cast<std::uint8_t>(std::min(g, max));
  };
  tsGroups = groups(Table(kSigTS), kMaxTSGroups, tsLimited);
  tiGroups = groups(Table(kSigTI), kMaxTIGroups, tiLimited);
}

void TPortMKT3::SetChannelType(const std::vector<int>& cells, std::uint8_t code) {
  if (!ChannelType(code)) return;
  for (int c : cells)
    if (c >= 0 && c < 64) channelTypes[static_cast<std::size_t>(c)] = code;
}

std::string TPortMKT3::SignalAddressText(int row, int kind) const {
  if (row < 0) return {};
  const int group = row / 8 + 1;
  const int max = kind == kSigTS ? kMaxTSGroups : kMaxTIGroups;
  if (group > max) return " ОШИБКА ";
  return "Гр" + std::to_string(group) + " Пр" + std::to_string(row % 8 + 1);
}

void TPortMKT3::Fields(TFieldVisitor& v) {
  v.Text({"place", 77}, place);
  v.U8({"number", 1, 1, 40}, number);
  if (!v.Reading()) CountGroups();
  v.U8({"tsGroups", 13, 1, kMaxTSGroups}, tsGroups);
  v.U8({"tiGroups", 14, 1, kMaxTIGroups}, tiGroups);
  v.Bytes({"channelTypes", 46}, channelTypes.data(), channelTypes.size());
  std::uint8_t channel = boundChannel && !BoundToProcessor() ? boundChannel->number : 0;
  v.U8({"channelAddress", 30}, channel);
}

void TPortMKT3::SaveToImage(TConfig& c) {
  CountGroups();
  std::int32_t at = c.Pos;
  c.BeginSection(103);
  c.PutU8(48, version);
  c.PutText(77, place);
  c.PutU8(1, number);
  c.PutU8(13, tsGroups);
  c.PutU8(14, tiGroups);
  c.PutEntry(46, channelTypes.size(), channelTypes.data());
  PutBinding(c);
  WriteOutputTables(c);
  c.EndSection(at);
}

void TPortMKT3::LoadFromImage(TConfig& c) {
  if (!EnterSection(c, 103)) return;
  c.GetU8(1, number);
  if (c.GetText(77, place)) place = Utf8Left(place, 64);
  c.GetU8(13, tsGroups);
  c.GetU8(14, tiGroups);
  c.GetEntry(46, channelTypes.size(), channelTypes.data());
  std::uint8_t ch = 0;
  if (c.GetU8(30, ch)) BindByAddress(ch);
  UpdateNode();
  LoadOutputTables(c);
}

void TPortMKT3::LoadFromShortImage(TConfig& c) {
  if (c.NextShortSection() != 103) return;
  if (!CheckVersion(c, true)) return;
  c.GetShortEntry(1, 1, &number);
  if (c.GetShortText(77, place)) place = Utf8Left(place, 64);
  c.GetShortEntry(13, 1, &tsGroups);
  c.GetShortEntry(14, 1, &tiGroups);
  c.GetShortEntry(46, static_cast<std::uint16_t>(channelTypes.size()), channelTypes.data());
  std::uint8_t ch = 0;
  if (c.GetShortEntry(30, 1, &ch)) BindByAddress(ch);
  UpdateNode();
}

}  // namespace t32
