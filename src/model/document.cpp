#include "model/document.h"

#include <algorithm>

#include "model/controller.h"
#include "model/factory.h"
#include "model/memstream.h"
#include "model/messages.h"
#include "model/params.h"
#include "model/port_ip.h"
#include "model/rawsection.h"
#include "model/storage.h"

namespace t32 {

TDocument::TDocument(TMessages* msgs, const TItemFactory* factory)
    : messages_(msgs), factory_(factory ? factory : &DefaultFactory()), tree_(this) {
  if (!messages_) {
    ownMessages_ = std::make_unique<TRecordedMessages>();
    messages_ = ownMessages_.get();
  }
  storage_ = std::make_unique<TStorage>(*this);
  MakeFixedNodes();
}

TDocument::~TDocument() {
  // Items unbind and release their signal rows while the storage still exists.
  tree_.Delete(tree_.Root());
}

void TDocument::SetMessages(TMessages* m) {
  if (m) {
    messages_ = m;
  } else {
    if (!ownMessages_) ownMessages_ = std::make_unique<TRecordedMessages>();
    messages_ = ownMessages_.get();
  }
}

void TDocument::MakeFixedNodes() {
  tree_.BeginReset();
  TNode* root = tree_.SetRoot(std::make_unique<TController>());
  TNode* proc = tree_.Add(root, std::make_unique<TProc>());
  tree_.Add(proc, std::make_unique<TPortIP>());
  root->expanded = true;
  proc->expanded = true;
  tree_.EndReset();
}

TNode* TDocument::ProcNode() const { return tree_.Root() ? tree_.Root()->Child(0) : nullptr; }
TNode* TDocument::PortIPNode() const {
  TNode* p = ProcNode();
  return p ? p->Child(0) : nullptr;
}
TController* TDocument::Controller() const {
  return tree_.Root() ? dynamic_cast<TController*>(tree_.Root()->Item()) : nullptr;
}
TProc* TDocument::Proc() const {
  TNode* n = ProcNode();
  return n ? dynamic_cast<TProc*>(n->Item()) : nullptr;
}
TPortIP* TDocument::PortIP() const {
  TNode* n = PortIPNode();
  return n ? dynamic_cast<TPortIP*>(n->Item()) : nullptr;
}

void TDocument::NewConfiguration() {
  tree_.BeginReset();
  storage_->Enable(false);
  storage_->Clear();
  if (TNode* ip = PortIPNode())
    while (ip->ChildCount() > 0) tree_.Delete(ip->Child(ip->ChildCount() - 1));
  if (TNode* proc = ProcNode())
    while (proc->ChildCount() > 1) tree_.Delete(proc->Child(proc->ChildCount() - 1));
  if (TNode* root = tree_.Root())
    while (root->ChildCount() > 1) tree_.Delete(root->Child(root->ChildCount() - 1));
  if (PortIP()) PortIP()->RecountChildren();
  storage_->Enable(true);
  storage_->Rebuild();
  tree_.ForEach([](TNode* n) {
    if (!n->Item()) return;
    n->Item()->SetDefaults();
    n->Item()->keptSection.clear();  // the fixed items start editable again
  });
  tree_.EndReset();
}

std::int32_t TDocument::WriteRecords() {
  config_.BeginWrite();
  TNode* root = tree_.Root();
  for (int i = 0; i < root->ChildCount(); ++i) root->Child(i)->Item()->SaveSection(config_);
  TNode* proc = ProcNode();
  for (int i = 0; i < proc->ChildCount(); ++i) proc->Child(i)->Item()->SaveSection(config_);
  return config_.Pos;
}

void TDocument::ReadRecords(bool shortRecords) {
  TConfig& c = config_;
  tree_.BeginReset();
  storage_->Enable(false);
  if (shortRecords) storage_->ClearLegacyNames();
  TNode* root = tree_.Root();
  TNode* proc = ProcNode();
  TNode* ip = PortIPNode();
  auto mark = [&] { c.MarkSection(); };
  auto skip = [&] { shortRecords ? c.SkipShortSection() : c.SkipSection(); };
  auto next = [&] { return shortRecords ? c.NextShortSection() : c.NextSection(); };
  auto load = [&](TItem* item) { shortRecords ? item->LoadFromShortImage(c) : item->LoadFromImage(c); };

  // A section of a class this build does not have is kept as it stood (long records), or
  // counted as lost (short records, which are never written).
  bool dropped = false;
  auto unknown = [&](TNode* parent) {
    if (shortRecords)
      dropped = true;
    else
      KeepRawSection(tree_, parent, c, c.Pos - 8);
  };
  mark();
  load(proc->Item());
  skip();
  for (int i = 1; i < boardCount && c.Pos < c.End(); ++i) {
    mark();
    int code = next();
    if (code != TConfig::kNoSection) {
      // Whatever stood before the section record, the step ends behind this section: a
      // section is read (or kept) once.
      c.Mark = c.Pos - (shortRecords ? 4 : 8);
      if (auto item = factory_->Make(code, TItemPlace::Board)) {
        c.Pos = c.Mark;  // the item enters its own section
        TNode* n = tree_.Add(root, std::move(item));
        load(n->Item());
      } else {
        unknown(root);
      }
    }
    skip();
  }
  mark();
  load(ip->Item());
  skip();
  for (int i = 1; i < portCount && c.Pos < c.End(); ++i) {
    mark();
    int code = next();
    if (code != TConfig::kNoSection) {
      c.Mark = c.Pos - (shortRecords ? 4 : 8);
      if (auto item = factory_->Make(code, TItemPlace::Port)) {
        c.Pos = c.Mark;
        TNode* n = tree_.Add(proc, std::move(item));
        load(n->Item());
      } else {
        unknown(proc);
      }
    }
    skip();
  }
  storage_->Enable(true);
  storage_->Rebuild();
  if (!shortRecords) {
    for (int i = 1; i < root->ChildCount(); ++i)
      if (auto* b = dynamic_cast<TBlock*>(root->Child(i)->Item())) b->AfterLoad();
    for (int i = 0; i < proc->ChildCount(); ++i)
      if (auto* p = dynamic_cast<TPort*>(proc->Child(i)->Item())) p->AfterLoad();
    // Tables whose owner did not resolve them itself (rows by name or index, ТУ blocking).
    tree_.ForEach([](TNode* n) {
      if (auto* t = dynamic_cast<TParams*>(n->Item()); t && t->referencesPending) t->ResolveReferences();
    });
  } else {
    for (int i = 0; i < proc->ChildCount(); ++i)
      if (auto* p = dynamic_cast<TPort*>(proc->Child(i)->Item()); p && p->role == 1) p->AfterShortLoad();
  }
  storage_->Rebuild();
  proc->expanded = true;
  tree_.EndReset();
  // Once for the whole image, after the messages of the items themselves.
  if (HasKeptSections(tree_)) messages_->ShowError(kKeptSectionsMessage);
  if (dropped) messages_->ShowError(kDroppedSectionsMessage);
}

void TDocument::AfterEdit() {
  tree_.ForEach([](TNode* n) {
    if (n->Item()) n->Item()->RecountChildren();
  });
  storage_->Rebuild();
}

namespace {
void DumpNode(const TNode* n, int depth, std::string& out) {
  std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
  TItem* item = n->Item();
  out += indent + n->caption + "  [" + item->ClassName();
  if (item->SectionCode() >= 0) out += " " + std::to_string(item->SectionCode());
  out += "]\n";
  const std::string dot = indent + "  . ";
  if (!item->keptSection.empty()) {
    // Kept as it stood: its bytes are what is written; settings shown would be defaults.
    const auto& b = item->keptSection;
    out += dot + "kept section, " + std::to_string(b.size()) + " bytes (not edited by this version)\n";
    for (std::size_t at = 0; at < b.size(); at += 32) {
      std::string hex = OctetsToHexText(b.data() + at, std::min<std::size_t>(32, b.size() - at));
      hex.pop_back();
      out += dot + "hex " + hex + "\n";
    }
  } else {
    TDumpVisitor v(out, dot);
    item->Fields(v);
  }
  if (item->keptSection.empty() || dynamic_cast<const TRawSection*>(item)) item->DumpExtra(out, dot);
  for (int i = 0; i < n->ChildCount(); ++i) DumpNode(n->Child(i), depth + 1, out);
}
}  // namespace

std::string TDocument::Dump() const {
  std::string out;
  if (tree_.Root()) DumpNode(tree_.Root(), 0, out);
  return out;
}

}  // namespace t32
