// The picture of the logic diagram as a list of lines, rectangles, circles and texts in pixels
// (cells of 64 × 64). The editor frame paints the list; LDToSvg prints it without Qt.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace t32 {

class TPortLD;
class TLDEditor;

struct TLDOp {
  enum Kind { Line, Rect, Circle, Text };
  Kind kind = Line;
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // Text: x1, y1 only; Circle: its box
  std::uint32_t color = 0;              // 0xRRGGBB
  bool fill = false;                    // Rect: filled, else a frame
  bool bold = false;
  std::string text;
};

constexpr int kLDCell = 64;

// The operations for the view of `cols` × `rows` cells whose top-left cell is (col0, row0);
// only tasks in view are drawn. The editor (may be null) decides the selection colours and
// which labels are bold; without one the picture shows no selection. The port must be laid out.
std::vector<TLDOp> DrawLD(const TPortLD& port, const TLDEditor* editor, int col0, int row0, int cols, int rows);
// An SVG document of the operations on a white page of the given size in pixels.
std::string LDToSvg(const std::vector<TLDOp>& ops, int width, int height);

}  // namespace t32
