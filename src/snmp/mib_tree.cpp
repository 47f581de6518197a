#include "snmp/mib_tree.h"

#include <algorithm>
#include <functional>
#include <set>

namespace t32::snmp {

namespace {
std::string OidKey(const TSnmpOid& oid, bool* fits = nullptr) {
  TSNMP_Tag t;
  bool ok = t.SetOid(oid);
  if (fits) *fits = ok;
  return std::string(reinterpret_cast<const char*>(t.OidBytes), t.OidLength);
}
std::string TagKey(const TSNMP_Tag& t) { return std::string(reinterpret_cast<const char*>(t.OidBytes), t.OidLength); }

void Walk(TMibNode* n, const std::function<void(TMibNode*)>& f) {
  if (!n) return;
  f(n);
  for (auto& c : n->children) Walk(c.get(), f);
}
}  // namespace

TMibNode* TMibNode::Add(Kind k, std::string cap) {
  auto n = std::make_unique<TMibNode>();
  n->kind = k;
  n->caption = std::move(cap);
  n->parent = this;
  children.push_back(std::move(n));
  return children.back().get();
}

void TMibTree::FillRows(TMibNode* table) {
  table->children.clear();
  TSNMPObject* t = table->object;
  TSNMPObject* entry = t->Entry;
  int rows = std::clamp<int>(t->RowCount, 0, kMaxRows);
  for (int r = 1; r <= rows; ++r) {
    TMibNode* row = table->Add(TMibNode::Kind::Row, std::to_string(r));
    row->object = entry;
    row->ticked = table->ticked;
    for (const TSNMPMember& col : entry->Sequence->Columns) {
      if (!col.Object) continue;
      auto copy = std::make_unique<TSNMPObject>(*col.Object);
      copy->Name = col.Object->Name + "[" + std::to_string(r) + "]";
      copy->Oid.Append(static_cast<std::uint32_t>(r));
      copy->IsTable = copy->IsEntry = false;
      TMibNode* c = row->Add(TMibNode::Kind::Object, copy->Name);
      c->object = copy.get();
      c->copy = std::move(copy);
      c->ticked = table->ticked;
    }
  }
}

void TMibTree::AddObject(TMibNode* parent, TSNMPObject* o) {
  if (!o) return;
  if (o->IsTable) {
    // A table without columns to poll is not shown.
    if (!o->Entry || !o->Entry->Sequence || o->Entry->Sequence->Columns.empty()) return;
    TMibNode* t = parent->Add(TMibNode::Kind::Table, o->Name);
    t->object = o;
    FillRows(t);
    return;
  }
  parent->Add(TMibNode::Kind::Object, o->Name)->object = o;
}

void TMibTree::Build(TMibCatalogue& cat, const std::string& fileName) {
  root_ = std::make_unique<TMibNode>();
  root_->kind = TMibNode::Kind::Root;
  root_->caption = fileName;
  auto groups = [&](TMibNode* under, const TSNMPObjList* owner) {
    for (auto& g : cat.Groups.Items) {
      if (g->ModuleObjects != owner) continue;
      bool any = std::any_of(g->Members.begin(), g->Members.end(), [](const TSNMPMember& m) { return m.Object; });
      if (!any) continue;
      TMibNode* gn = under->Add(TMibNode::Kind::Group, g->Name);
      gn->group = g.get();
      for (const TSNMPMember& m : g->Members) AddObject(gn, m.Object);
    }
  };
  for (TSNMPModule& m : cat.Modules.Items) {
    TMibNode* mn = root_->Add(TMibNode::Kind::Module, m.Name);
    if (m.Objects)
      for (TSNMPObject* o : m.Objects->Items) AddObject(mn, o);
    groups(mn, m.Objects.get());
  }
  if (!cat.LooseObjects.Items.empty()) {
    groups(root_.get(), nullptr);
    for (TSNMPObject* o : cat.LooseObjects.Items) AddObject(root_.get(), o);
  }
}

void TMibTree::SetTicked(TMibNode* n, bool on) {
  Walk(n, [on](TMibNode* x) { x->ticked = on; });
}

void TMibTree::SetRowCount(TMibNode* table, int rows) {
  if (!table || table->kind != TMibNode::Kind::Table || !table->object) return;
  table->object->RowCount = std::clamp(rows, 0, kMaxRows);
  FillRows(table);
}

void TMibTree::TickTags(const TSNMP_TagList& tags) {
  std::set<std::string> want;
  for (const auto& t : tags.Items) want.insert(TagKey(*t));
  Walk(root_.get(), [&](TMibNode* n) {
    bool fits = false;
    n->ticked = n->Plain() && want.count(OidKey(n->object->Oid, &fits)) && fits;
  });
}

TSNMP_TagList TMibTree::Collect(const TSNMP_TagList& current, std::vector<std::string>* skipped) const {
  std::set<std::string> shown;
  Walk(root_.get(), [&](TMibNode* n) {
    bool fits = false;
    if (n->Plain()) {
      std::string k = OidKey(n->object->Oid, &fits);
      if (fits) shown.insert(k);
    }
  });
  TSNMP_TagList out;
  for (const auto& t : current.Items)
    if (!shown.count(TagKey(*t))) out.Items.push_back(std::make_unique<TSNMP_Tag>(*t));
  Walk(root_.get(), [&](TMibNode* n) {
    if (!n->ticked || !n->Plain()) return;
    auto tag = std::make_unique<TSNMP_Tag>();
    tag->Name = n->object->Name.substr(0, TSNMP_Tag::kMaxName);
    if (!tag->SetOid(n->object->Oid)) {
      if (skipped) skipped->push_back(n->object->Name);
      return;
    }
    out.Items.push_back(std::move(tag));
  });
  return out;
}

}  // namespace t32::snmp
