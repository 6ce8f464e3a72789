// Sets of enumeration values, stored as bit sets.
//
// Published set properties (anchors, frame sides, font styles, visibility)
// are written to files as the decimal number of their bit set, bit n standing
// for the n-th value of the enumeration, so the bits are part of the format.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace ovx {

template <class E>
class EnumSet {
 public:
  constexpr EnumSet() = default;
  constexpr EnumSet(std::initializer_list<E> values) {
    for (E v : values) bits_ |= Bit(v);
  }
  static constexpr EnumSet FromBits(std::uint32_t bits) {
    EnumSet s;
    s.bits_ = bits;
    return s;
  }

  constexpr std::uint32_t Bits() const { return bits_; }
  constexpr bool Contains(E v) const { return (bits_ & Bit(v)) != 0; }
  constexpr bool IsEmpty() const { return bits_ == 0; }
  constexpr EnumSet& Include(E v) {
    bits_ |= Bit(v);
    return *this;
  }
  constexpr EnumSet& Exclude(E v) {
    bits_ &= ~Bit(v);
    return *this;
  }
  constexpr EnumSet With(E v, bool present) const {
    EnumSet s = *this;
    return present ? s.Include(v) : s.Exclude(v);
  }

  friend constexpr bool operator==(EnumSet, EnumSet) = default;

 private:
  static constexpr std::uint32_t Bit(E v) { return std::uint32_t{1} << static_cast<unsigned>(v); }
  std::uint32_t bits_ = 0;
};

}  // namespace ovx
