#include "model/boards.h"

#include <algorithm>
#include <cstdio>

#include "model/config.h"
#include "model/document.h"
#include "model/messages.h"
#include "model/storage.h"

namespace t32 {
namespace {

int CodeAt(const TConfig& c, std::int32_t at) {
  const auto& img = c.Image();
  if (at < 0 || static_cast<std::size_t>(at) + 4 > img.size()) return -1;
  return img[static_cast<std::size_t>(at) + 2] | (img[static_cast<std::size_t>(at) + 3] << 8);
}

// Reads the next short section with `load` when its code is `expected`, and leaves Pos behind
// that section whatever was read of it. False when no section follows.
template <class Fn>
bool ShortChild(TConfig& c, int expected, Fn load) {
  std::int32_t start = c.Pos;
  int code = c.NextShortSection();
  if (code == TConfig::kNoSection) return false;
  std::int32_t rec = c.Pos - 4;
  const auto& img = c.Image();
  std::int32_t end = rec + (img[static_cast<std::size_t>(rec) + 2] | (img[static_cast<std::size_t>(rec) + 3] << 8));
  if (code == expected) {
    c.Pos = start;
    load();
  }
  c.Pos = std::min(end, c.End());
  return true;
}

std::string Fmt(const char* f, int a, int b) {
  char buf[64];
  std::snprintf(buf, sizeof buf, f, a, b);
  return buf;
}

// Numbers kept by the board while an image overwrites the field with what it stored.
struct KeepNumber {
  TItem& item;
  std::uint8_t saved;
  explicit KeepNumber(TItem& i) : item(i), saved(i.number) {}
  // Returns the number the image held and puts the old one back.
  std::uint8_t Restore() {
    std::uint8_t read = item.number;
    item.number = saved;
    return read;
  }
};

void ResolveBelow(TNode* n) {
  for (int i = 0; i < n->ChildCount(); ++i) {
    TNode* ch = n->Child(i);
    if (auto* t = dynamic_cast<TParams*>(ch->Item())) t->ResolveReferences();
    ResolveBelow(ch);
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------
std::bitset<256> AddressesOfOtherBoards(const TDocument& doc, const TItem* except) {
  std::bitset<256> used;
  TNode* root = doc.Tree().Root();
  if (!root) return used;
  for (int i = 1; i < root->ChildCount(); ++i)
    if (auto* b = dynamic_cast<TBlock*>(root->Child(i)->Item()); b && b != except) used |= b->addressSet;
  return used;
}

std::bitset<8> IrqsOfOtherBoards(const TDocument& doc, const TItem* except) {
  std::bitset<8> used;
  TNode* root = doc.Tree().Root();
  if (!root) return used;
  for (int i = 1; i < root->ChildCount(); ++i)
    if (auto* b = dynamic_cast<TBlock*>(root->Child(i)->Item()); b && b != except && b->irq >= 3 && b->irq <= 7)
      used.set(b->irq);
  return used;
}

// ---------------------------------------------------------------------------------------
TChildReader::TChildReader(TConfig& c) : c_(c), end_(c.SectionEnd(c.Pos - 8)) {}

int TChildReader::Peek() const {
  std::int32_t at = c_.FindSection();
  if (at < 0 || at >= end_) return -1;
  return CodeAt(c_, at);
}

void TChildReader::Load(TItem* child) {
  if (Peek() < 0) return;
  if (child)
    TItem::LoadChild(c_, child);
  else
    c_.SkipNextSection();
}

void TChildReader::Skip() {
  if (Peek() >= 0) c_.SkipNextSection();
}

// ---------------------------------------------------------------------------------------
TBoard::TBoard() {
  popup = TPopup::DeleteMenu;
  addressSet.set(0);
}

std::string TBoard::Prefix() const { return std::to_string(number) + "_" + name; }

void TBoard::SetAddress(int address) {
  if (MaxNumber() < 0 || address < 0 || address > MaxNumber()) return;
  TBlock::SetAddress(address);
  Reprefix();
  RebuildStorage();
}

void TBoard::Reprefix() {
  for (TItem* ch : ChildItems()) {
    if (auto* t = dynamic_cast<TParams*>(ch); t && t->IsSource())
      t->Build(0, Prefix());
    else if (auto* b = dynamic_cast<TBoard*>(ch))
      b->Reprefix();
  }
}

void TBoard::EnumerateSignals(TStorageLists& lists) {
  for (TItem* ch : ChildItems()) {
    if (auto* t = dynamic_cast<TParams*>(ch)) {
      if (t->IsSource()) lists.Append(t);
    } else {
      ch->EnumerateSignals(lists);
    }
  }
}

void TBoard::AfterLoad() {
  if (node) ResolveBelow(node);
}

std::vector<TParams*> TBoard::Tables() const {
  std::vector<TParams*> out;
  for (TItem* ch : ChildItems())
    if (auto* t = dynamic_cast<TParams*>(ch); t && t->IsSource()) out.push_back(t);
  return out;
}

TParams* TBoard::Table(int type) const {
  for (TParams* t : Tables())
    if (t->Type() == type) return t;
  return nullptr;
}

TParams* TBoard::AddTable(int type, int index) {
  if (!node || !node->Tree()) return nullptr;
  auto t = MakeParams(type, kRoleSource);
  t->owner = this;
  TParams* p = t.get();
  node->Tree()->Add(node, std::move(t), index);
  return p;
}

void TBoard::DeleteChild(TItem* child) {
  if (child && child->node && node && node->Tree()) node->Tree()->Delete(child->node);
}

void TBoard::RebuildStorage() {
  if (TDocument* d = Doc()) d->Storage().Rebuild();
}

void TBoard::PutLegacyNames(const TParams* table, int base, std::uint8_t width) {
  TDocument* d = Doc();
  if (!d || !table || base <= 0) return;
  for (int i = 0; i < table->Count(); ++i)
    if (const TParam* r = table->At(i))
      d->Storage().PutLegacyName(i + 8 * (base - 1), table->Type(), width, r->DefaultName());
}

// ---------------------------------------------------------------------------------------
TRS232::TRS232() {
  name = "RS485";
  frameClass = "TRS232Frame";
  interfaces = kIfRS485;
  addressSet.reset();
}

std::string TRS232::InterfaceText() const {
  return Fmt("COM_%d.%d ", (number - 32) / 16, number % 16) + name;
}

void TRS232::UpdateNode() {
  if (node) node->SetCaption(InterfaceText());
}

void TRS232::SetDefaults() {
  speed = 9600;
  parity = 0;
  stopBits = 1;
  gap = 3;
  rampUp = 3;
  offDelay = 0;
}

void TRS232::Fields(TFieldVisitor& v) {
  v.U8({"number", 5}, number);
  v.U32({"speed", 6, 600, 115200}, speed);
  v.U8({"parity", 7, 0, 4}, parity);
  v.U8({"interface", 8, 0, 1}, iface);
  v.U8({"stopBits", 40, 0, 1}, stopBits);
  v.U8({"gap", 39, 2, 255}, gap);
  v.U8({"rampUp", 24, 0, 99}, rampUp);
  v.U8({"offDelay", 25, 0, 99}, offDelay);
  v.U16({"tcpPort", 95, 0, 65535}, tcpPort);
}

void TRS232::LoadFromImage(TConfig& c) {
  if (!EnterSection(c, 200)) return;
  TImageReader r(c);
  Fields(r);
  stopBits &= 1;
  if (parity > 4) parity = 0;
  SetInterface(iface > 1 ? 1 : iface);
}

void TRS232::LoadFromShortImage(TConfig& c) {
  if (c.NextShortSection() != 200 || !CheckVersion(c, true)) return;
  std::uint8_t s[4] = {static_cast<std::uint8_t>(speed), static_cast<std::uint8_t>(speed >> 8),
                       static_cast<std::uint8_t>(speed >> 16), static_cast<std::uint8_t>(speed >> 24)};
  c.GetShortEntry(5, 1, &number);
  if (c.GetShortEntry(6, 4, s)) speed = s[0] | (s[1] << 8) | (s[2] << 16) | (std::uint32_t(s[3]) << 24);
  c.GetShortEntry(7, 1, &parity);
  c.GetShortEntry(8, 1, &iface);
  c.GetShortEntry(40, 1, &stopBits);
  c.GetShortEntry(39, 1, &gap);
  c.GetShortEntry(24, 1, &rampUp);
  c.GetShortEntry(25, 1, &offDelay);
  stopBits &= 1;
  if (parity > 4) parity = 0;
  SetInterface(iface > 1 ? 1 : iface);
}

void TRS232::RecomputeTimes() {
  if (speed == 0) return;
  std::uint32_t bits = 10 + (parity != 0 ? 1 : 0) + (stopBits == 1 ? 1 : 0);
  rampUp = static_cast<std::uint8_t>(std::clamp<std::uint32_t>(bits * 2000 / speed, 3, 99));
  gap = static_cast<std::uint8_t>(std::clamp<std::uint32_t>(bits * 3000 / speed, 2, 255));
}

void TRS232::SetSpeed(std::uint32_t s) {
  speed = s;
  RecomputeTimes();
}
void TRS232::SetParity(std::uint8_t p) {
  parity = p > 4 ? 0 : p;
  RecomputeTimes();
}
void TRS232::SetStopBits(std::uint8_t index) {
  stopBits = index & 1;
  RecomputeTimes();
}

void TRS232::SetInterface(std::uint8_t i) {
  iface = i ? 1 : 0;
  name = iface ? "RS485" : "RS232";
  interfaces = iface ? kIfRS485 : kIfRS232;
  UpdateNode();
}

bool TRS232::InterfaceChoosable() const {
  return !boundPort || (boundPort->interfaces & (kIfRS232 | kIfRS485)) == (kIfRS232 | kIfRS485);
}

std::string TRS232::BoundText() const { return boundPort ? boundPort->Caption() : "Нет"; }

// ---------------------------------------------------------------------------------------
TMVS4::TMVS4() {
  name = "ПВС";
  frameClass = "TMVS4Frame";
  interfaces = kIfModem;
}

void TMVS4::Fields(TFieldVisitor& v) {
  v.U8({"number", 1, 0, 15}, number);
  v.U8({"modulation", 8, 0, 1}, modulation);
  v.U16({"freq0", 22, 0, 8000}, freq0);
  v.U16({"freq1", 23, 0, 8000}, freq1);
  v.U16({"speed", 6, 1, 60000}, speed);
  v.U16({"startSignal", 24, 10, 990}, startSignal);
  v.U8({"offDelay", 25, 0, 255}, offDelay);
  v.U8({"noiseCut", 26, 1, 254}, noiseCut);
  v.U8({"pulse1", 60, 0, 255}, pulse1);
  v.U8({"pulse2", 61, 0, 255}, pulse2);
}

void TMVS4::LoadFromImage(TConfig& c) {
  if (!EnterSection(c, 1)) return;
  KeepNumber k(*this);
  TImageReader r(c);
  Fields(r);
  std::uint8_t n = k.Restore();
  if (modulation > 1) modulation = 1;
  TBlock::SetAddress(n);
}

void TMVS4::LoadFromShortImage(TConfig& c) {
  if (c.NextShortSection() != 1 || !CheckVersion(c, true)) return;
  std::uint8_t n = number;
  auto u16 = [&](std::uint8_t key, std::uint16_t& v) {
    std::uint8_t b[2] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
    if (c.GetShortEntry(key, 2, b)) v = static_cast<std::uint16_t>(b[0] | (b[1] << 8));
  };
  c.GetShortEntry(1, 1, &n);
  c.GetShortEntry(8, 1, &modulation);
  u16(22, freq0);
  u16(23, freq1);
  u16(6, speed);
  c.GetShortEntry(60, 1, &pulse1);
  u16(24, startSignal);
  c.GetShortEntry(25, 1, &offDelay);
  c.GetShortEntry(26, 1, &noiseCut);
  if (modulation > 1) modulation = 1;
  TBlock::SetAddress(n);
}

TMVS4::Layout TMVS4::FrameLayout() const {
  Layout l;
  l.freq1Enabled = modulation == 0;
  l.freq0Caption = modulation == 0 ? "Частота 0, Гц" : "Частота   , Гц";
  l.freq1Caption = "Частота 1, Гц";
  if (channelProtocol < 10 || channelProtocol > 12) return l;
  l.modulationForced = true;
  l.freq1Enabled = true;
  l.speedVisible = l.startVisible = l.delayVisible = false;
  l.pulse1Visible = true;
  switch (channelProtocol) {
    case 12:
      l.freq0Caption = "Частота ТУ, Гц";
      l.freq1Caption = "Частота ТС, Гц";
      l.pulse1Caption = "Длина бита, мс";
      break;
    case 11:
      l.freq0Caption = "Частота ТС1, Гц";
      l.freq1Caption = "Частота ТС2, Гц";
      l.speedVisible = true;
      l.speedCaption = "Частота ТУ, Гц";
      l.pulse1Caption = "Длина бита, мс";
      break;
    default:
      l.freq0Caption = "Частота ТС, Гц";
      l.freq1Caption = "Частота ТУ, Гц";
      l.pulse1Caption = "Импульс ТС, мс";
      l.pulse2Visible = true;
      l.pulse2Caption = "Импульс ТУ, мс";
      break;
  }
  return l;
}

// ---------------------------------------------------------------------------------------
TMPI4::TMPI4(int channels) : channels_(channels == 8 ? 8 : 4) {
  name = "ППИ";
  frameClass = "TMPI4Frame";
  irq = 3;
  addressSet.set(1);
}

void TMPI4::Create(TNode* n) {
  TBoard::Create(n);
  for (int i = 0; i < channels_; ++i) AddChannel();
  Renumber();
}

void TMPI4::AddChannel() {
  if (node && node->Tree()) node->Tree()->Add(node, std::make_unique<TRS232>());
}

std::vector<TRS232*> TMPI4::Channels() const {
  std::vector<TRS232*> out;
  for (TItem* ch : ChildItems())
    if (auto* r = dynamic_cast<TRS232*>(ch)) out.push_back(r);
  return out;
}

void TMPI4::Renumber() {
  int i = 1;
  for (TRS232* ch : Channels()) {
    ch->number = static_cast<std::uint8_t>(32 + 16 * number + i++);
    ch->UpdateNode();
  }
}

void TMPI4::SetAddress(int address) {
  if (address < 0 || address > MaxNumber()) return;
  address &= ~1;
  number = static_cast<std::uint8_t>(address);
  addressSet.reset();
  addressSet.set(static_cast<std::size_t>(address));
  addressSet.set(static_cast<std::size_t>(address + 1));
  Renumber();
  UpdateNode();
}

std::string TMPI4::OccupiedText() const { return Fmt("%d - %d", number, number + 1); }

void TMPI4::Fields(TFieldVisitor& v) {
  v.U8({"number", 1, 0, 12}, number);
  v.U8({"irq", 9, 3, 7}, irq);
}

void TMPI4::LoadFromImage(TConfig& c) {
  int code = c.NextSection();
  if ((code != 2 && code != 3 && code != 9) || !CheckVersion(c)) return;
  KeepNumber k(*this);
  TImageReader r(c);
  Fields(r);
  SetAddress(k.Restore());
  if (irq < 3 || irq > 7) irq = 3;
  TChildReader rd(c);
  for (int i = 0; i < 8; ++i) {
    int cc = rd.Peek();
    if (cc < 0) break;
    // Written with eight channels under code 9: the board grows so none of them is lost.
    if (cc == 200 && i == 4 && channels_ == 4) {
      channels_ = 8;
      for (int k2 = 0; k2 < 4; ++k2) AddChannel();
    }
    auto chans = Channels();
    if (cc == 200 && i < static_cast<int>(chans.size()))
      rd.Load(chans[static_cast<std::size_t>(i)]);
    else
      rd.Skip();
  }
  Renumber();
}

void TMPI4::LoadFromShortImage(TConfig& c) {
  int code = c.NextShortSection();
  if ((code != 2 && code != 3 && code != 9) || !CheckVersion(c, true)) return;
  std::uint8_t n = number;
  c.GetShortEntry(1, 1, &n);
  c.GetShortEntry(9, 1, &irq);
  if (irq < 3 || irq > 7) irq = 3;
  SetAddress(n);
  for (TRS232* ch : Channels())
    if (!ShortChild(c, 200, [&] { ch->LoadFromShortImage(c); })) break;
  Renumber();
}

// ---------------------------------------------------------------------------------------
TDI32::TDI32() {
  name = "DI32";
  frameClass = "TDI32Frame";
  interfaces = kIfTS;
}

void TDI32::Create(TNode* n) {
  TBoard::Create(n);
  if (TParams* t = AddTable(kSigTS)) t->Build(32, Prefix());
  RebuildStorage();
}

void TDI32::SetDebounce(std::uint8_t index) { debounce = index > 3 ? 2 : index; }

void TDI32::Fields(TFieldVisitor& v) {
  v.U8({"number", 1, 0, 14}, number);
  v.U8({"debounce", 17, 0, 3}, debounce);
}

void TDI32::LoadFromImage(TConfig& c) {
  if (!EnterSection(c, 4)) return;
  KeepNumber k(*this);
  TImageReader r(c);
  Fields(r);
  SetDebounce(debounce);
  SetAddress(k.Restore());
  TChildReader rd(c);
  rd.Load(Table(kSigTS));
}

void TDI32::LoadFromShortImage(TConfig& c) {
  if (c.NextShortSection() != 4 || !CheckVersion(c, true)) return;
  std::uint8_t n = number, b = 0;
  std::uint8_t deb[4] = {debounce, 0, 0, 0};
  c.GetShortEntry(1, 1, &n);
  if (c.GetShortEntry(17, 4, deb)) SetDebounce(deb[0]);
  SetAddress(n);
  if (c.GetShortEntry(10, 1, &b)) PutLegacyNames(Table(kSigTS), b, 0);
}

// ---------------------------------------------------------------------------------------
TAI8::TAI8(int port) {
  name = "AI8";
  frameClass = "TAI8Frame";
  number = static_cast<std::uint8_t>(port);
  interfaces = kIfTI;
  addressSet.reset();
  ranges.fill(3);
}

std::string TAI8::Prefix() const {
  std::string board;
  if (node && node->Parent())
    if (auto* b = dynamic_cast<TBoard*>(node->Parent()->Item())) board = b->Prefix();
  return board + "." + std::to_string(number) + "_Порт";
}

void TAI8::Create(TNode* n) {
  TBoard::Create(n);
  RebuildTable();
}

void TAI8::UpdateNode() {
  if (node) node->SetCaption("Порт" + std::to_string(number) + "_" + name);
}

int TAI8::ChannelCount() const {
  if (connection == 0 || connection > 2) return 0;
  int n = multiplexers ? 32 * std::min<int>(multiplexers, 8) : 8;
  return connection == 2 ? n / 2 : n;
}

void TAI8::RebuildTable() {
  int count = ChannelCount();
  for (TParams* t : Tables())
    if (t->Type() != kSigTI || count == 0) DeleteChild(t);
  if (count == 0) return;
  TParams* t = Table(kSigTI);
  if (!t) t = AddTable(kSigTI);
  if (t) t->Build(count, Prefix());
}

void TAI8::SetConnection(std::uint8_t c) {
  connection = c > 2 ? 0 : c;
  RebuildTable();
  RebuildStorage();
}

void TAI8::SetMultiplexers(std::uint8_t m) {
  multiplexers = std::min<std::uint8_t>(m, 8);
  RebuildTable();
  RebuildStorage();
}

std::string TAI8::RangeRowHeader(int row) const { return Fmt("%d - %d", row * 8 + 1, row * 8 + 8); }

void TAI8::Fields(TFieldVisitor& v) {
  v.U8({"number", 1, 1, 2}, number);
  v.U8({"connection", 8, 0, 2}, connection);
  v.U8({"multiplexers", 14, 0, 8}, multiplexers);
  v.I16({"zeroOffset", 42, -32768, 32767}, zeroOffset);
  v.Bytes({"ranges", 21, 0, 3}, ranges.data(), ranges.size());
}

void TAI8::LoadFromImage(TConfig& c) {
  if (!EnterSection(c, 209)) return;
  KeepNumber k(*this);
  TImageReader r(c);
  Fields(r);
  k.Restore();  // the port's number is its place on the board
  if (connection > 2) connection = 0;
  if (multiplexers > 8) multiplexers = 8;
  for (auto& x : ranges)
    if (x > 3) x = 3;
  RebuildTable();
  TChildReader rd(c);
  if (TParams* t = Table(kSigTI)) rd.Load(t);
}

void TAI8::LoadShort(std::uint8_t connectionMinus1, std::uint8_t mux, std::uint16_t zero, const std::uint8_t* r256) {
  std::uint8_t conn = static_cast<std::uint8_t>(connectionMinus1 + 1);
  connection = conn > 2 ? 0 : conn;
  multiplexers = std::min<std::uint8_t>(mux, 8);
  zeroOffset = static_cast<std::int16_t>(zero);
  for (std::size_t i = 0; i < ranges.size(); ++i) ranges[i] = r256[i] > 3 ? 3 : r256[i];
  RebuildTable();
}

// ---------------------------------------------------------------------------------------
TAO2::TAO2() {
  name = "AO2";
  frameClass = "TAO2Frame";
  number = 3;
  interfaces = kIfTR;
  addressSet.reset();
}

std::string TAO2::Prefix() const {
  std::string board;
  if (node && node->Parent())
    if (auto* b = dynamic_cast<TBoard*>(node->Parent()->Item())) board = b->Prefix();
  return board + "." + std::to_string(number) + "_Порт";
}

void TAO2::Create(TNode* n) {
  TBoard::Create(n);
  RebuildTable();
}

void TAO2::UpdateNode() {
  if (node) node->SetCaption("Порт" + std::to_string(number) + "_" + name);
}

void TAO2::RebuildTable() {
  for (TParams* t : Tables())
    if (t->Type() != kSigTR || mode == 0) DeleteChild(t);
  if (mode == 0) return;
  TParams* t = Table(kSigTR);
  if (!t) t = AddTable(kSigTR);
  if (t) t->Build(2, Prefix());
}

void TAO2::SetMode(std::uint8_t m) {
  mode = m ? 1 : 0;
  RebuildTable();
  RebuildStorage();
}

void TAO2::Fields(TFieldVisitor& v) {
  v.U8({"number", 1, 3, 3}, number);
  v.U8({"mode", 8, 0, 1}, mode);
  v.Bytes({"riseTime", 52, 0, 60000}, riseTime.data(), 4);
}

void TAO2::LoadFromImage(TConfig& c) {
  if (!EnterSection(c, 210)) return;
  KeepNumber k(*this);
  TImageReader r(c);
  Fields(r);
  k.Restore();
  if (mode > 1) mode = 1;
  RebuildTable();
  TChildReader rd(c);
  if (TParams* t = Table(kSigTR)) rd.Load(t);
}

// ---------------------------------------------------------------------------------------
TAI16::TAI16() {
  name = "AI16";
  frameClass = "TAI16Frame";
  interfaces = kIfTI;
}

void TAI16::Create(TNode* n) {
  TBoard::Create(n);
  if (node && node->Tree()) {
    node->Tree()->Add(node, std::make_unique<TAI8>(1));
    node->Tree()->Add(node, std::make_unique<TAI8>(2));
    node->Tree()->Add(node, std::make_unique<TAO2>());
  }
  RebuildStorage();
}

TAI8* TAI16::Input(int i) const {
  for (TItem* ch : ChildItems())
    if (auto* p = dynamic_cast<TAI8*>(ch); p && p->number == i) return p;
  return nullptr;
}

TAO2* TAI16::Output() const {
  for (TItem* ch : ChildItems())
    if (auto* p = dynamic_cast<TAO2*>(ch)) return p;
  return nullptr;
}

void TAI16::Fields(TFieldVisitor& v) {
  v.U8({"number", 1, 0, 14}, number);
  v.U8({"filterTime", 18, 0, 240}, filterTime);
}

void TAI16::LoadFromImage(TConfig& c) {
  if (!EnterSection(c, 5)) return;
  KeepNumber k(*this);
  TImageReader r(c);
  Fields(r);
  SetAddress(k.Restore());
  TChildReader rd(c);
  const std::pair<TItem*, int> ports[3] = {{Input(1), 209}, {Input(2), 209}, {Output(), 210}};
  for (const auto& [port, code] : ports) {
    int cc = rd.Peek();
    if (cc < 0) break;
    if (cc == code && port)
      rd.Load(port);
    else
      rd.Skip();
  }
}

void TAI16::LoadFromShortImage(TConfig& c) {
  if (c.NextShortSection() != 5 || !CheckVersion(c, true)) return;
  std::uint8_t n = number;
  c.GetShortEntry(1, 1, &n);
  c.GetShortEntry(18, 1, &filterTime);
  SetAddress(n);
  // The ports' settings stand in the board's own section.
  std::uint8_t p46[8] = {0};
  std::uint8_t p42[4] = {0};
  std::vector<std::uint8_t> p21(512, 3);
  bool have46 = c.GetShortEntry(46, 8, p46);
  c.GetShortEntry(42, 4, p42);
  c.GetShortEntry(21, 512, p21.data());
  for (int i = 0; i < 2 && have46; ++i) {
    TAI8* port = Input(i + 1);
    if (!port) continue;
    const std::uint8_t* q = p46 + 4 * i;
    port->LoadShort(q[1], q[2], static_cast<std::uint16_t>(p42[2 * i] | (p42[2 * i + 1] << 8)), p21.data() + 256 * i);
    PutLegacyNames(port->Table(kSigTI), q[0], 2);
  }
  if (TAO2* out = Output()) {
    std::uint8_t rise[4] = {0};
    std::uint8_t b = 0;
    if (c.GetShortEntry(52, 4, rise)) {
      out->riseTime[0] = static_cast<std::uint16_t>(rise[0] | (rise[1] << 8));
      out->riseTime[1] = static_cast<std::uint16_t>(rise[2] | (rise[3] << 8));
    }
    out->mode = 1;
    out->RebuildTable();
    if (c.GetShortEntry(51, 1, &b)) PutLegacyNames(out->Table(kSigTR), b, 0);
  }
}

// ---------------------------------------------------------------------------------------
namespace {
constexpr int kUnioRows[10] = {0, 24, 8, 24, 8, 24, 2, 22, 12, 12};
}

TUnio24::TUnio24(int port) {
  name = "UNIO24";
  frameClass = "TUnio24Frame";
  version = 2;
  number = static_cast<std::uint8_t>(port);
  addressSet.reset();
}

TUnio96* TUnio24::Board() const {
  return node && node->Parent() ? dynamic_cast<TUnio96*>(node->Parent()->Item()) : nullptr;
}

std::string TUnio24::Prefix() const {
  std::string board;
  if (node && node->Parent())
    if (auto* b = dynamic_cast<TBoard*>(node->Parent()->Item())) board = b->Prefix();
  return board + "." + std::to_string(number) + "_" + (mode == 6 ? name : std::string("Порт"));
}

void TUnio24::UpdateNode() {
  interfaces = mode == 0 ? 0 : (mode == 1 || mode == 6) ? kIfTS : kIfTU;
  if (!node) return;
  node->SetCaption("Порт" + std::to_string(number) + "_" + name);
  node->SetImages(mode == 0 ? 0 : mode == 6 ? 9 : 8);
}

bool TUnio24::TuTimeEnabled() const { return mode == 2 || mode == 4 || mode == 7 || mode == 8 || mode == 9; }

int TUnio24::WantedType() const {
  if (mode == 0 || mode > 9) return 0;
  if (mode == 1) return kSigTS;
  if (mode == 6) {
    TUnio96* b = Board();
    TUnio24* linked = b ? b->Port(linkedPort) : nullptr;
    return linked && linked != this && (linked->mode == 4 || linked->mode == 7) ? kSigTS : 0;
  }
  return kSigTU;
}

void TUnio24::RebuildTable() {
  int type = WantedType();
  for (TParams* t : Tables())
    if (t->Type() != type) DeleteChild(t);
  if (type == 0) return;
  TParams* t = Table(type);
  if (!t) t = AddTable(type);
  if (!t) return;
  if (mode == 6)
    t->BuildFromList({"Сбой ТУ", "Работа ТУ"}, 0, Prefix());
  else
    t->Build(kUnioRows[mode], Prefix());
}

void TUnio24::SetMode(std::uint8_t m) {
  if (m > 9) return;
  mode = m;
  UpdateNode();
  if (TUnio96* b = Board())
    b->RebuildPortTables();
  else
    RebuildTable();
  RebuildStorage();
}

void TUnio24::SetLinkedPort(std::uint8_t p) {
  linkedPort = p < 1 || p > 4 ? 1 : p;
  if (TUnio96* b = Board())
    b->RebuildPortTables();
  else
    RebuildTable();
  RebuildStorage();
}

void TUnio24::Fields(TFieldVisitor& v) {
  v.U8({"mode", 8, 0, 9}, mode);
  v.U8({"linkedPort", 72, 1, 4}, linkedPort);
  v.U16({"tuTime", 19, 100, 60000}, tuTime);
}

void TUnio24::SaveToImage(TConfig& c) {
  // The controller takes a port without signals as unused.
  if (Tables().empty() && mode != 0) {
    mode = 0;
    UpdateNode();
  }
  WriteSection(c);
}

bool TUnio24::LoadKeys(TConfig& c) {
  if (!EnterSection(c, 201)) return false;
  TImageReader r(c);
  Fields(r);
  if (mode > 9) mode = 0;
  if (linkedPort < 1 || linkedPort > 4) linkedPort = 1;
  UpdateNode();
  return true;
}

void TUnio24::LoadTable(TConfig& c) {
  if (c.NextSection() != 201) return;
  TChildReader rd(c);
  if (int type = WantedType()) rd.Load(Table(type));
}

void TUnio24::LoadFromImage(TConfig& c) {
  std::int32_t at = c.FindSection();
  bool ok = LoadKeys(c);
  RebuildTable();
  if (ok && at >= 0) {
    c.Pos = at;
    LoadTable(c);
  }
}

void TUnio24::LoadFromShortImage(TConfig& c) {
  if (c.NextShortSection() != 201 || !CheckVersion(c, true)) return;
  if (c.GetShortEntry(8, 1, &mode) && mode > 2) --mode;  // old images had no mode 2
  if (mode > 9) mode = 0;
  c.GetShortEntry(72, 1, &linkedPort);
  if (linkedPort == 0 || linkedPort > 4) linkedPort = 1;
  shortBase = 0;
  c.GetShortEntry(10, 1, &shortBase);
  UpdateNode();
}

void TUnio24::PutShortLegacyNames() {
  if (int type = WantedType()) PutLegacyNames(Table(type), shortBase, 0);
}

// ---------------------------------------------------------------------------------------
TUnio96::TUnio96() {
  name = "UNIO96";
  frameClass = "TUnio96Frame";
}

void TUnio96::Create(TNode* n) {
  TBoard::Create(n);
  RecountChildren();
  RebuildStorage();
}

std::vector<TUnio24*> TUnio96::Ports() const {
  std::vector<TUnio24*> out;
  for (TItem* ch : ChildItems())
    if (auto* p = dynamic_cast<TUnio24*>(ch)) out.push_back(p);
  return out;
}

TUnio24* TUnio96::Port(int n) const {
  for (TUnio24* p : Ports())
    if (p->number == n) return p;
  return nullptr;
}

void TUnio96::RebuildPortTables() {
  for (TUnio24* p : Ports()) p->RebuildTable();
}

void TUnio96::RecountChildren() {
  if (!node || !node->Tree()) return;
  bool changed = false;
  // Anything but a universal port does not belong here.
  for (TItem* ch : ChildItems())
    if (!dynamic_cast<TUnio24*>(ch)) {
      DeleteChild(ch);
      changed = true;
    }
  auto ports = Ports();
  while (ports.size() > 4) {
    DeleteChild(ports.back());
    ports.pop_back();
    changed = true;
  }
  while (ports.size() < 4) {
    TNode* n = node->Tree()->Add(node, std::make_unique<TUnio24>(static_cast<int>(ports.size()) + 1));
    auto* p = static_cast<TUnio24*>(n->Item());
    p->tuTime = tuTime;
    ports.push_back(p);
    changed = true;
  }
  for (std::size_t i = 0; i < ports.size(); ++i)
    if (ports[i]->number != i + 1) {
      ports[i]->number = static_cast<std::uint8_t>(i + 1);
      ports[i]->UpdateNode();
      changed = true;
    }
  if (changed) RebuildPortTables();
}

void TUnio96::Fields(TFieldVisitor& v) {
  v.U8({"number", 1, 0, 14}, number);
  v.U8({"debounce", 17, 0, 3}, debounce);
  v.U16({"tuTime", 19, 100, 60000}, tuTime);
}

void TUnio96::LoadFromImage(TConfig& c) {
  if (!EnterSection(c, 7)) return;
  KeepNumber k(*this);
  TImageReader r(c);
  Fields(r);
  if (debounce > 3) debounce = 2;
  SetAddress(k.Restore());
  for (TUnio24* p : Ports()) p->tuTime = tuTime;
  // Keys of all four ports first: a port in mode 6 takes its table from a neighbour's mode.
  TChildReader rd(c);
  std::vector<std::pair<TUnio24*, std::int32_t>> read;
  for (int i = 1; i <= 4; ++i) {
    int cc = rd.Peek();
    if (cc < 0) break;
    std::int32_t at = c.FindSection();
    if (cc == 201) {
      if (TUnio24* p = Port(i)) {
        if (p->LoadKeys(c)) read.push_back({p, at});
      }
    }
    c.Pos = c.SectionEnd(at);
  }
  RebuildPortTables();
  for (auto& [p, at] : read) {
    c.Pos = at;
    p->LoadTable(c);
  }
}

void TUnio96::LoadFromShortImage(TConfig& c) {
  if (c.NextShortSection() != 7 || !CheckVersion(c, true)) return;
  std::uint8_t n = number;
  c.GetShortEntry(1, 1, &n);
  c.GetShortEntry(17, 1, &debounce);
  if (debounce > 3) debounce = 2;
  std::uint8_t t[2] = {static_cast<std::uint8_t>(tuTime), static_cast<std::uint8_t>(tuTime >> 8)};
  if (c.GetShortEntry(19, 2, t)) tuTime = static_cast<std::uint16_t>(t[0] | (t[1] << 8));
  SetAddress(n);
  for (TUnio24* p : Ports()) {
    p->tuTime = tuTime;
    if (!ShortChild(c, 201, [&] { p->LoadFromShortImage(c); })) break;
  }
  RebuildPortTables();
  for (TUnio24* p : Ports()) p->PutShortLegacyNames();
}

// ---------------------------------------------------------------------------------------
TDO32::TDO32() {
  name = "DO32";
  frameClass = "TDO32Frame";
  number = 5;
  addressSet.reset();
  addressSet.set(1);
  addressSet.set(5);
  interfaces = kIfTU;
}

void TDO32::Create(TNode* n) {
  TBoard::Create(n);
  AddTable(kSigTS);
  AddTable(kSigTU);
  BuildTables(false);
  RebuildStorage();
}

int TDO32::TuCount(int m) {
  static constexpr int counts[5] = {15, 28, 112, 96, 96};
  return m >= 0 && m <= 4 ? counts[m] : 0;
}

std::vector<std::string> TDO32::TuNames(int m) {
  std::vector<std::string> out;
  int n = TuCount(m);
  out.reserve(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i)
    out.push_back(m <= 1 ? "Пр" + std::to_string(i + 1) : Fmt("Гр%d_Пр%d", i / 16 + 1, i % 16 + 1));
  return out;
}

void TDO32::BuildTables(bool emptyTuFirst) {
  if (TParams* ts = Table(kSigTS)) ts->BuildFromList({"Сбой ТУ", "Работа ТУ"}, 0, Prefix());
  if (TParams* tu = Table(kSigTU)) {
    if (emptyTuFirst) tu->ClearRows();
    tu->BuildFromList(TuNames(mode), 0, Prefix());
  }
}

void TDO32::SetMode(std::uint8_t m) {
  if (m > 4) return;
  bool countChanges = TuCount(m) != TuCount(mode);
  mode = m;
  BuildTables(countChanges);
  RebuildStorage();
}

void TDO32::Fields(TFieldVisitor& v) {
  v.U8({"number", 1, 5, 5}, number);
  v.U16({"tuTime", 19, 100, 60000}, tuTime);
  v.U8({"mode", 8, 0, 4}, mode);
}

void TDO32::LoadFromImage(TConfig& c) {
  if (!EnterSection(c, 15)) return;
  KeepNumber k(*this);
  TImageReader r(c);
  Fields(r);
  k.Restore();  // the number is fixed
  if (mode > 4) mode = 0;
  BuildTables(true);
  TChildReader rd(c);
  for (TParams* t : {Table(kSigTS), Table(kSigTU)}) {
    int cc = rd.Peek();
    if (cc < 0) break;
    if (t && cc == t->SectionCode())
      rd.Load(t);
    else
      rd.Skip();
  }
}

}  // namespace t32
