#include "ports/ld_svg.h"

#include <algorithm>
#include <cstdio>

#include "ports/ld_editor.h"
#include "ports/port_ld.h"

namespace t32 {

namespace {
constexpr std::uint32_t kWhite = 0xFFFFFF, kBlack = 0, kBlue = 0x0000FF, kSelBlue = 0xA6CAF0, kSelGreen = 0xC0DCC0,
                        kHover = 0x008000;

struct Painter {
  const TPortLD& port;
  const TLDEditor* ed;
  int ox = 0, oy = 0;  // pixel of the task's first cell in the view
  std::vector<TLDOp>& out;

  void Line(int x1, int y1, int x2, int y2, std::uint32_t c = kBlack) { out.push_back({TLDOp::Line, x1, y1, x2, y2, c, false, false, {}}); }
  void Rect(int x1, int y1, int x2, int y2, std::uint32_t c, bool fill) { out.push_back({TLDOp::Rect, x1, y1, x2, y2, c, fill, false, {}}); }
  void Text(int x, int y, std::string t, bool bold) { out.push_back({TLDOp::Text, x, y, x, y, kBlue, false, bold, std::move(t)}); }
  int X(int col) const { return ox + col * kLDCell; }
  int Y(int row) const { return oy + row * kLDCell; }

  void Cell(int col, int row, std::uint8_t state) {
    int x = X(col), y = Y(row);
    if (!ed) state = 0;  // a picture without an editor shows no selection or pointer marks
    std::uint32_t bg = kWhite;
    if (state & kLDSelected) bg = ed && ed->rangeEnd ? kSelGreen : kSelBlue;
    Rect(x + 1, y + 1, x + 63, y + 63, bg, true);
    if (state & kLDHover) Rect(x + 1, y + 1, x + 63, y + 63, kHover, false);
  }

  const TParam* CurrentSignal() const {
    if (!ed || !ed->current) return nullptr;
    if (ed->current->Kind() == TLDKind::Coil) return static_cast<const TOutLD*>(ed->current)->row;
    return ed->current->signal.get();
  }

  void Contact(TLD& e) {
    int x = X(e.col), y = Y(e.row);
    Cell(e.col, e.row, e.state);
    Line(x + 27, y + 22, x + 27, y + 42);
    Line(x + 37, y + 22, x + 37, y + 42);
    Line(e.col == 0 ? x + 4 : x - 1, y + 32, x + 27, y + 32);
    Line(x + 37, y + 32, x + 64, y + 32);
    if (e.signal) {
      int i = port.ContactIndex(e);
      if (i >= 0) Text(x + 10, y + 46, "ТС_" + std::to_string(i), e.signal.get() == CurrentSignal());
    }
    if (e.inversion) Line(x + 27, y + 22, x + 37, y + 42);
  }

  void Element(TBaseLD& e) {
    switch (e.Kind()) {
      case TLDKind::Contact: Contact(static_cast<TLD&>(e)); break;
      case TLDKind::Shunt: {
        auto& s = static_cast<TStack&>(e);
        for (auto& b : s.branches) LineOf(*b);
        if (s.branches.empty()) break;
        int y1 = Y(s.branches.front()->row) + 32, y2 = Y(s.branches.back()->row) + 32;
        if (s.col != 0) Line(X(s.col), y1, X(s.col), y2);
        Line(X(s.col + s.width), y1, X(s.col + s.width), y2);
        break;
      }
      case TLDKind::Line: LineOf(static_cast<TLine&>(e)); break;
      case TLDKind::Coil: break;
    }
  }

  void LineOf(TLine& l) {
    for (int i = 0; i < l.width; ++i)
      Cell(l.col + i, l.row, i < static_cast<int>(l.cells.size()) ? l.cells[static_cast<std::size_t>(i)] : 0);
    int y = Y(l.row) + 32;
    Line(l.col == 0 ? ox + 4 : X(l.col), y, X(l.col + l.width), y);
    for (auto& e : l.elements) Element(*e);
  }

  void Task(int i) {
    const TTaskLD& t = *port.tasks[static_cast<std::size_t>(i)];
    TOutLD& c = *t.coil;
    Rect(ox, oy, X(c.col + 1), Y(t.height), kWhite, true);
    int x = X(c.col), y = Y(0);
    Line(x + 27, y + 32, ox + 4, y + 32);
    Cell(c.col, 0, c.state);
    out.push_back({TLDOp::Circle, x + 27, y + 22, x + 47, y + 42, kBlack, false, false, {}});
    Text(x + 17, y + 46, port.TaskSuffix(i), false);
    if (c.inversion) Line(x + 27, y + 22, x + 47, y + 42);
    LineOf(*t.line);
    Line(ox + 5, oy, ox + 5, Y(t.height));
    Line(ox + 6, oy, ox + 6, Y(t.height));
  }
};
}  // namespace

std::vector<TLDOp> DrawLD(const TPortLD& port, const TLDEditor* editor, int col0, int row0, int cols, int rows) {
  std::vector<TLDOp> out;
  (void)cols;
  int first = port.TaskAtRow(std::max(row0, 0));
  if (first < 0) return out;
  Painter p{port, editor, 0, 0, out};
  for (int i = first; i < static_cast<int>(port.tasks.size()); ++i) {
    const TTaskLD& t = *port.tasks[static_cast<std::size_t>(i)];
    if (t.row >= row0 + rows) break;
    p.ox = -col0 * kLDCell;
    p.oy = (t.row - row0) * kLDCell;
    p.Task(i);
  }
  return out;
}

namespace {
std::string Color(std::uint32_t c) {
  char b[8];
  std::snprintf(b, sizeof b, "#%06X", c & 0xFFFFFF);
  return b;
}
std::string Escape(const std::string& s) {
  std::string o;
  for (char ch : s) {
    switch (ch) {
      case '<': o += "&lt;"; break;
      case '>': o += "&gt;"; break;
      case '&': o += "&amp;"; break;
      case '"': o += "&quot;"; break;
      default: o += ch;
    }
  }
  return o;
}
}  // namespace

std::string LDToSvg(const std::vector<TLDOp>& ops, int width, int height) {
  std::string s = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) + "\" height=\"" +
                  std::to_string(height) + "\" viewBox=\"0 0 " + std::to_string(width) + " " + std::to_string(height) +
                  "\">\n<rect x=\"0\" y=\"0\" width=\"" + std::to_string(width) + "\" height=\"" + std::to_string(height) +
                  "\" fill=\"#FFFFFF\"/>\n";
  auto n = [](int v) { return std::to_string(v); };
  // Strokes run through pixel centres with square ends, as the 1-pixel pen of the window draws
  // them, so a rasterised picture puts every wire and bar on the same pixels as the PNG.
  auto h = [](int v) { return v >= 0 ? std::to_string(v) + ".5" : "-" + std::to_string(-(v + 1)) + ".5"; };
  for (const TLDOp& o : ops) {
    switch (o.kind) {
      case TLDOp::Line:
        s += "<line x1=\"" + h(o.x1) + "\" y1=\"" + h(o.y1) + "\" x2=\"" + h(o.x2) + "\" y2=\"" + h(o.y2) + "\" stroke=\"" +
             Color(o.color) + "\" stroke-linecap=\"square\"/>\n";
        break;
      case TLDOp::Rect:
        if (o.fill)
          s += "<rect x=\"" + n(o.x1) + "\" y=\"" + n(o.y1) + "\" width=\"" + n(o.x2 - o.x1) + "\" height=\"" +
               n(o.y2 - o.y1) + "\" fill=\"" + Color(o.color) + "\"/>\n";
        else
          s += "<rect x=\"" + h(o.x1) + "\" y=\"" + h(o.y1) + "\" width=\"" + n(o.x2 - o.x1 - 1) + "\" height=\"" +
               n(o.y2 - o.y1 - 1) + "\" fill=\"none\" stroke=\"" + Color(o.color) + "\"/>\n";
        break;
      case TLDOp::Circle:
        s += "<ellipse cx=\"" + h((o.x1 + o.x2) / 2) + "\" cy=\"" + h((o.y1 + o.y2) / 2) + "\" rx=\"" + n((o.x2 - o.x1) / 2) +
             "\" ry=\"" + n((o.y2 - o.y1) / 2) + "\" fill=\"none\" stroke=\"" + Color(o.color) + "\"/>\n";
        break;
      case TLDOp::Text:
        s += "<text x=\"" + n(o.x1) + "\" y=\"" + n(o.y1 + 12) + "\" font-family=\"sans-serif\" font-size=\"12\" fill=\"" +
             Color(o.color) + "\"" + (o.bold ? " font-weight=\"bold\"" : "") + ">" + Escape(o.text) + "</text>\n";
        break;
    }
  }
  s += "</svg>\n";
  return s;
}

}  // namespace t32
