#include "model/port_ip.h"

#include <algorithm>
#include <unordered_set>

#include "model/boards.h"
#include "model/config.h"
#include "model/document.h"
#include "model/factory.h"
#include "model/params.h"
#include "model/rawsection.h"
#include "model/storage.h"

namespace t32 {

namespace {
constexpr int kPCCode = 202;

std::uint32_t Le32(const std::uint8_t* b) {
  return b[0] | (std::uint32_t(b[1]) << 8) | (std::uint32_t(b[2]) << 16) | (std::uint32_t(b[3]) << 24);
}
}  // namespace

TPortIP::TPortIP() {
  name = "0_Порт_IP";
  frameClass = "TPortIPFrame";
  popup = TPopup::AddPCMenu;
  number = 255;
  iconIndex = 14;
  role = 1;
}

void TPortIP::Create(TNode* n) {
  TPort::Create(n);
  if (TDocument* d = Doc(); d && d->ProcNode())
    boundChannel = dynamic_cast<TBlock*>(d->ProcNode()->Item());
}

void TPortIP::UpdateNode() {
  if (!node) return;
  node->SetCaption(name);
  node->SetImages(iconIndex);
}

void TPortIP::SetDefaults() {
  net1Address = 0xC0A80101;
  net1Mask = 0xFFFFFF00;
  net1Gateway = 0;
  net2Address = 0xC0A80201;
  net2Mask = 0xFFFFFF00;
  net2Gateway = 0;
}

void TPortIP::Fields(TFieldVisitor& v) {
  v.Ip({"net1Address", 49}, net1Address);
  v.Ip({"net1Mask", 50}, net1Mask);
  v.Ip({"net1Gateway", 68}, net1Gateway);
  v.Ip({"net2Address", 103}, net2Address);
  v.Ip({"net2Mask", 104}, net2Mask);
  v.Ip({"net2Gateway", 105}, net2Gateway);
}

std::vector<TItem*> TPortIP::Workstations() const {
  std::vector<TItem*> out;
  for (TItem* c : ChildItems())
    // A section kept as it stood in a workstation's place counts as one: the controller reads
    // as many sections as the count says, and the status table has a row for each.
    if (c && (c->SectionCode() == kPCCode || dynamic_cast<TRawSection*>(c)) && !dynamic_cast<TParams*>(c))
      out.push_back(c);
  return out;
}

TParams* TPortIP::StatusTable() const {
  if (!node || node->ChildCount() == 0) return nullptr;
  auto* t = dynamic_cast<TParams*>(node->Child(0)->Item());
  return t && t->Type() == kSigTS && t->IsSource() && t->owner == this ? t : nullptr;
}

std::string TPortIP::StatusName(const TItem& pc, int position) {
  const auto* src = dynamic_cast<const TStatusSource*>(&pc);
  std::string tail = src && !src->Place().empty() ? src->Place() : std::to_string(position);
  return "связь_" + pc.Caption() + "_" + tail;
}

TParams* TPortIP::MakeStatusTable() {
  auto p = MakeParams(kSigTS, kRoleSource);
  p->owner = this;
  TParams* t = p.get();
  node->Tree()->Add(node, std::move(p), 0);
  return t;
}

void TPortIP::SyncStatusRows(bool keepNames) {
  if (!node) return;
  std::vector<TItem*> pcs = Workstations();
  TParams* t = StatusTable();
  if (pcs.empty()) {
    if (t) node->Tree()->Delete(t->node);
    return;
  }
  if (!t) t = MakeStatusTable();
  std::vector<TParamRef> rows;
  rows.reserve(pcs.size());
  std::unordered_set<const TParam*> taken;
  for (std::size_t i = 0; i < pcs.size(); ++i) {
    auto* src = dynamic_cast<TStatusSource*>(pcs[i]);
    TParamRef r;
    if (keepNames) {
      // Loading: the table read its rows in workstation order with the names the image held.
      if (static_cast<int>(i) < t->Count()) r = t->Ref(static_cast<int>(i));
    } else if (src) {
      r = src->statusRow.lock();
      if (r && !t->Holds(r.get())) r.reset();
    } else if (static_cast<int>(i) < t->Count()) {
      r = t->Ref(static_cast<int>(i));  // a kept section keeps the row in its place
    }
    if (!r || taken.count(r.get())) r = t->NewParam();
    taken.insert(r.get());
    const std::string def = name + "." + StatusName(*pcs[i], static_cast<int>(i) + 1);
    // A row the user renamed keeps its name; otherwise it follows its workstation.
    if (r->Name().empty() || (!keepNames && r->Name() == r->DefaultName())) r->SetName(def);
    if (r->DefaultName() != def) r->SetDefaultName(def);
    r->SplitPrefix();
    r->number = static_cast<std::int16_t>(i);
    if (src) src->statusRow = r;
    rows.push_back(std::move(r));
  }
  bool same = static_cast<int>(rows.size()) == t->Count();
  for (std::size_t i = 0; same && i < rows.size(); ++i) same = t->Ref(static_cast<int>(i)) == rows[i];
  if (!same) {
    t->ClearRows();  // `rows` still holds every row that stays
    for (TParamRef& r : rows) t->Append(r);
  }
}

void TPortIP::UpdateStatusTable() { SyncStatusRows(false); }

void TPortIP::RecountChildren() {
  pcCount = static_cast<std::uint8_t>(std::min<std::size_t>(Workstations().size(), 255));
  UpdateStatusTable();
}

TNode* TPortIP::AddWorkstation() {
  TDocument* d = Doc();
  if (!d || !node) return nullptr;
  auto item = d->Factory().MakeChild(ClassName(), kPCCode);
  if (!item) return nullptr;
  TNode* n = node->Tree()->Add(node, std::move(item));
  node->expanded = true;
  return n;
}

void TPortIP::AddChildren(int /*menuTag*/) {
  if (Workstations().size() >= 255) return;  // the count is one byte in the image
  if (AddWorkstation()) RecountChildren();
}

void TPortIP::DuplicateChild(TItem* child) {
  auto* src = dynamic_cast<TStatusSource*>(child);
  if (!src || !child->node || child->node->Parent() != node || Workstations().size() >= 255) return;
  TNode* n = AddWorkstation();
  if (!n) return;
  src->CopyInto(*n->Item());
  RecountChildren();
}

void TPortIP::EnumerateSignals(TStorageLists& lists) {
  if (TParams* t = StatusTable()) lists.Append(t);
}

void TPortIP::ResolveOutputTables() {
  for (TItem* pc : Workstations()) pc->ResolveOutputTables();
}

void TPortIP::AfterLoad() {
  for (TItem* pc : Workstations())
    if (auto* p = dynamic_cast<TPort*>(pc)) p->AfterLoad();
}

void TPortIP::AfterShortLoad() {
  for (TItem* pc : Workstations())
    if (auto* p = dynamic_cast<TPort*>(pc)) p->AfterShortLoad();
}

void TPortIP::SaveToImage(TConfig& c) {
  RecountChildren();
  std::int32_t s = c.Pos;
  c.BeginSection(100);
  c.PutU8(48, version);
  TImageWriter w(c);
  Fields(w);
  c.PutU8(20, pcCount);
  WriteChildren(c);
  c.EndSection(s);
}

void TPortIP::LoadFromImage(TConfig& c) {
  if (!EnterSection(c, 100)) return;
  TImageReader r(c);
  Fields(r);
  c.GetU8(20, pcCount);
  TDocument* d = Doc();
  if (!d || !node) return;
  const std::int32_t end = c.SectionEnd(c.Pos - 8);
  TChildReader rd(c);
  // The status table comes before the workstations it reports on: it is made with the stored
  // count of rows so that it can read its names, and linked to the workstations once they exist.
  if (pcCount > 0) {
    TParams* t = StatusTable();
    if (!t) t = MakeStatusTable();
    t->ClearRows();
    for (int i = 0; i < pcCount; ++i) t->NewEmptyRow(i);
    if (rd.Peek() == 211) rd.Load(t);
  }
  // Workstations, when this build knows their class. A section of another code in their place
  // counts as one of them and is kept as it stood, as is every workstation of a build without
  // their class.
  if (d->Factory().KnowsChild(ClassName(), kPCCode)) {
    for (int i = 0; i < pcCount && rd.Peek() >= 0; ++i) {
      if (rd.Peek() != kPCCode) {
        const std::int32_t at = c.FindSection();
        KeepRawSection(*node->Tree(), node, c, at);
        c.Pos = c.SectionEnd(at);
        continue;
      }
      TNode* n = node->Tree()->Add(node, d->Factory().MakeChild(ClassName(), kPCCode));
      rd.Load(n->Item());
    }
  } else {
    for (std::int32_t at = c.FindSection(); at >= 0 && at < end; at = c.FindSection()) {
      KeepRawSection(*node->Tree(), node, c, at);
      c.Pos = c.SectionEnd(at);
    }
  }
  SyncStatusRows(true);
  pcCount = static_cast<std::uint8_t>(Workstations().size());
  node->expanded = true;
}

void TPortIP::LoadFromShortImage(TConfig& c) {
  if (c.NextShortSection() != 100 || !CheckVersion(c, true)) return;
  std::uint32_t* ips[] = {&net1Address, &net1Mask, &net1Gateway, &net2Address, &net2Mask, &net2Gateway};
  const std::uint8_t keys[] = {49, 50, 68, 103, 104, 105};
  for (int i = 0; i < 6; ++i) {
    std::uint8_t b[4];
    if (c.GetShortEntry(keys[i], 4, b)) *ips[i] = Le32(b);
  }
  c.GetShortEntry(20, 1, &pcCount);
  TDocument* d = Doc();
  if (d && node && d->Factory().KnowsChild(ClassName(), kPCCode)) {
    const auto& img = c.Image();
    for (int i = 0; i < pcCount; ++i) {
      std::int32_t start = c.Pos;
      int code = c.NextShortSection();
      if (code == TConfig::kNoSection) break;
      std::size_t rec = static_cast<std::size_t>(c.Pos) - 4;
      std::int32_t end = static_cast<std::int32_t>(rec + (img[rec + 2] | (img[rec + 3] << 8)));
      if (code == kPCCode) {
        c.Pos = start;
        TNode* n = node->Tree()->Add(node, d->Factory().MakeChild(ClassName(), kPCCode));
        n->Item()->LoadFromShortImage(c);
      }
      c.Pos = std::min(end, c.End());
    }
  }
  SyncStatusRows(false);
  pcCount = static_cast<std::uint8_t>(Workstations().size());
  if (node) node->expanded = true;
}

}  // namespace t32
