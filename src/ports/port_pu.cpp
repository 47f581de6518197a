#include "ports/port_pu.h"

#include <algorithm>
#include <cstdio>

#include "model/config.h"
#include "model/controller.h"
#include "model/document.h"
#include "model/params.h"

namespace t32 {

namespace {
std::string Fmt(const char* f, int a, int b) {
  char buf[48];
  std::snprintf(buf, sizeof buf, f, a, b);
  return buf;
}
std::string Fmt3(const char* f, int a, int b, int c) {
  char buf[64];
  std::snprintf(buf, sizeof buf, f, a, b, c);
  return buf;
}
const char* const kError = "Ошибка!!!";
}  // namespace

const char* TPortPU::ProtocolName(int p) {
  static const char* const names[kProtocols] = {"Сириус", "Виконт", "МЭК 870-5-101", "Лисна-М", "Лисна-В", "Лисна-Ч"};
  return p >= 0 && p < kProtocols ? names[p] : "";
}

std::uint8_t TPortPU::ChannelCode(int p) {
  static const std::uint8_t codes[kProtocols] = {2, 3, 4, 12, 11, 10};
  return p >= 0 && p < kProtocols ? codes[p] : 0;
}

TPortPU::TPortPU() {
  name = "ПУ";
  frameClass = "TPUFrame";
  popup = TPopup::DeleteMenu;
  number = 1;
  iconIndex = 13;
  interfaces = kIfRS232 | kIfRS485 | kIfModem;
  role = 1;
}

int TPortPU::StationAddress() const {
  TDocument* d = Doc();
  return d && d->Proc() ? d->Proc()->stationAddress : 1;
}

void TPortPU::Create(TNode* n) {
  TOutputPort::Create(n);
  int st = StationAddress();
  lisnaChAddress = lisnaMAddress = static_cast<std::uint8_t>(st & 0x0F);
  linkAddress = asduAddress = static_cast<std::uint8_t>(st);
  UpdateChannelProtocol();
  UpdateNode();
}

void TPortPU::SetDefaults() {
  place.clear();
  protocol = kIec101;
  retransmitter = 0;
  sourcePort = 0;
  tsFormats = {8, 30, 0, 1, 21, 0};
  tiFormats = {8, 11, 11, 0, 22, 0};
  tiiFormats = {4, 0, 0, 0, 23, 36};
  oldTs = 30;
  oldTi = 2;
  oldTii = 8;
  requestCode = 0;
  tsBufferLength = 4;
  kpAddressSet = 0;
  transmitDelay = 0;
  int st = StationAddress();
  lisnaChAddress = lisnaMAddress = static_cast<std::uint8_t>(st & 0x0F);
  linkAddress = asduAddress = static_cast<std::uint8_t>(st);
  permissions = 0;
  UpdateChannelProtocol();
}

void TPortPU::Fields(TFieldVisitor& v) {
  // Write order of the section; keys 29, 30 and 109 are written only in some states (see
  // SaveToImage), the rest always.
  v.Text({"place", 77}, place);
  v.U8({"number", 1, 1, 40}, number);
  v.U8({"protocol", 27, 0, 5}, protocol);
  v.U8({"retransmitter", -1, 0, 1}, retransmitter);
  v.U8({"sourcePort", 29, 0, 16}, sourcePort);
  std::uint8_t channel = boundChannel && !BoundToProcessor() ? boundChannel->number : 0;
  v.U8({"channelAddress", 30}, channel);
  v.U8({"olderTs", 35}, oldTs);
  v.U8({"olderTi", 36}, oldTi);
  v.U8({"olderTii", 73}, oldTii);
  v.Bytes({"tsFormats", 45}, tsFormats.data(), tsFormats.size());
  v.Bytes({"tiFormats", 46}, tiFormats.data(), tiFormats.size());
  v.Bytes({"tiiFormats", 107}, tiiFormats.data(), tiiFormats.size());
  v.U16({"requestCode", 34, 0, 65535}, requestCode);
  v.U8({"tsBufferLength", 102, 1, 32}, tsBufferLength);
  v.U16({"kpAddressSet", 72}, kpAddressSet);
  v.U8({"lisnaChAddress", 5, 1, 15}, lisnaChAddress);
  // Key 109 carries the link address for IEC 101 and the КП address for Лисна-М.
  bool m = protocol == kLisnaM;
  v.U8({m ? "lisnaMAddress" : "linkAddress", 109, 1, m ? 15.0 : 255.0}, m ? lisnaMAddress : linkAddress);
  v.U8({m ? "linkAddress" : "lisnaMAddress", -1, 1, m ? 255.0 : 15.0}, m ? linkAddress : lisnaMAddress);
  v.U8({"asduAddress", 108, 1, 255}, asduAddress);
  v.U8({"transmitDelay", 24, 0, 255}, transmitDelay);
  v.U16({"permissions", 78}, permissions);
}

void TPortPU::DeriveOlderBytes() {
  oldTs = tsFormats[3];
  oldTi = tiFormats[2] == 0 ? 0 : tiFormats[0] < 2 ? 1 : 2;
  oldTii = tiiFormats[0];
}

void TPortPU::SaveToImage(TConfig& c) {
  DeriveOlderBytes();
  std::int32_t s = c.Pos;
  c.BeginSection(101);
  c.PutU8(48, version);
  c.PutText(77, place);
  c.PutU8(1, number);
  c.PutU8(27, protocol);
  if (retransmitter) c.PutU8(29, sourcePort);
  PutBinding(c);
  c.PutU8(35, oldTs);
  c.PutU8(36, oldTi);
  c.PutU8(73, oldTii);
  c.PutEntry(45, tsFormats.size(), tsFormats.data());
  c.PutEntry(46, tiFormats.size(), tiFormats.data());
  c.PutEntry(107, tiiFormats.size(), tiiFormats.data());
  c.PutU16(34, requestCode);
  c.PutU8(102, tsBufferLength);
  c.PutU16(72, kpAddressSet);
  c.PutU8(5, lisnaChAddress);
  if (protocol == kIec101) c.PutU8(109, linkAddress);
  else if (protocol == kLisnaM) c.PutU8(109, lisnaMAddress);
  c.PutU8(108, asduAddress);
  c.PutU8(24, transmitDelay);
  c.PutU16(78, permissions);
  WriteOutputTables(c);
  c.EndSection(s);
}

void TPortPU::ReadKeys(TConfig& c, bool shortRecords) {
  auto get = [&](int key, std::size_t size, void* dst) {
    return shortRecords ? c.GetShortEntry(static_cast<std::uint8_t>(key), static_cast<std::uint16_t>(size), dst)
                        : c.GetEntry(static_cast<std::uint16_t>(key), size, dst);
  };
  auto get16 = [&](int key, std::uint16_t& v) {
    std::uint8_t b[2] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
    if (get(key, 2, b)) v = static_cast<std::uint16_t>(b[0] | (b[1] << 8));
  };
  if (shortRecords) c.GetShortText(77, place);
  else c.GetText(77, place);
  get(1, 1, &number);
  get(27, 1, &protocol);
  retransmitter = get(29, 1, &sourcePort) ? 1 : 0;
  if (get(45, 6, tsFormats.data())) {
    get(46, 6, tiFormats.data());
    get(107, 6, tiiFormats.data());
  } else {
    // An image from before the format tables: one byte each.
    get(35, 1, &oldTs);
    get(36, 1, &oldTi);
    get(73, 1, &oldTii);
    if (oldTs == 7) oldTs = 1;
    if (oldTs == 1 || oldTs == 30) tsFormats[3] = oldTs;
    if (oldTi == 0) {
      tiFormats[0] = 8;
      tiFormats[2] = 0;
    } else {
      tiFormats[0] = oldTi == 1 ? 1 : 8;
    }
    if (oldTii != 1 && oldTii != 4 && oldTii != 8) oldTii = 4;
    tiiFormats[0] = oldTii;
  }
  get16(34, requestCode);
  get(102, 1, &tsBufferLength);
  const int st = StationAddress();
  std::uint8_t b = 0;
  if (protocol == kIec101) linkAddress = get(109, 1, &b) ? b : static_cast<std::uint8_t>(st);
  if (protocol == kLisnaM) lisnaMAddress = get(109, 1, &b) ? b : static_cast<std::uint8_t>(st & 0x0F);
  get16(72, kpAddressSet);
  lisnaChAddress = get(5, 1, &b) ? b : static_cast<std::uint8_t>(st & 0x0F);
  asduAddress = get(108, 1, &b) ? b : static_cast<std::uint8_t>(st);
  get(24, 1, &transmitDelay);
  get16(78, permissions);
  DeriveOlderBytes();  // what the next write will store
  if (get(30, 1, &b)) BindByAddress(b);
  UpdateChannelProtocol();
  UpdateNode();
}

void TPortPU::LoadFromImage(TConfig& c) {
  tsFormats = {8, 30, 0, 1, 21, 0};
  tiFormats = {8, 11, 11, 0, 22, 0};
  tiiFormats = {4, 0, 0, 0, 23, 36};
  if (!EnterSection(c, 101)) return;
  ReadKeys(c, false);
  LoadOutputTables(c);
}

void TPortPU::LoadFromShortImage(TConfig& c) {
  tsFormats = {8, 30, 0, 1, 21, 0};
  tiFormats = {8, 11, 11, 0, 22, 0};
  tiiFormats = {4, 0, 0, 0, 23, 36};
  if (c.NextShortSection() != 101) return;
  if (!CheckVersion(c, true)) return;
  ReadKeys(c, true);
}

void TPortPU::UpdateChannelProtocol() {
  channelProtocol = ChannelCode(protocol);
  if (boundChannel && !BoundToProcessor()) boundChannel->channelProtocol = channelProtocol;
}

void TPortPU::SetProtocol(int p) {
  if (p < 0 || p >= kProtocols) return;
  protocol = static_cast<std::uint8_t>(p);
  if (!RetransmitterAllowed()) retransmitter = 0;
  UpdateChannelProtocol();
}

bool TPortPU::Incompatible() const {
  return boundChannel && protocol >= kLisnaM && protocol <= kLisnaCh && boundChannel->interfaces != kIfModem;
}

void TPortPU::LimitTiPerMessage() {
  bool timed = false;
  for (int i = 1; i <= 3; ++i) timed |= tiFormats[static_cast<std::size_t>(i)] == 35 || tiFormats[static_cast<std::size_t>(i)] == 36;
  if (timed && tiFormats[0] > 16) tiFormats[0] = 16;
}

std::string TPortPU::TiPeriodText() const {
  if (tiFormats[2] == 0) return "определяется периодом \"Опроса группы 2\"";
  int rows = Table(kSigTI) ? Table(kSigTI)->Count() : 0;
  int per = std::max<int>(1, tiFormats[0]);
  return std::to_string((rows + per - 1) / per) + " запросов";
}

// --- protocol addresses ------------------------------------------------------------------
std::vector<int> TPortPU::TiWalk(int count) const {
  const TParams* ti = Table(kSigTI);
  std::vector<int> start(static_cast<std::size_t>(std::max(count, 0)), -1);
  int group = 1, point = 1;
  for (int k = 0; k < count; ++k) {
    const TParam* r = ti ? ti->At(k) : nullptr;
    int size = std::max<int>(r ? r->valueWidth : 0, 2) / 2;
    // A row whose last point would lie beyond 8 does not fit into its group.
    start[static_cast<std::size_t>(k)] = point + size - 1 > 8 ? -1 : group * 16 + point;
    point += size;
    if (point > 8) {
      ++group;
      point = 1;
    }
  }
  return start;
}

std::string TPortPU::Address(int i, int kind, const std::vector<int>* tiStart) const {
  if (i < 0) return {};
  switch (protocol) {
    case kSirius:
    case kVikont:
      switch (kind) {
        case kSigTS: return Fmt("Гр%d Пр%d", i / 8 + 1, 8 - i % 8);
        case kSigTU:
        case kSigTR: return Fmt("Гр%d Пр%d", i / 8 + 1, i % 8 + 1);
        case kSigTII: return Fmt("Гр%d Пр%d", i / 2 + 1, i % 2 + 1);
        case kSigTI: {
          if (!tiStart || static_cast<std::size_t>(i) >= tiStart->size()) return {};
          int s = (*tiStart)[static_cast<std::size_t>(i)];
          return s < 0 ? kError : Fmt("Гр%d Пр%d", s / 16, s % 16);
        }
        default: return {};
      }
    case kIec101: {
      const TParams* t = Table(kind);
      return t ? std::to_string(t->addressBase + i) : std::string();
    }
    case kLisnaM:
      switch (kind) {
        case kSigTS: return "Пр" + std::to_string(i + 1);
        case kSigTU: return Fmt("Гр%d Пр%d", i / 16 + 1, i % 16 + 1);
        case kSigTI: return Fmt("Гр%d Пр%d", i / 8 + 1, i % 8 + 1);
        default: return {};
      }
    case kLisnaV: {
      int per = kind == kSigTS ? 20 : kind == kSigTU ? 16 : 0;
      if (!per) return {};
      // The n-th ticked КП address, in ascending order.
      int n = i / per + 1, kp = 0;
      for (int a = 1; a <= 10 && n > 0; ++a)
        if ((kpAddressSet & (1u << a)) != 0 && --n == 0) kp = a;
      if (!kp) return {};
      int j = i % per;
      return kind == kSigTS ? Fmt3("А%d Г%d П%d", kp, j / 10 + 1, j % 10 + 1) : Fmt3("А%d Г%d П%d", kp, j / 4 + 1, j % 4 + 1);
    }
    case kLisnaCh:
      switch (kind) {
        case kSigTS: return i <= 61 ? "Пр" + std::to_string(i + 1) : std::string();
        case kSigTU: return Fmt("Гр%d Пр%d", i / 16 + 1, i % 16 + 1);
        default: return {};
      }
    default: return {};
  }
}

std::string TPortPU::SignalAddressText(int row, int kind) const {
  if (kind == kSigTI && protocol <= kVikont) {
    std::vector<int> walk = TiWalk(row + 1);
    return Address(row, kind, &walk);
  }
  return Address(row, kind, nullptr);
}

std::vector<std::string> TPortPU::SignalAddressTexts(int kind, int count) const {
  std::vector<std::string> out;
  out.reserve(static_cast<std::size_t>(std::max(count, 0)));
  std::vector<int> walk;
  if (kind == kSigTI && protocol <= kVikont) walk = TiWalk(count);
  for (int i = 0; i < count; ++i) out.push_back(Address(i, kind, walk.empty() ? nullptr : &walk));
  return out;
}

}  // namespace t32
