// A rectangle in device pixels.
//
// Right and bottom are the far edges and, as on the platform's drawing
// surface, exclusive: a rectangle (0, 0, 10, 10) covers pixels 0 to 9.
#pragma once

namespace ovx {

struct PixelRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }

  bool operator==(const PixelRect&) const = default;
};

}  // namespace ovx
