#include "model/item.h"

#include "model/config.h"
#include "model/document.h"
#include "model/messages.h"

namespace t32 {

TItem::~TItem() = default;

TDocument* TItem::Doc() const { return node && node->Tree() ? node->Tree()->Doc() : nullptr; }

TMessages& TItem::Messages() const {
  static TRecordedMessages silent;
  TDocument* d = Doc();
  return d ? d->Messages() : silent;
}

std::string TItem::Caption() const { return node ? node->caption : name; }

std::vector<TItem*> TItem::ChildItems() const {
  std::vector<TItem*> out;
  if (node)
    for (int i = 0; i < node->ChildCount(); ++i) out.push_back(node->Child(i)->Item());
  return out;
}

void TItem::Create(TNode* n) {
  node = n;
  n->image = n->selectedImage = -1;
  n->stateIndex = -1;
  UpdateNode();
}

std::vector<std::string> TItem::SignalAddressTexts(int kind, int count) const {
  std::vector<std::string> out;
  out.reserve(static_cast<std::size_t>(count > 0 ? count : 0));
  for (int i = 0; i < count; ++i) out.push_back(SignalAddressText(i, kind));
  return out;
}

void TItem::UpdateNode() {
  if (node) node->SetCaption(name);
}

bool TItem::CheckVersion(const TConfig& c, bool shortRecords) {
  std::uint8_t v = 0;
  bool found = shortRecords ? c.GetShortEntry(48, 1, &v) : c.GetEntry(48, 1, &v);
  if (found && v > KnownVersion()) {
    Messages().ShowError("Новая версия " + name);
    // Long records: the section head stands just before Pos (every reader checks the
    // version right after entering its section). Short records cannot be written back.
    if (!shortRecords) keptSection = c.SectionBytes(c.Pos - 8);
    return false;
  }
  return true;
}

void TItem::SaveSection(TConfig& c) {
  if (!keptSection.empty())
    WriteKept(c);
  else
    SaveToImage(c);
}

void TItem::WriteKept(TConfig& c) { c.PutBytes(keptSection); }

bool TItem::ReadOnly() const {
  if (!keptSection.empty()) return true;
  // Only sections nest: the processor's ports are sections of their own beside it.
  for (const TNode* n = node ? node->Parent() : nullptr; n && n->Item(); n = n->Parent()) {
    if (n->Item()->SectionCode() < 0 || n->Item()->SectionCode() == 0) break;
    if (!n->Item()->keptSection.empty()) return true;
  }
  return false;
}

bool TItem::EnterSection(TConfig& c, int code) {
  if (c.NextSection() != code) return false;
  return CheckVersion(c);
}

void TItem::LoadChild(TConfig& c, TItem* child) {
  std::int32_t at = c.FindSection();
  if (at < 0) {
    c.Pos = c.End();
    return;
  }
  child->LoadFromImage(c);
  c.Pos = c.SectionEnd(at);
}

void TItem::WriteChildren(TConfig& c) {
  for (TItem* child : ChildItems()) child->SaveSection(c);
}

void TItem::WriteSection(TConfig& c) {
  std::int32_t s = c.Pos;
  c.BeginSection(static_cast<std::uint16_t>(SectionCode()));
  c.PutU8(48, version);
  TImageWriter w(c);
  Fields(w);
  WriteChildren(c);
  c.EndSection(s);
}

void TItem::SaveToImage(TConfig& c) {
  if (SectionCode() >= 0) WriteSection(c);
}

void TItem::LoadFromImage(TConfig& c) {
  if (SectionCode() < 0 || !EnterSection(c, SectionCode())) return;
  TImageReader r(c);
  Fields(r);
  UpdateNode();
}

void TItem::LoadFromShortImage(TConfig& c) {
  if (SectionCode() < 0) return;
  if (c.NextShortSection() != (SectionCode() & 0xFF)) return;
  CheckVersion(c, true);
}

// ---------------------------------------------------------------------------------------
TBlock::~TBlock() {
  if (boundPort) {
    TPort* p = boundPort;
    boundPort = nullptr;
    p->Unbind();
  }
}

void TBlock::Unbind() {
  if (!boundPort) return;
  boundPort = nullptr;
  // The protocol code belonged to the port that left: the channel's page shows its plain form.
  channelProtocol = 0;
  if (node) node->SetImages(0);
  UpdateParentIcon();
}

void TBlock::ShowBound() {
  if (boundPort && boundPort->node) Messages().SelectNode(boundPort->node);
}

void TBlock::UpdateNode() {
  if (node) node->SetCaption(std::to_string(number) + "_Плата " + name);
}

std::string TBlock::InterfaceText() const { return Caption(); }

void TBlock::ListInterfaces(TPort* port, std::uint16_t kinds, std::vector<TInterfaceEntry>& list) {
  if ((boundPort == nullptr || boundPort == port) && (interfaces & kinds)) list.push_back({InterfaceText(), this});
}

bool TBlock::Bind(TPort* port) {
  if (boundPort) return boundPort == port;
  boundPort = port;
  if (node) node->SetImages(iconIndex);
  UpdateParentIcon();
  return true;
}

void TBlock::SetAddress(int address) {
  number = static_cast<std::uint8_t>(address);
  addressSet.reset();
  addressSet.set(static_cast<std::size_t>(address & 0xFF));
  UpdateNode();
}

void TBlock::UpdateParentIcon() {
  if (!node || node->Level() < 2) return;
  TNode* parent = node->Parent();
  bool any = false;
  for (int i = 0; i < parent->ChildCount(); ++i)
    if (auto* b = dynamic_cast<TBlock*>(parent->Child(i)->Item()); b && b->boundPort) any = true;
  parent->SetImages(any ? parent->Item()->iconIndex : 0);
}

// ---------------------------------------------------------------------------------------
TPort::~TPort() {
  if (boundChannel) {
    TBlock* b = boundChannel;
    boundChannel = nullptr;
    if (b->boundPort == this) b->Unbind();
  }
}

void TPort::Unbind() {
  boundChannel = nullptr;
  if (node) node->SetImages(0);
}

void TPort::ShowBound() {
  if (boundChannel && boundChannel->node) Messages().SelectNode(boundChannel->node);
}

void TPort::UpdateNode() {
  if (node) node->SetCaption(std::to_string(number) + "_Порт " + name);
}

void TPort::AfterLoad() {}

std::vector<TInterfaceEntry> TPort::Interfaces() {
  std::vector<TInterfaceEntry> list{{"", nullptr}};
  TDocument* d = Doc();
  if (!d) return list;
  auto order = d->Tree().DisplayOrder();
  for (std::size_t i = 3; i < order.size(); ++i)
    if (auto* b = dynamic_cast<TBlock*>(order[i]->Item())) b->ListInterfaces(this, interfaces, list);
  return list;
}

void TPort::SelectInterface(const std::vector<TInterfaceEntry>& list, int index) {
  if (node) node->SetImages(0);
  if (boundChannel) {
    TBlock* b = boundChannel;
    boundChannel = nullptr;
    if (b->boundPort == this) b->Unbind();
  }
  if (index > 0 && index < static_cast<int>(list.size()) && list[index].block) {
    if (list[index].block->Bind(this)) {
      boundChannel = list[index].block;
      if (node) node->SetImages(iconIndex);
    }
  }
  BindingChanged();
}

void TPort::BindByAddress(int address) {
  TDocument* d = Doc();
  if (!d) return;
  auto order = d->Tree().DisplayOrder();
  TNode* ip = d->PortIPNode();
  std::size_t start = 0;
  for (std::size_t i = 0; i < order.size(); ++i)
    if (order[i] == ip) start = i + 1;
  for (std::size_t i = start; i < order.size(); ++i) {
    auto* b = dynamic_cast<TBlock*>(order[i]->Item());
    // Only a channel of a kind this port accepts carries it: a board that happens to have the
    // same number (a DI32 at that address, say) must not take the port.
    if (b && (b->interfaces & interfaces & (kIfRS232 | kIfRS485 | kIfModem)) != 0 && b->number == address) {
      if (b->Bind(this)) {
        boundChannel = b;
        if (node) node->SetImages(iconIndex);
      }
      return;
    }
  }
}

void TPort::PutBinding(TConfig& c) const {
  if (boundChannel && !BoundToProcessor()) c.PutU8(30, boundChannel->number);
}

bool TPort::BoundToProcessor() const {
  TDocument* d = Doc();
  return boundChannel && d && d->ProcNode() && boundChannel->node == d->ProcNode();
}

}  // namespace t32
