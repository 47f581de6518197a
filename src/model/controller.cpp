#include "model/controller.h"

#include <cstdio>
#include <cstring>

#include "model/config.h"
#include "model/cp1251.h"
#include "model/document.h"
#include "model/messages.h"

namespace t32 {

TController::TController() {
  name = "ТАВРИК32";
  frameClass = "TControllerFrame";
  popup = TPopup::BlockMenu;
  iconIndex = 3;
}

void TController::UpdateNode() {
  if (!node) return;
  node->SetCaption(name);
  node->SetImages(3);
}

std::array<TController::Cell, 16> TController::AddressRows() const {
  std::array<Cell, 16> rows;
  TDocument* d = Doc();
  if (!d) return rows;
  auto order = d->Tree().DisplayOrder();
  bool started = false;
  for (TNode* n : order) {
    if (n == d->PortIPNode()) started = true;
    if (!started) continue;
    auto* b = dynamic_cast<TBlock*>(n->Item());
    if (!b) continue;
    for (int a = 0; a < 16; ++a)
      if (b->addressSet.test(a)) {
        rows[a].text += b->name + "  ";
        rows[a].items.push_back(b);
      }
  }
  return rows;
}

std::array<TController::Cell, 5> TController::IrqRows() const {
  std::array<Cell, 5> rows;
  if (!node) return rows;
  for (int i = 1; i < node->ChildCount(); ++i) {
    auto* b = dynamic_cast<TBlock*>(node->Child(i)->Item());
    if (!b || b->irq < 3 || b->irq > 7) continue;
    rows[b->irq - 3].text += std::to_string(b->number) + "_" + b->name + "  ";
    rows[b->irq - 3].items.push_back(b);
  }
  return rows;
}

std::vector<TController::PortRow> TController::PortRows() const {
  std::vector<PortRow> rows;
  TDocument* d = Doc();
  if (!d || !d->ProcNode()) return rows;
  TNode* proc = d->ProcNode();
  for (int i = 1; i < proc->ChildCount(); ++i) {
    PortRow r;
    r.portItem = proc->Child(i)->Item();
    r.port = proc->Child(i)->caption;
    if (auto* p = dynamic_cast<TPort*>(r.portItem); p && p->boundChannel) {
      r.channelItem = p->boundChannel;
      r.channel = p->boundChannel->Caption();
    }
    rows.push_back(r);
  }
  return rows;
}

// ---------------------------------------------------------------------------------------
void TTIGroup::Encode(std::uint8_t out[kSize]) const {
  std::memcpy(out + 0, &absAperture, 4);
  std::memcpy(out + 4, &relAperture, 4);
  std::memcpy(out + 8, &upper, 4);
  std::memcpy(out + 12, &lower, 4);
  TConfig::EncodeText(name, out + 16);
}

void TTIGroup::Decode(const std::uint8_t in[kSize]) {
  std::memcpy(&absAperture, in + 0, 4);
  std::memcpy(&relAperture, in + 4, 4);
  std::memcpy(&upper, in + 8, 4);
  std::memcpy(&lower, in + 12, 4);
  name = TConfig::DecodeText(in + 16, 65);
}

TProc::TProc() {
  name = "Процессор";
  frameClass = "TProcFrame";
  popup = TPopup::PortMenu;
  number = 255;
  iconIndex = 1;
}

void TProc::UpdateNode() {
  if (!node) return;
  node->SetCaption(name);
  node->SetImages(1);
}

void TProc::SetDefaults() {
  // A new configuration starts from every default: nothing of the previous one's groups,
  // password requirements or log option may leak into it.
  stationAddress = 1;
  logRetention = 30;
  place.clear();
  saveTSInLog = 0;
  groupCount = 0;
  groups.fill(TTIGroup{});
  passwordFlags = {0, 0, 0, 0};
}

void TProc::Fields(TFieldVisitor& v) {
  v.Text({"place", 77}, place);
  v.U16({"stationAddress", 1, 0, 255}, stationAddress);
  v.U16({"logRetention", 80, 0, 65535}, logRetention);
  v.U8({"saveTSInLog", 17, 0, 1}, saveTSInLog);
  v.Bytes({"passwordFlags", 34}, passwordFlags.data(), 4);
}

void TProc::SetGroups(const std::vector<TTIGroup>& rows) {
  groupCount = 0;
  groups.fill(TTIGroup{});
  for (const TTIGroup& g : rows) {
    if (g.name.empty() || groupCount >= kMaxGroups) continue;
    groups[groupCount] = g;
    groups[groupCount].name = Utf8Left(g.name, 64);
    ++groupCount;
  }
}

void TProc::SaveToImage(TConfig& c) {
  std::int32_t s = c.Pos;
  c.BeginSection(0);
  c.PutU8(48, version);
  c.PutText(77, place);
  c.PutU16(1, stationAddress);
  c.PutU16(80, logRetention);
  c.PutU8(17, saveTSInLog);
  c.PutU8(2, BoardCount());
  c.PutU8(3, PortCount());
  std::uint32_t count = groupCount > kMaxGroups ? kMaxGroups : groupCount;
  c.PutU8(20, static_cast<std::uint8_t>(count));
  std::vector<std::uint8_t> buf(count * TTIGroup::kSize);
  for (std::uint32_t i = 0; i < count; ++i) groups[i].Encode(buf.data() + i * TTIGroup::kSize);
  c.PutEntry(46, buf.size(), buf.data());
  c.PutEntry(34, 4, passwordFlags.data());
  c.EndSection(s);
}

std::uint8_t TProc::BoardCount() const {
  TDocument* d = Doc();
  return d && d->Tree().Root() ? static_cast<std::uint8_t>(d->Tree().Root()->ChildCount()) : 1;
}

std::uint8_t TProc::PortCount() const { return node ? static_cast<std::uint8_t>(node->ChildCount()) : 1; }

void TProc::WriteKept(TConfig& c) {
  std::vector<std::uint8_t> b = keptSection;
  // The section's own entries come first; 1-byte keys 2 and 3 get the tree's counts.
  std::size_t p = 8;
  while (p + 8 <= b.size() && b[p] == 0xF2 && b[p + 1] == 0xFF) {
    unsigned key = b[p + 2] | (b[p + 3] << 8);
    std::size_t len = b[p + 4] | (b[p + 5] << 8) | (b[p + 6] << 16) | (std::size_t(b[p + 7]) << 24);
    if (len < 8 || p + len > b.size()) break;
    if (len == 9 && key == 2) b[p + 8] = BoardCount();
    if (len == 9 && key == 3) b[p + 8] = PortCount();
    p += len;
  }
  c.PutBytes(b);
}

void TProc::LoadFromImage(TConfig& c) {
  if (c.NextSection() != 0) return;
  bool readable = CheckVersion(c);
  // The board and port counts say how many sections follow: they are read even from a
  // processor section of a newer layout, or the boards and ports behind it would be lost.
  if (TDocument* d = Doc()) {
    std::uint8_t b = 0, p = 0;
    if (c.GetU8(2, b)) d->boardCount = b;
    if (c.GetU8(3, p)) d->portCount = p;
  }
  if (!readable) return;
  c.GetU16(1, stationAddress);
  c.GetU16(80, logRetention);
  c.GetU8(17, saveTSInLog);
  c.GetText(77, place);
  groupCount = 0;
  groups.fill(TTIGroup{});
  std::uint8_t count = 0;
  c.GetU8(20, count);
  if (count > kMaxGroups) {
    // A foreign image with more groups than the processor holds: keep the first hundred.
    Messages().ShowError("Число групп ТИ " + std::to_string(count) + " больше " + std::to_string(kMaxGroups) +
                         ": прочитаны первые " + std::to_string(kMaxGroups));
    count = kMaxGroups;
  }
  std::vector<std::uint8_t> buf(count * TTIGroup::kSize, 0);
  if (count) c.GetEntry(46, buf.size(), buf.data());
  for (std::uint32_t i = 0; i < count; ++i) groups[i].Decode(buf.data() + i * TTIGroup::kSize);
  groupCount = count;
  if (!c.GetEntry(34, 4, passwordFlags.data())) passwordFlags = {0, 1, 0, 0};
}

void TProc::LoadFromShortImage(TConfig& c) {
  if (c.NextShortSection() != 0) return;
  bool readable = CheckVersion(c, true);
  if (TDocument* d = Doc()) {
    std::uint8_t b = 0, p = 0;
    if (c.GetShortEntry(2, 1, &b)) d->boardCount = b;
    if (c.GetShortEntry(3, 1, &p)) d->portCount = p;
  }
  if (!readable) return;
  std::uint8_t a[2] = {static_cast<std::uint8_t>(stationAddress), static_cast<std::uint8_t>(stationAddress >> 8)};
  if (c.GetShortEntry(1, 2, a)) stationAddress = static_cast<std::uint16_t>(a[0] | (a[1] << 8));
  saveTSInLog = 0;
  groupCount = 0;
  groups.fill(TTIGroup{});
  passwordFlags = {0, 1, 0, 0};
}

void TProc::DumpExtra(std::string& out, const std::string& indent) const {
  for (std::uint32_t i = 0; i < groupCount && i < kMaxGroups; ++i) {
    char b[256];
    std::snprintf(b, sizeof b, "group %u: \"%s\" abs=%.6g rel=%.6g lower=%.6g upper=%.6g\n", i + 1,
                  groups[i].name.c_str(), static_cast<double>(groups[i].absAperture),
                  static_cast<double>(groups[i].relAperture), static_cast<double>(groups[i].lower),
                  static_cast<double>(groups[i].upper));
    out += indent + b;
  }
}

}  // namespace t32
