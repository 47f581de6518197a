#include "review/diff.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "model/document.h"
#include "model/fileio.h"
#include "model/fields.h"
#include "model/item.h"
#include "model/messages.h"
#include "model/params.h"
#include "model/rawsection.h"
#include "project/json.h"

namespace t32 {
namespace {

// Messages while reading a file for a comparison: kept for the error text, never asked.
class TQuietMessages : public TMessages {
 public:
  void ShowError(const std::string& text) override {
    if (!errors.empty()) errors += "\n";
    errors += text;
  }
  int AskConfirm(const std::string&, bool) override { return kNo; }
  std::string errors;
};

bool EndsWith(const std::string& s, const char* tail) {
  std::string t(tail);
  if (s.size() < t.size()) return false;
  for (std::size_t i = 0; i < t.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(s[s.size() - t.size() + i])) != t[i]) return false;
  return true;
}

// An item's settings as (id, value) pairs, in the order the item lists them.
using Settings = std::vector<std::pair<std::string, std::string>>;
Settings SettingsOf(TItem* item) {
  std::string text;
  TDumpVisitor v(text, "");
  item->Fields(v);
  Settings out;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    std::size_t eq = line.find(" = ");
    if (eq != std::string::npos) out.emplace_back(line.substr(0, eq), line.substr(eq + 3));
    at = end + 1;
  }
  return out;
}

std::vector<std::string> ExtraLines(const TItem* item) {
  std::string text;
  item->DumpExtra(text, "");
  std::vector<std::string> out;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    out.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return out;
}

bool IsTable(const TItem* i) { return dynamic_cast<const TParams*>(i) != nullptr; }

// What identifies an item among its siblings besides its place.
std::string Identity(const TItem* i) {
  std::string k = i->ClassName();
  k += '/';
  k += std::to_string(i->role);
  k += '/';
  k += std::to_string(i->number);
  return k;
}

// Everything an item holds but its number: equal signatures mean the same item moved.
void Signature(const TNode* n, std::string& out) {
  TItem* item = n->Item();
  out += item->ClassName();
  out += '\n';
  if (!item->keptSection.empty()) {
    out.append(item->keptSection.begin(), item->keptSection.end());
  } else {
    for (auto& [id, value] : SettingsOf(item))
      if (id != "number") out += id + "=" + value + "\n";
    item->DumpExtra(out, "");
  }
  for (int i = 0; i < n->ChildCount(); ++i) Signature(n->Child(i), out);
  out += "}\n";
}
std::string SignatureOf(const TNode* n) {
  std::string s;
  Signature(n, s);
  return s;
}

class TComparer {
 public:
  TComparer(TDocument& a, TDocument& b) : a_(a), b_(b) {}

  std::vector<TDifference> Run() {
    TNode* ra = a_.Tree().Root();
    TNode* rb = b_.Tree().Root();
    if (!ra || !rb) return {};
    Pair(ra, rb);
    MatchChildren(ra, rb);
    MatchAcross();
    MapSources(a_, sourceA_);
    MapSources(b_, sourceB_);
    Emit(ra);
    EmitAdded(rb);
    return std::move(out_);
  }

 private:
  void Pair(TNode* x, TNode* y) {
    aToB_[x] = y;
    bToA_[y] = x;
  }
  TNode* MatchOfA(const TNode* x) const {
    auto it = aToB_.find(x);
    return it == aToB_.end() ? nullptr : it->second;
  }
  TNode* MatchOfB(const TNode* y) const {
    auto it = bToA_.find(y);
    return it == bToA_.end() ? nullptr : it->second;
  }

  // Children of two matched nodes: the same identity first (the k-th of an identity with the
  // k-th), then an item of the same class whose content is equal (renumbered or moved to
  // another address), then the rest of one class in their order.
  void MatchChildren(TNode* x, TNode* y) {
    std::vector<TNode*> ua, ub;
    std::unordered_map<std::string, std::vector<TNode*>> byId;
    for (int i = 0; i < y->ChildCount(); ++i) byId[Identity(y->Child(i)->Item())].push_back(y->Child(i));
    std::unordered_map<std::string, std::size_t> used;
    for (int i = 0; i < x->ChildCount(); ++i) {
      TNode* c = x->Child(i);
      std::string id = Identity(c->Item());
      auto it = byId.find(id);
      std::size_t& k = used[id];
      if (it != byId.end() && k < it->second.size()) {
        Pair(c, it->second[k++]);
      } else {
        ua.push_back(c);
      }
    }
    for (int i = 0; i < y->ChildCount(); ++i)
      if (!MatchOfB(y->Child(i))) ub.push_back(y->Child(i));
    if (!ua.empty() && !ub.empty()) {
      std::vector<std::string> sb(ub.size());
      for (std::size_t j = 0; j < ub.size(); ++j) sb[j] = SignatureOf(ub[j]);
      for (TNode* c : ua) {
        std::string s = SignatureOf(c);
        for (std::size_t j = 0; j < ub.size(); ++j)
          if (!MatchOfB(ub[j]) && sb[j] == s) {
            Pair(c, ub[j]);
            break;
          }
      }
      for (TNode* c : ua) {
        if (MatchOfA(c)) continue;
        for (TNode* d : ub)
          if (!MatchOfB(d) && std::string(d->Item()->ClassName()) == c->Item()->ClassName()) {
            Pair(c, d);
            break;
          }
      }
    }
    for (int i = 0; i < x->ChildCount(); ++i)
      if (TNode* m = MatchOfA(x->Child(i))) MatchChildren(x->Child(i), m);
  }

  // Items left over on both sides whose whole content is equal went to another parent (a
  // device dragged to another port).
  void MatchAcross() {
    std::vector<TNode*> la, lb;
    CollectUnmatched(a_.Tree().Root(), true, la);
    CollectUnmatched(b_.Tree().Root(), false, lb);
    if (la.empty() || lb.empty()) return;
    std::unordered_map<std::string, std::vector<TNode*>> bySig;
    for (TNode* n : lb) bySig[SignatureOf(n)].push_back(n);
    for (TNode* n : la) {
      auto it = bySig.find(SignatureOf(n));
      if (it == bySig.end() || it->second.empty()) continue;
      TNode* m = it->second.front();
      it->second.erase(it->second.begin());
      Pair(n, m);
      MatchChildren(n, m);
    }
  }
  void CollectUnmatched(TNode* n, bool sideA, std::vector<TNode*>& out) {
    for (int i = 0; i < n->ChildCount(); ++i) {
      TNode* c = n->Child(i);
      bool matched = sideA ? MatchOfA(c) != nullptr : MatchOfB(c) != nullptr;
      if (!matched && !IsTable(c->Item())) out.push_back(c);
      else if (matched) CollectUnmatched(c, sideA, out);
    }
  }

  // Which source table holds each row the storage gathers (output rows share those rows).
  static void MapSources(TDocument& d, std::unordered_map<const TParam*, TNode*>& map) {
    d.Tree().ForEach([&](TNode* n) {
      auto* t = dynamic_cast<TParams*>(n->Item());
      if (t && t->IsSource())
        for (const auto& r : t->Rows())
          if (r) map.emplace(r.get(), n);
      // A kept section's own source tables: the section is the source its rows name.
      if (auto* raw = dynamic_cast<TRawSection*>(n->Item()))
        for (const auto& kt : raw->SourceTables())
          for (const auto& r : kt->Rows())
            if (r) map.emplace(r.get(), n);
    });
  }

  void Emit(TNode* x) {
    TNode* y = MatchOfA(x);
    if (!y) {
      Add({TDiffKind::Removed, NodePath(x), {}, {}, {}, {}, -1, -1, x, nullptr});
      return;
    }
    CompareItem(x, y);
    for (int i = 0; i < x->ChildCount(); ++i) Emit(x->Child(i));
  }
  void EmitAdded(TNode* y) {
    if (!MatchOfB(y)) {
      Add({TDiffKind::Added, {}, NodePath(y), {}, {}, {}, -1, -1, nullptr, y});
      return;
    }
    for (int i = 0; i < y->ChildCount(); ++i) EmitAdded(y->Child(i));
  }

  void Add(TDifference d) { out_.push_back(std::move(d)); }
  TDifference Item(TDiffKind k, TNode* x, TNode* y) {
    TDifference d;
    d.kind = k;
    d.path = NodePath(x);
    d.pathB = NodePath(y);
    d.nodeA = x;
    d.nodeB = y;
    return d;
  }

  void CompareItem(TNode* x, TNode* y) {
    TItem* ia = x->Item();
    TItem* ib = y->Item();
    bool otherParent = x->Parent() && MatchOfA(x->Parent()) != y->Parent();
    if (otherParent || ia->number != ib->number) {
      TDifference d = Item(otherParent || dynamic_cast<TBlock*>(ia) ? TDiffKind::Moved : TDiffKind::Renumbered, x, y);
      d.field = "number";
      d.oldValue = std::to_string(ia->number);
      d.newValue = std::to_string(ib->number);
      Add(std::move(d));
    }
    if (!ia->keptSection.empty() || !ib->keptSection.empty()) {
      if (ia->keptSection != ib->keptSection) {
        TDifference d = Item(TDiffKind::SectionChanged, x, y);
        d.field = "code " + std::to_string(ia->SectionCode());
        d.oldValue = std::to_string(ia->keptSection.size()) + " bytes";
        d.newValue = std::to_string(ib->keptSection.size()) + " bytes";
        Add(std::move(d));
      }
      return;
    }
    CompareSettings(x, y);
    auto* ta = dynamic_cast<TParams*>(ia);
    auto* tb = dynamic_cast<TParams*>(ib);
    if (ta && tb) {
      CompareRows(x, y, *ta, *tb);
    } else {
      CompareExtra(x, y);
    }
  }

  void CompareSettings(TNode* x, TNode* y) {
    Settings sa = SettingsOf(x->Item()), sb = SettingsOf(y->Item());
    std::unordered_map<std::string, std::vector<std::size_t>> where;
    for (std::size_t j = 0; j < sb.size(); ++j) where[sb[j].first].push_back(j);
    std::vector<bool> seen(sb.size(), false);
    std::unordered_map<std::string, std::size_t> k;
    for (auto& [id, value] : sa) {
      auto it = where.find(id);
      std::size_t& n = k[id];
      if (it != where.end() && n < it->second.size()) {
        std::size_t j = it->second[n++];
        seen[j] = true;
        if (id != "number" && sb[j].second != value) Setting(x, y, id, value, sb[j].second);
      } else if (id != "number") {
        Setting(x, y, id, value, "");
      }
    }
    for (std::size_t j = 0; j < sb.size(); ++j)
      if (!seen[j] && sb[j].first != "number") Setting(x, y, sb[j].first, "", sb[j].second);
  }
  void Setting(TNode* x, TNode* y, const std::string& id, const std::string& o, const std::string& n) {
    TDifference d = Item(TDiffKind::Changed, x, y);
    d.field = id;
    d.oldValue = o;
    d.newValue = n;
    Add(std::move(d));
  }

  // Records an item dumps beside its settings (polling blocks, agents, diagram lines): line
  // by line where both hold as many, else as one change of the line counts.
  void CompareExtra(TNode* x, TNode* y) {
    std::vector<std::string> la = ExtraLines(x->Item()), lb = ExtraLines(y->Item());
    if (la == lb) return;
    if (la.size() == lb.size()) {
      for (std::size_t i = 0; i < la.size(); ++i)
        if (la[i] != lb[i]) Setting(x, y, "record " + std::to_string(i + 1), la[i], lb[i]);
      return;
    }
    Setting(x, y, "records", std::to_string(la.size()) + " lines", std::to_string(lb.size()) + " lines");
  }

  // Names the row by its default name, from whichever side has one.
  TDifference RowDiff(TDiffKind k, TNode* x, TNode* y, const TParam* r, int i, int j, const TParam* other = nullptr) {
    TDifference d = Item(k, x, y);
    d.field = r ? r->DefaultName() : std::string();
    if (d.field.empty() && other) d.field = other->DefaultName();
    d.row = i;
    d.rowB = j;
    return d;
  }

  // What a row is known by across the two configurations. Source rows: the default name
  // after the owner's prefix (a board set to another address re-prefixes its rows). Output
  // rows: the source item (as matched into the second configuration) and that suffix, so the
  // rows of a moved board still meet; rows without a source: their default name.
  std::string RowKey(const TParam* r, bool sideA, bool source) const {
    if (!r) return {};
    if (source) return r->DefaultSuffix();
    const auto& map = sideA ? sourceA_ : sourceB_;
    auto it = r->unresolved ? map.end() : map.find(r);
    if (it != map.end()) {
      const TNode* src = sideA ? MatchOfA(it->second) : it->second;
      if (src) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "\x01%p\x01", static_cast<const void*>(src));
        return buf + r->DefaultSuffix();
      }
    }
    return "\x02" + r->DefaultName();
  }

  // Rows are matched by their keys, the k-th row of a key with the k-th (empty rows have
  // none). In output tables a row left over faces the row left over at its own index when
  // one of them is empty or unresolved: the same slot that lost (or found) its source. Rows
  // of both whose order differs from the longest common order are the moved ones.
  void CompareRows(TNode* x, TNode* y, const TParams& ta, const TParams& tb) {
    const int na = ta.Count(), nb = tb.Count();
    const bool source = ta.IsSource();
    std::vector<std::string> keyB(static_cast<std::size_t>(nb));
    std::unordered_map<std::string_view, std::vector<int>> byName;
    byName.reserve(static_cast<std::size_t>(nb));
    for (int j = 0; j < nb; ++j) {
      keyB[static_cast<std::size_t>(j)] = RowKey(tb.At(j), false, source);
    }
    for (int j = 0; j < nb; ++j) byName[keyB[static_cast<std::size_t>(j)]].push_back(j);
    std::unordered_map<std::string_view, std::size_t> taken;
    std::vector<int> match(static_cast<std::size_t>(na), -1);
    std::vector<bool> matchedB(static_cast<std::size_t>(nb), false);
    for (int i = 0; i < na; ++i) {
      std::string key = RowKey(ta.At(i), true, source);
      auto it = byName.find(key);
      if (it == byName.end()) continue;
      std::size_t& k = taken[it->first];
      if (k < it->second.size()) {
        int j = it->second[k++];
        match[static_cast<std::size_t>(i)] = j;
        matchedB[static_cast<std::size_t>(j)] = true;
      }
    }
    auto loose = [](const TParam* r) { return !r || r->unresolved || r->DefaultName().empty(); };
    if (!source)
      for (int i = 0; i < na && i < nb; ++i)
        if (match[static_cast<std::size_t>(i)] < 0 && !matchedB[static_cast<std::size_t>(i)] &&
            (loose(ta.At(i)) || loose(tb.At(i)))) {
          match[static_cast<std::size_t>(i)] = i;
          matchedB[static_cast<std::size_t>(i)] = true;
        }
    // Longest increasing run of the matched B indexes in A's order (patience sorting).
    std::vector<int> seqA;  // A indexes of matched rows in order
    for (int i = 0; i < na; ++i)
      if (match[static_cast<std::size_t>(i)] >= 0) seqA.push_back(i);
    std::vector<int> tails, tailIdx, prev(seqA.size(), -1);
    for (std::size_t s = 0; s < seqA.size(); ++s) {
      int v = match[static_cast<std::size_t>(seqA[s])];
      auto pos = std::lower_bound(tails.begin(), tails.end(), v) - tails.begin();
      if (pos > 0) prev[s] = tailIdx[static_cast<std::size_t>(pos - 1)];
      if (static_cast<std::size_t>(pos) == tails.size()) {
        tails.push_back(v);
        tailIdx.push_back(static_cast<int>(s));
      } else {
        tails[static_cast<std::size_t>(pos)] = v;
        tailIdx[static_cast<std::size_t>(pos)] = static_cast<int>(s);
      }
    }
    std::vector<bool> inOrder(static_cast<std::size_t>(na), false);
    for (int s = tailIdx.empty() ? -1 : tailIdx.back(); s >= 0; s = prev[static_cast<std::size_t>(s)])
      inOrder[static_cast<std::size_t>(seqA[static_cast<std::size_t>(s)])] = true;

    for (int i = 0; i < na; ++i) {
      const TParam* ra = ta.At(i);
      int j = match[static_cast<std::size_t>(i)];
      if (j < 0) {
        TDifference d = RowDiff(TDiffKind::RowRemoved, x, y, ra, i, -1);
        d.oldValue = ra ? ra->Name() : std::string();
        Add(std::move(d));
        continue;
      }
      const TParam* rb = tb.At(j);
      if (!inOrder[static_cast<std::size_t>(i)]) Add(RowDiff(TDiffKind::RowMoved, x, y, ra, i, j, rb));
      if (!ra || !rb) continue;
      // An output row that shares its source's row shows the source's name and settings:
      // those differences belong to the source table, where they are told once.
      bool ownA = source || ra->unresolved || ra->DefaultName().empty() || !sourceA_.count(ra);
      bool ownB = source || rb->unresolved || rb->DefaultName().empty() || !sourceB_.count(rb);
      if (ownA && ownB) {
        // A name that differs only by the owner's new prefix moved along with its owner.
        if (ra->Name() != rb->Name() && (ra->Suffix() != rb->Suffix() || ra->DefaultName().empty())) {
          TDifference d = RowDiff(TDiffKind::RowRenamed, x, y, ra, i, j, rb);
          d.oldValue = ra->Name();
          d.newValue = rb->Name();
          Add(std::move(d));
        }
        CompareRowSettings(x, y, *ra, *rb, i, j);
      }
      if (!source) CompareSource(x, y, *ra, *rb, i, j);
    }
    for (int j = 0; j < nb; ++j)
      if (!matchedB[static_cast<std::size_t>(j)]) {
        const TParam* rb = tb.At(j);
        TDifference d = RowDiff(TDiffKind::RowAdded, x, y, rb, -1, j);
        d.newValue = rb ? rb->Name() : std::string();
        Add(std::move(d));
      }
  }

  void RowSetting(TNode* x, TNode* y, const TParam& r, int i, int j, const char* id, std::string o, std::string n) {
    if (o == n) return;
    TDifference d = RowDiff(TDiffKind::RowChanged, x, y, &r, i, j);
    d.field = r.DefaultName() + ": " + id;
    d.oldValue = std::move(o);
    d.newValue = std::move(n);
    Add(std::move(d));
  }
  static std::string Num(float f) {
    char b[32];
    std::snprintf(b, sizeof b, "%.7g", static_cast<double>(f));
    return b;
  }
  void CompareRowSettings(TNode* x, TNode* y, const TParam& ra, const TParam& rb, int i, int j) {
    RowSetting(x, y, ra, i, j, "number", std::to_string(ra.number), std::to_string(rb.number));
    RowSetting(x, y, ra, i, j, "valueWidth", std::to_string(ra.valueWidth), std::to_string(rb.valueWidth));
    RowSetting(x, y, ra, i, j, "inversion", std::to_string(ra.inversion), std::to_string(rb.inversion));
    RowSetting(x, y, ra, i, j, "tsKind", std::to_string(ra.tsKind), std::to_string(rb.tsKind));
    RowSetting(x, y, ra, i, j, "gain", Num(ra.gain), Num(rb.gain));
    RowSetting(x, y, ra, i, j, "offset", Num(ra.offset), Num(rb.offset));
    RowSetting(x, y, ra, i, j, "group", ra.group, rb.group);
    RowSetting(x, y, ra, i, j, "blockOn", ra.blockOn ? ra.blockOn->Name() : "", rb.blockOn ? rb.blockOn->Name() : "");
    RowSetting(x, y, ra, i, j, "blockOff", ra.blockOff ? ra.blockOff->Name() : "",
               rb.blockOff ? rb.blockOff->Name() : "");
  }

  // The source of an output row: the item whose source table holds it, or none.
  void CompareSource(TNode* x, TNode* y, const TParam& ra, const TParam& rb, int i, int j) {
    auto sa = sourceA_.find(&ra);
    auto sb = sourceB_.find(&rb);
    TNode* na = ra.unresolved || sa == sourceA_.end() ? nullptr : sa->second;
    TNode* nb = rb.unresolved || sb == sourceB_.end() ? nullptr : sb->second;
    if (!na && !nb) return;
    if (na && nb && MatchOfA(na) == nb) return;
    TDifference d = RowDiff(TDiffKind::SourceChanged, x, y, &ra, i, j, &rb);
    d.oldValue = na ? NodePath(na) : "unresolved";
    d.newValue = nb ? NodePath(nb) : "unresolved";
    Add(std::move(d));
  }

  TDocument& a_;
  TDocument& b_;
  std::unordered_map<const TNode*, TNode*> aToB_, bToA_;
  std::unordered_map<const TParam*, TNode*> sourceA_, sourceB_;
  std::vector<TDifference> out_;
};

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

}  // namespace

std::string NodePath(const TNode* n) {
  if (!n) return {};
  std::vector<std::string> parts;
  for (const TNode* p = n; p && p->Parent(); p = p->Parent()) {
    std::string seg = p->caption;
    int same = 1;
    for (const TNode* s = p->PrevSibling(); s; s = s->PrevSibling())
      if (s->caption == p->caption) ++same;
    if (same > 1) seg += "#" + std::to_string(same);
    parts.push_back(std::move(seg));
  }
  if (parts.empty()) return n->caption;
  std::string out;
  for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
    if (!out.empty()) out += '/';
    out += *it;
  }
  return out;
}

std::vector<TDifference> CompareConfigurations(TDocument& a, TDocument& b) { return TComparer(a, b).Run(); }

TDifference Mirror(const TDifference& d) {
  TDifference m = d;
  if (d.kind == TDiffKind::Added) m.kind = TDiffKind::Removed;
  if (d.kind == TDiffKind::Removed) m.kind = TDiffKind::Added;
  if (d.kind == TDiffKind::RowAdded) m.kind = TDiffKind::RowRemoved;
  if (d.kind == TDiffKind::RowRemoved) m.kind = TDiffKind::RowAdded;
  std::swap(m.path, m.pathB);
  std::swap(m.oldValue, m.newValue);
  std::swap(m.row, m.rowB);
  std::swap(m.nodeA, m.nodeB);
  return m;
}

const char* DiffKindName(TDiffKind k) {
  switch (k) {
    case TDiffKind::Added: return "added";
    case TDiffKind::Removed: return "removed";
    case TDiffKind::Moved: return "moved";
    case TDiffKind::Renumbered: return "renumbered";
    case TDiffKind::Changed: return "changed";
    case TDiffKind::SectionChanged: return "section";
    case TDiffKind::RowAdded: return "row-added";
    case TDiffKind::RowRemoved: return "row-removed";
    case TDiffKind::RowRenamed: return "row-renamed";
    case TDiffKind::RowMoved: return "row-moved";
    case TDiffKind::RowChanged: return "row-changed";
    case TDiffKind::SourceChanged: return "source";
  }
  return "?";
}

const char* DiffKindCaption(TDiffKind k) {
  switch (k) {
    case TDiffKind::Added: return "Добавлено";
    case TDiffKind::Removed: return "Удалено";
    case TDiffKind::Moved: return "Перемещено";
    case TDiffKind::Renumbered: return "Новый номер";
    case TDiffKind::Changed: return "Изменено";
    case TDiffKind::SectionChanged: return "Секция изменена";
    case TDiffKind::RowAdded: return "Строка добавлена";
    case TDiffKind::RowRemoved: return "Строка удалена";
    case TDiffKind::RowRenamed: return "Строка переименована";
    case TDiffKind::RowMoved: return "Строка перемещена";
    case TDiffKind::RowChanged: return "Строка изменена";
    case TDiffKind::SourceChanged: return "Источник изменён";
  }
  return "?";
}

std::string DifferenceLine(const TDifference& d) {
  auto place = [&] { return d.path == d.pathB || d.pathB.empty() ? d.path : d.path.empty() ? d.pathB : d.path + " -> " + d.pathB; };
  auto rows = [&] {
    if (d.row >= 0 && d.rowB >= 0 && d.row != d.rowB) return "[" + std::to_string(d.row) + " -> " + std::to_string(d.rowB) + "]";
    return "[" + std::to_string(d.row >= 0 ? d.row : d.rowB) + "]";
  };
  std::string k = DiffKindName(d.kind);
  switch (d.kind) {
    case TDiffKind::Added: return k + " " + d.pathB;
    case TDiffKind::Removed: return k + " " + d.path;
    case TDiffKind::Moved:
    case TDiffKind::Renumbered: return k + " " + d.path + " -> " + d.pathB;
    case TDiffKind::Changed:
      return k + " " + place() + ": " + d.field + ": " + d.oldValue + " -> " + d.newValue;
    case TDiffKind::SectionChanged: return k + " " + place() + ": " + d.field + ": " + d.oldValue + " -> " + d.newValue;
    case TDiffKind::RowAdded: return k + " " + d.pathB + rows() + " " + Quoted(d.newValue);
    case TDiffKind::RowRemoved: return k + " " + d.path + rows() + " " + Quoted(d.oldValue);
    case TDiffKind::RowMoved: return k + " " + place() + rows() + " " + Quoted(d.field);
    case TDiffKind::RowRenamed:
      return k + " " + place() + rows() + " " + Quoted(d.field) + ": " + Quoted(d.oldValue) + " -> " + Quoted(d.newValue);
    case TDiffKind::RowChanged:
    case TDiffKind::SourceChanged:
      return k + " " + place() + rows() + " " + d.field + ": " + d.oldValue + " -> " + d.newValue;
  }
  return k;
}

std::string DifferencesText(const std::vector<TDifference>& list) {
  std::string out;
  for (const auto& d : list) out += DifferenceLine(d) + "\n";
  return out;
}

std::string DifferencesJson(const std::vector<TDifference>& list) {
  nlohmann::ordered_json arr = nlohmann::ordered_json::array();
  for (const auto& d : list) {
    nlohmann::ordered_json o;
    o["kind"] = DiffKindName(d.kind);
    if (!d.path.empty()) o["path"] = d.path;
    if (!d.pathB.empty()) o["pathB"] = d.pathB;
    if (!d.field.empty()) o["field"] = d.field;
    if (!d.oldValue.empty()) o["old"] = d.oldValue;
    if (!d.newValue.empty()) o["new"] = d.newValue;
    if (d.row >= 0) o["row"] = d.row;
    if (d.rowB >= 0) o["rowB"] = d.rowB;
    arr.push_back(std::move(o));
  }
  // Names are cut to whole characters, but a kept foreign byte must not stop the output.
  return arr.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

bool LoadConfiguration(TDocument& doc, const std::string& path, TCpu* cpu, std::string* error) {
  TQuietMessages quiet;
  TMessages* own = &doc.Messages();
  doc.SetMessages(&quiet);
  bool ok;
  std::string err;
  if (EndsWith(path, ".json")) {
    std::string text;
    ok = ReadWholeFile(path, text, &err, 64u << 20) && ImportJson(doc, text, cpu, &err);
  } else {
    ok = OpenConfigFile(doc, path, cpu);
    if (!ok) err = quiet.errors.empty() ? "cannot read " + path : quiet.errors;
  }
  doc.SetMessages(own);
  if (!ok && error) *error = err;
  return ok;
}

}  // namespace t32
