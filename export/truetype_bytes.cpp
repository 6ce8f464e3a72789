#include "export/internal/truetype_bytes.h"

#include "base/error.h"

namespace ovx::truetype {

void ThrowFormatError(const QString& detail) {
  throw Error("", "TrueType font format error: %s", {detail});
}

QByteArray TagName(uint32_t tag) {
  QByteArray name(4, ' ');
  for (int i = 0; i < 4; ++i) {
    const char c = char(tag >> (24 - 8 * i));
    name[i] = (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  return name;
}

uint32_t FontBytes::UVar(qint64 offset, int size) const {
  switch (size) {
    case 1:
      return U8(offset);
    case 2:
      return U16(offset);
    case 3:
      return U24(offset);
    case 4:
      return U32(offset);
    default:
      ThrowFormatError(QStringLiteral("%1: offset size %2").arg(QLatin1String(what_)).arg(size));
  }
}

void FontBytes::ThrowOutside(qint64 offset, qint64 length) const {
  ThrowFormatError(QStringLiteral("%1: %2 bytes at %3 lie outside its %4 bytes")
                       .arg(QLatin1String(what_))
                       .arg(length)
                       .arg(offset)
                       .arg(data_.size()));
}

uint32_t TableChecksum(QByteArrayView data) {
  uint32_t sum = 0;
  const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
  const qsizetype whole = data.size() & ~qsizetype(3);
  for (qsizetype i = 0; i < whole; i += 4) {
    sum += (uint32_t(bytes[i]) << 24) | (uint32_t(bytes[i + 1]) << 16) |
           (uint32_t(bytes[i + 2]) << 8) | bytes[i + 3];
  }
  uint32_t last = 0;
  for (qsizetype i = whole; i < data.size(); ++i)
    last |= uint32_t(bytes[i]) << (24 - 8 * (i - whole));
  return sum + last;
}

SearchFields ComputeSearchFields(uint32_t count, uint32_t item_size) {
  uint32_t power = 1;
  uint16_t selector = 0;
  while (power * 2 <= count) {
    power *= 2;
    ++selector;
  }
  if (count == 0) power = 0;
  const uint32_t range = power * item_size;
  return {uint16_t(range), selector, uint16_t(count * item_size - range)};
}

}  // namespace ovx::truetype
