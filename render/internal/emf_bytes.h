// Little-endian fields of metafile records, read and written.
//
// Reads never leave the bytes they are given: a field that does not fit
// reads as 0, so a damaged record yields harmless values instead of
// touching memory past its end. Callers that must tell a missing field from
// a zero one check Fits first.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

#include <bit>
#include <cstring>

namespace ovx::internal {

// Whether [offset, offset + length) lies inside `size` bytes, without
// overflowing on hostile values.
inline bool Fits(qint64 size, qint64 offset, qint64 length) {
  return offset >= 0 && length >= 0 && offset <= size && length <= size - offset;
}

inline quint32 LoadU32(QByteArrayView d, qint64 offset) {
  if (!Fits(d.size(), offset, 4)) return 0;
  const auto* p = reinterpret_cast<const unsigned char*>(d.data()) + offset;
  return quint32{p[0]} | (quint32{p[1]} << 8) | (quint32{p[2]} << 16) | (quint32{p[3]} << 24);
}

inline qint32 LoadI32(QByteArrayView d, qint64 offset) {
  return static_cast<qint32>(LoadU32(d, offset));
}

inline quint16 LoadU16(QByteArrayView d, qint64 offset) {
  if (!Fits(d.size(), offset, 2)) return 0;
  const auto* p = reinterpret_cast<const unsigned char*>(d.data()) + offset;
  return static_cast<quint16>(p[0] | (p[1] << 8));
}

inline qint16 LoadI16(QByteArrayView d, qint64 offset) {
  return static_cast<qint16>(LoadU16(d, offset));
}

inline quint8 LoadU8(QByteArrayView d, qint64 offset) {
  if (!Fits(d.size(), offset, 1)) return 0;
  return static_cast<quint8>(d[offset]);
}

inline float LoadF32(QByteArrayView d, qint64 offset) {
  return std::bit_cast<float>(LoadU32(d, offset));
}

// Appends fields to a record being built.
class RecordWriter {
 public:
  RecordWriter& U32(quint32 v) {
    const char b[4] = {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF),
                       char((v >> 24) & 0xFF)};
    bytes_.append(b, 4);
    return *this;
  }
  RecordWriter& I32(qint32 v) { return U32(static_cast<quint32>(v)); }
  RecordWriter& U16(quint16 v) {
    const char b[2] = {char(v & 0xFF), char((v >> 8) & 0xFF)};
    bytes_.append(b, 2);
    return *this;
  }
  RecordWriter& I16(qint16 v) { return U16(static_cast<quint16>(v)); }
  RecordWriter& U8(quint8 v) {
    bytes_.append(char(v));
    return *this;
  }
  RecordWriter& F32(float v) { return U32(std::bit_cast<quint32>(v)); }
  RecordWriter& Bytes(QByteArrayView v) {
    bytes_.append(v.data(), v.size());
    return *this;
  }
  RecordWriter& Zeros(qsizetype count) {
    bytes_.append(count, '\0');
    return *this;
  }
  // Zeros up to the next multiple of 4.
  RecordWriter& Pad4() { return Zeros((4 - bytes_.size() % 4) % 4); }
  qsizetype Size() const { return bytes_.size(); }
  // Overwrites a 32-bit field written earlier.
  void PatchU32(qsizetype offset, quint32 v) {
    for (int i = 0; i < 4; ++i) bytes_[offset + i] = char((v >> (8 * i)) & 0xFF);
  }
  QByteArray& Data() { return bytes_; }

 private:
  QByteArray bytes_;
};

}  // namespace ovx::internal
