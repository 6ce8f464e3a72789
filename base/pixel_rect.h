// A rectangle in device pixels.
//
// Right and bottom are the far edges and, as on the platform's drawing
// surface, exclusive: a rectangle (0, 0, 10, 10) covers pixels 0 to 9.
#pragma once

#include <algorithm>
#include <climits>

namespace ovx {

struct PixelRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  // Saturated: a damaged file's rectangle may span more than the int range.
  int Width() const { return Span(left, right); }
  int Height() const { return Span(top, bottom); }
  bool IsEmpty() const { return right <= left || bottom <= top; }

  bool operator==(const PixelRect&) const = default;

 private:
  static int Span(int from, int to) {
    return static_cast<int>(
        std::clamp<long long>(static_cast<long long>(to) - from, INT_MIN, INT_MAX));
  }
};

}  // namespace ovx
