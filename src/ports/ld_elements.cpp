#include "ports/ld_elements.h"

#include <algorithm>

#include "model/config.h"
#include "model/messages.h"

namespace t32 {

namespace {
void Head(TConfig& c, std::uint16_t code) {
  c.BeginSection(code);
  c.PutU8(48, 1);
}
int CodeAt(const TConfig& c, std::int32_t at) {
  const auto& img = c.Image();
  if (at < 0 || static_cast<std::size_t>(at) + 4 > img.size()) return -1;
  return img[static_cast<std::size_t>(at) + 2] | (img[static_cast<std::size_t>(at) + 3] << 8);
}
// Walks the child sections inside [Pos, end): fn(code, childEnd) with Pos just behind the
// child's head; Pos is put behind the child whatever fn read. At most `count` children of the
// accepted codes are taken (fn returns whether it took the section).
template <class Fn>
void Children(TConfig& c, std::int32_t end, int count, Fn fn) {
  int taken = 0;
  while (taken < count) {
    std::int32_t at = c.FindSection();
    if (at < 0 || at >= end) break;
    std::int32_t childEnd = std::min(end, c.SectionEnd(at));
    c.Pos = at + 8;
    if (fn(CodeAt(c, at), childEnd)) ++taken;
    c.Pos = childEnd;
  }
}
void Say(TLDReadContext& ctx, const char* text) {
  if (ctx.msgs) ctx.msgs->ShowError(text);
}
bool VersionOk(const TConfig& c, TLDReadContext& ctx, const char* text) {
  std::uint8_t v = 1;
  if (c.GetU8(48, v) && v > 1) {
    Say(ctx, text);
    return false;
  }
  return true;
}
void ReadLine(TConfig& c, std::int32_t end, TLine& line, TLDReadContext& ctx, int depth);

void ReadContact(TConfig& c, TLD& e, TLDReadContext& ctx) {
  if (!VersionOk(c, ctx, "Новая версия LD")) return;
  std::uint8_t inv = 0;
  if (c.GetU8(43, inv)) e.inversion = inv ? 1 : 0;
  e.indexRead = c.GetU16(41, e.signalIndex);
}

void ReadShunt(TConfig& c, std::int32_t end, TStack& s, TLDReadContext& ctx, int depth) {
  if (!VersionOk(c, ctx, "Новая версия StackLD")) return;
  std::uint16_t n = 0;
  c.GetU16(20, n);
  Children(c, end, n, [&](int code, std::int32_t childEnd) {
    if (code != 226) return false;
    ReadLine(c, childEnd, *s.AddBranch(), ctx, depth);
    return true;
  });
}

void ReadLine(TConfig& c, std::int32_t end, TLine& line, TLDReadContext& ctx, int depth) {
  if (!VersionOk(c, ctx, "Новая версия LineLD")) return;
  std::uint16_t n = 0;
  c.GetU16(20, n);
  Children(c, end, n, [&](int code, std::int32_t childEnd) {
    if (code == 225) {
      auto e = std::make_unique<TLD>();
      e->parent = &line;
      e->col = line.col;
      e->row = line.row;
      e->sequence = ctx.nextSequence ? ctx.nextSequence() : 0;
      ReadContact(c, *e, ctx);
      line.elements.push_back(std::move(e));
      return true;
    }
    if (code == 227) {
      if (depth >= kLDMaxDepth) {
        if (!ctx.tooDeep && ctx.msgs)
          ctx.msgs->ShowError("Схема дискретной логики: шунты вложены глубже " + std::to_string(kLDMaxDepth) +
                              " уровней, вложенные глубже не прочитаны.");
        ctx.tooDeep = true;
        return true;
      }
      auto s = std::make_unique<TStack>();
      s->parent = &line;
      s->col = line.col;
      s->row = line.row;
      TStack* sp = s.get();
      line.elements.push_back(std::move(s));
      ReadShunt(c, childEnd, *sp, ctx, depth + 1);
      return true;
    }
    return true;  // another code counts and is passed over
  });
}
}  // namespace

void ReadTask(TConfig& c, std::int32_t end, TTaskLD& task, TLDReadContext& ctx) {
  if (!VersionOk(c, ctx, "Новая версия TaskLD")) return;
  bool coil = false, line = false;
  Children(c, end, 2, [&](int code, std::int32_t childEnd) {
    if (code == 225 && !coil) {
      ReadContact(c, *task.coil, ctx);
      return coil = true;
    }
    if (code == 226 && !line) {
      ReadLine(c, childEnd, *task.line, ctx, 0);
      return line = true;
    }
    return false;
  });
}

// --- base ----------------------------------------------------------------------------------
TLine* TBaseLD::ParentLine() const { return dynamic_cast<TLine*>(parent); }

// --- contact -------------------------------------------------------------------------------
void TLD::SaveToImage(TConfig& c) const {
  std::int32_t s = c.Pos;
  Head(c, 225);
  c.PutU8(43, inversion ? 1 : 0);
  c.PutU16(41, written);
  c.EndSection(s);
}

void TLD::Hover(int c, int r) {
  state = static_cast<std::uint8_t>(c == col && r == row ? state | kLDHover : state & ~kLDHover);
}

void TLD::Select(int mode, int c, int r, TLD*& current) {
  if (mode == 0) {
    state = 0;
    return;
  }
  if (c != col || r != row) return;
  if (mode == 2) state |= kLDSelected;
  else if (mode == 3) state ^= kLDSelected;
  current = Selected() ? this : nullptr;
}

void TLD::ToggleInversion() {
  if (Selected()) inversion ^= 1;
}

std::unique_ptr<TBaseLD> TLD::Clone(TBaseLD* newParent, bool keep) const {
  auto e = std::make_unique<TLD>();
  e->parent = newParent;
  e->col = col;
  e->row = row;
  if (keep) {
    e->sequence = sequence;
    e->inversion = inversion;
    e->signal = signal;
    e->signalIndex = signalIndex;
  }
  return e;
}

// --- line ----------------------------------------------------------------------------------
void TLine::SetWidth(int w) {
  width = w;
  if (w > 0 && cells.size() < static_cast<std::size_t>(w)) cells.resize(static_cast<std::size_t>(w), 0);
}

void TLine::SaveToImage(TConfig& c) const {
  std::int32_t s = c.Pos;
  Head(c, 226);
  c.PutU16(20, static_cast<std::uint16_t>(std::min<std::size_t>(elements.size(), 0xFFFF)));
  for (std::size_t i = 0; i < elements.size() && i < 0xFFFF; ++i) elements[i]->SaveToImage(c);
  c.EndSection(s);
}

void TLine::Measure() {
  int w = 0, h = 1;
  for (auto& e : elements) {
    e->Measure();
    w += e->width;
    h = std::max(h, e->height);
  }
  SetWidth(w);
  height = h;
}

void TLine::PlaceColumn(int column, int minWidth) {
  col = column;
  int c = column;
  for (auto& e : elements) {
    e->PlaceColumn(c, 0);
    c += e->width;
  }
  SetWidth(std::max(c - column, minWidth));
}

void TLine::PlaceRow(int r) {
  row = r;
  for (auto& e : elements) e->PlaceRow(r);
}

void TLine::Hover(int c, int r) {
  for (auto& s : cells) s &= static_cast<std::uint8_t>(~kLDHover);
  for (auto& e : elements) e->Hover(c, r);
  if (r == row && c >= col && c < col + width && static_cast<std::size_t>(c - col) < cells.size())
    cells[static_cast<std::size_t>(c - col)] |= kLDHover;
}

void TLine::Select(int mode, int c, int r, TLD*& current) {
  if (mode == 0) {
    for (auto& e : elements) e->Select(0, c, r, current);
    std::fill(cells.begin(), cells.end(), 0);
    state = 0;
    return;
  }
  if (!Holds(c, r)) return;
  for (auto& e : elements) e->Select(mode, c, r, current);
  if (r == row && static_cast<std::size_t>(c - col) < cells.size()) {
    auto& s = cells[static_cast<std::size_t>(c - col)];
    if (mode == 2) s |= kLDSelected;
    else if (mode == 3) s ^= kLDSelected;
  }
}

void TLine::ToggleInversion() {
  for (auto& e : elements) e->ToggleInversion();
}

std::unique_ptr<TBaseLD> TLine::Clone(TBaseLD* newParent, bool keep) const {
  auto l = std::make_unique<TLine>();
  l->parent = newParent;
  l->topLine = topLine;
  l->col = col;
  l->row = row;
  l->height = height;
  l->SetWidth(width);
  for (auto& e : elements) l->elements.push_back(e->Clone(l.get(), keep));
  return l;
}

void TLine::ForEachContact(const std::function<void(TLD&)>& fn) {
  for (auto& e : elements) e->ForEachContact(fn);
}

TStack* TLine::Shunt() const { return topLine ? nullptr : dynamic_cast<TStack*>(parent); }

int TLine::Depth() const {
  int d = 0;
  for (const TLine* l = this; l && l->Shunt(); l = l->Shunt()->ParentLine()) ++d;
  return d;
}

TLine* TLine::InsertionPoint(int c, int r, std::size_t& pos) {
  if (!Holds(c, r)) return nullptr;
  std::size_t at = elements.size();
  for (std::size_t i = 0; i < elements.size(); ++i) {
    TBaseLD* e = elements[i].get();
    if (e->Kind() == TLDKind::Shunt && e->Holds(c, r)) {
      for (auto& b : static_cast<TStack*>(e)->branches)
        if (TLine* got = b->InsertionPoint(c, r, pos)) return got;
    }
    if (e->IsContact() && e->col == c && e->row == r) {
      at = i;
      break;
    }
    if (e->col > c) {
      at = i;
      break;
    }
  }
  if (r != row) return nullptr;
  pos = at;
  return this;
}

TLD* TLine::InsertContact(int c, int r) {
  std::size_t pos = 0;
  TLine* l = InsertionPoint(c, r, pos);
  if (!l) return nullptr;
  auto n = std::make_unique<TLD>();
  n->parent = l;
  n->col = c;
  n->row = l->row;
  TLD* p = n.get();
  l->elements.insert(l->elements.begin() + static_cast<std::ptrdiff_t>(pos), std::move(n));
  return p;
}

TLD* TLine::ContactAt(int c, int r) const {
  if (!Holds(c, r)) return nullptr;
  for (auto& e : elements) {
    if (!e->Holds(c, r)) continue;
    if (e->IsContact()) return static_cast<TLD*>(e.get());
    for (auto& b : static_cast<TStack*>(e.get())->branches)
      if (TLD* got = b->ContactAt(c, r)) return got;
    return nullptr;
  }
  return nullptr;
}

void TLine::CleanSelected() {
  std::vector<std::unique_ptr<TBaseLD>> kept;
  kept.reserve(elements.size());
  for (auto& e : elements) {
    if (e->IsContact()) {
      if (!e->Selected()) kept.push_back(std::move(e));
      continue;
    }
    auto* s = static_cast<TStack*>(e.get());
    for (auto& b : s->branches) b->CleanSelected();
    s->branches.erase(std::remove_if(s->branches.begin(), s->branches.end(),
                                     [](const std::unique_ptr<TLine>& b) { return b->elements.empty(); }),
                      s->branches.end());
    if (s->branches.size() == 1) {
      for (auto& x : s->branches[0]->elements) {
        x->parent = this;
        kept.push_back(std::move(x));
      }
    } else if (!s->branches.empty()) {
      kept.push_back(std::move(e));
    }
  }
  elements = std::move(kept);
}

// --- shunt ---------------------------------------------------------------------------------
TLine* TStack::AddBranch() {
  auto l = std::make_unique<TLine>();
  l->parent = this;
  l->col = col;
  l->row = row;
  l->SetWidth(width);
  TLine* p = l.get();
  branches.push_back(std::move(l));
  PlaceRow(row);
  return p;
}

void TStack::SaveToImage(TConfig& c) const {
  std::int32_t s = c.Pos;
  Head(c, 227);
  c.PutU16(20, static_cast<std::uint16_t>(std::min<std::size_t>(branches.size(), 0xFFFF)));
  for (std::size_t i = 0; i < branches.size() && i < 0xFFFF; ++i) branches[i]->SaveToImage(c);
  c.EndSection(s);
}

void TStack::Measure() {
  int w = 0, h = 0;
  for (auto& b : branches) {
    b->Measure();
    w = std::max(w, b->width);
    h += b->height;
  }
  width = std::max(w, 1);
  height = std::max(h, 1);
  // Placing the branches is left to the enclosing line's PlaceColumn and PlaceRow, which
  // reach every nested shunt once; doing it here as well would walk nested shunts repeatedly.
}

void TStack::PlaceColumn(int column, int) {
  col = column;
  for (auto& b : branches) b->PlaceColumn(column, width);
}

void TStack::PlaceRow(int r) {
  row = r;
  int y = r;
  for (auto& b : branches) {
    b->PlaceRow(y);
    y += b->height;
  }
  height = std::max(y - r, 1);
}

void TStack::Hover(int c, int r) {
  for (auto& b : branches) b->Hover(c, r);
}

void TStack::Select(int mode, int c, int r, TLD*& current) {
  for (auto& b : branches) b->Select(mode, c, r, current);
}

void TStack::ToggleInversion() {
  for (auto& b : branches) b->ToggleInversion();
}

std::unique_ptr<TBaseLD> TStack::Clone(TBaseLD* newParent, bool keep) const {
  auto s = std::make_unique<TStack>();
  s->parent = newParent;
  s->col = col;
  s->row = row;
  s->width = width;
  s->height = height;
  for (auto& b : branches) {
    auto nb = b->Clone(s.get(), keep);
    s->branches.push_back(std::unique_ptr<TLine>(static_cast<TLine*>(nb.release())));
  }
  return s;
}

void TStack::ForEachContact(const std::function<void(TLD&)>& fn) {
  for (auto& b : branches) b->ForEachContact(fn);
}

// --- task ----------------------------------------------------------------------------------
TTaskLD::TTaskLD(int coilColumn) : coil(std::make_unique<TOutLD>()), line(std::make_unique<TLine>()) {
  coil->col = coilColumn;
  line->parent = coil.get();
  line->topLine = true;
  line->col = 0;
  line->row = 0;
  line->SetWidth(coilColumn);
}

void TTaskLD::SaveToImage(TConfig& c) const {
  std::int32_t s = c.Pos;
  Head(c, 228);
  coil->SaveToImage(c);
  line->SaveToImage(c);
  c.EndSection(s);
}

int TTaskLD::MeasureTop() {
  TLine& l = *line;
  int h = 1, a = 0;
  for (auto& e : l.elements) {
    a = std::max(a, e->col);
    e->Measure();
    e->PlaceColumn(a, 0);
    e->PlaceRow(0);
    a += e->width;
    h = std::max(h, e->height);
  }
  l.height = h;
  if (a > l.width) {
    l.SetWidth(a);
    coil->col = std::max(coil->col, a);
  }
  height = h;
  coil->col = std::max(coil->col, l.width);
  return l.width + 1;
}

void TTaskLD::PlaceTop(int minWidth) {
  TLine& l = *line;
  int c = 0;
  for (auto& e : l.elements) {
    if (e->col < c) e->PlaceColumn(c, 0);
    c = e->col + e->width;
  }
  l.SetWidth(std::max({l.width, c, minWidth, coil->col}));
  coil->col = std::max(coil->col, l.width);
}

int TTaskLD::Contacts() const {
  int n = 0;
  line->ForEachContact([&](TLD&) { ++n; });
  return n;
}

std::unique_ptr<TTaskLD> TTaskLD::Clone(bool keep) const {
  auto t = std::make_unique<TTaskLD>(coil->col);
  t->row = row;
  t->height = height;
  if (keep) {
    t->coil->sequence = coil->sequence;
    t->coil->inversion = coil->inversion;
    t->coil->row = coil->row;
    t->coil->signalIndex = coil->signalIndex;
  }
  auto l = line->Clone(t->coil.get(), keep);
  t->line.reset(static_cast<TLine*>(l.release()));
  return t;
}

// --- text ----------------------------------------------------------------------------------
namespace {
void Text(const TBaseLD& e, const std::function<int(TLD&)>& indexOf, std::string& out) {
  switch (e.Kind()) {
    case TLDKind::Contact:
    case TLDKind::Coil: {
      auto& c = const_cast<TLD&>(static_cast<const TLD&>(e));
      if (c.inversion) out += "!";
      int i = indexOf(c);
      if (i < 0 || !c.signal) out += "?";
      else out += "ТС_" + std::to_string(i) + " \"" + c.signal->Name() + "\"";
      return;
    }
    case TLDKind::Shunt: {
      const auto& s = static_cast<const TStack&>(e);
      out += "(";
      for (std::size_t i = 0; i < s.branches.size(); ++i) {
        if (i) out += " | ";
        Text(*s.branches[i], indexOf, out);
      }
      out += ")";
      return;
    }
    case TLDKind::Line: {
      const auto& l = static_cast<const TLine&>(e);
      if (l.elements.empty()) out += "()";
      for (std::size_t i = 0; i < l.elements.size(); ++i) {
        if (i) out += " & ";
        Text(*l.elements[i], indexOf, out);
      }
      return;
    }
  }
}
}  // namespace

std::string LineText(const TLine& line, const std::function<int(TLD&)>& indexOf) {
  std::string out;
  Text(line, indexOf, out);
  return out;
}

}  // namespace t32
