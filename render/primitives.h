// Small drawing steps shared by frames, shapes and lines.
#pragma once

namespace ovx {

class Canvas;

// Draws `w` parallel one-pixel lines with the current pen from (x1, y1) to
// (x2, y2), side by side across the line's main direction, at offsets
// -(w div 2) .. -(w div 2) + w - 1; a width of 0 or less draws one line,
// and widths past 2^20 (beyond any device) draw 2^20 lines.
void DrawThickLine(Canvas& canvas, int x1, int y1, int x2, int y2, int w);

}  // namespace ovx
