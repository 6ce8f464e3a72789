// Big-endian reading and writing for font files.
//
// Every value a font parser takes from a file goes through FontBytes, which
// checks the offset against the end of its view before it reads; a read past
// the end throws the format error naming what was being read, so damaged and
// hostile files give an error and never a read outside the buffer. Offsets
// are 64-bit so that sums of 32-bit file fields cannot wrap.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>

namespace ovx::truetype {

// Throws ovx::Error "TrueType font format error: <detail>".
[[noreturn]] void ThrowFormatError(const QString& detail);

inline constexpr uint32_t MakeTag(char a, char b, char c, char d) {
  return (uint32_t(uint8_t(a)) << 24) | (uint32_t(uint8_t(b)) << 16) | (uint32_t(uint8_t(c)) << 8) |
         uint32_t(uint8_t(d));
}
// The four characters of a tag ("glyf", "OS/2").
QByteArray TagName(uint32_t tag);

class FontBytes {
 public:
  FontBytes() = default;
  // `what` names the structure in errors ("hmtx", "CFF charset").
  FontBytes(QByteArrayView data, const char* what) : data_(data), what_(what) {}

  qint64 Size() const { return data_.size(); }
  QByteArrayView Data() const { return data_; }
  const char* What() const { return what_; }

  // Whether [offset, offset + length) lies inside the view.
  bool Has(qint64 offset, qint64 length) const {
    return offset >= 0 && length >= 0 && offset <= data_.size() && length <= data_.size() - offset;
  }
  void Require(qint64 offset, qint64 length) const {
    if (!Has(offset, length)) ThrowOutside(offset, length);
  }

  uint8_t U8(qint64 offset) const {
    Require(offset, 1);
    return uint8_t(data_[offset]);
  }
  uint16_t U16(qint64 offset) const {
    Require(offset, 2);
    return uint16_t((uint8_t(data_[offset]) << 8) | uint8_t(data_[offset + 1]));
  }
  int16_t S16(qint64 offset) const { return int16_t(U16(offset)); }
  uint32_t U24(qint64 offset) const {
    Require(offset, 3);
    return (uint32_t(uint8_t(data_[offset])) << 16) | (uint32_t(uint8_t(data_[offset + 1])) << 8) |
           uint8_t(data_[offset + 2]);
  }
  uint32_t U32(qint64 offset) const {
    Require(offset, 4);
    return (uint32_t(uint8_t(data_[offset])) << 24) | (uint32_t(uint8_t(data_[offset + 1])) << 16) |
           (uint32_t(uint8_t(data_[offset + 2])) << 8) | uint8_t(data_[offset + 3]);
  }
  int32_t S32(qint64 offset) const { return int32_t(U32(offset)); }
  // An unsigned offset of 1 to 4 bytes (CFF offsets).
  uint32_t UVar(qint64 offset, int size) const;

  // A checked sub-view with the same name in errors.
  FontBytes Sub(qint64 offset, qint64 length) const {
    Require(offset, length);
    return FontBytes(data_.sliced(offset, length), what_);
  }
  FontBytes Sub(qint64 offset, qint64 length, const char* what) const {
    Require(offset, length);
    return FontBytes(data_.sliced(offset, length), what);
  }

 private:
  [[noreturn]] void ThrowOutside(qint64 offset, qint64 length) const;

  QByteArrayView data_;
  const char* what_ = "font";
};

// The OpenType table checksum: the sum of the big-endian 32-bit words, a
// last partial word padded with zero bytes.
uint32_t TableChecksum(QByteArrayView data);

inline void AppendU16(QByteArray& out, uint32_t value) {
  out.append(char(value >> 8));
  out.append(char(value));
}
inline void AppendU32(QByteArray& out, uint32_t value) {
  out.append(char(value >> 24));
  out.append(char(value >> 16));
  out.append(char(value >> 8));
  out.append(char(value));
}
inline void PutU16(QByteArray& out, qint64 offset, uint32_t value) {
  out[offset] = char(value >> 8);
  out[offset + 1] = char(value);
}
inline void PutU32(QByteArray& out, qint64 offset, uint32_t value) {
  out[offset] = char(value >> 24);
  out[offset + 1] = char(value >> 16);
  out[offset + 2] = char(value >> 8);
  out[offset + 3] = char(value);
}
// Zero bytes up to the next multiple of 4.
inline void PadTo4(QByteArray& out) {
  while (out.size() % 4 != 0) out.append('\0');
}

// The binary search fields of a table directory or cmap format 4 for
// `count` items of `item_size` bytes.
struct SearchFields {
  uint16_t search_range;
  uint16_t entry_selector;
  uint16_t range_shift;
};
SearchFields ComputeSearchFields(uint32_t count, uint32_t item_size);

}  // namespace ovx::truetype
