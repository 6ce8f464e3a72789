#include "tests/export/font_test_fonts.h"

#include <algorithm>

namespace ovx::test {

namespace {

void U16(QByteArray& out, uint32_t value) {
  out.append(char(value >> 8));
  out.append(char(value));
}
void U32(QByteArray& out, uint32_t value) {
  U16(out, value >> 16);
  U16(out, value & 0xFFFF);
}

uint32_t Checksum(const QByteArray& data) {
  QByteArray padded = data;
  while (padded.size() % 4) padded.append('\0');
  uint32_t sum = 0;
  for (qsizetype i = 0; i < padded.size(); i += 4) sum += ReadU32(padded, i);
  return sum;
}

// A rectangle from (lsb, 0) to (lsb + 400, 700), plus `instructions` no-op
// instruction bytes.
QByteArray SimpleGlyph(int lsb, int instructions) {
  QByteArray g;
  U16(g, 1);  // one contour
  U16(g, lsb);
  U16(g, 0);
  U16(g, lsb + 400);
  U16(g, 700);
  U16(g, 3);  // endPtsOfContours
  U16(g, instructions);
  g.append(QByteArray(instructions, '\0'));          // SVTCA[y]
  for (int i = 0; i < 4; ++i) g.append(char(0x01));  // on curve, 16-bit deltas
  for (int dx : {lsb, 400, 0, -400}) U16(g, uint16_t(dx));
  for (int dy : {0, 0, 700, 0}) U16(g, uint16_t(dy));
  return g;
}

QByteArray CompositeGlyph(const std::vector<uint16_t>& components) {
  QByteArray g;
  U16(g, uint16_t(-1));
  for (int v : {0, 0, 450, 700}) U16(g, uint16_t(v));
  for (size_t i = 0; i < components.size(); ++i) {
    const bool more = i + 1 < components.size();
    U16(g, 0x0001 | 0x0002 | (more ? 0x0020 : 0));  // word args, x/y offsets
    U16(g, components[i]);
    U16(g, uint16_t(10 * i));
    U16(g, 0);
  }
  return g;
}

QByteArray CmapTable(const TestFontSpec& spec) {
  std::vector<std::pair<char32_t, uint16_t>> mapping = spec.cmap;
  std::sort(mapping.begin(), mapping.end());
  const bool beyond_bmp = !mapping.empty() && mapping.back().first > 0xFFFF;
  QByteArray f4;
  std::vector<std::pair<char32_t, uint16_t>> bmp;
  for (const auto& entry : mapping) {
    if (entry.first < 0xFFFF) bmp.push_back(entry);
  }
  const int segments = int(bmp.size()) + 1;
  U16(f4, 4);
  U16(f4, 16 + segments * 8);
  U16(f4, 0);
  U16(f4, segments * 2);
  int power = 1, selector = 0;
  while (power * 2 <= segments) power *= 2, ++selector;
  U16(f4, power * 2);
  U16(f4, selector);
  U16(f4, segments * 2 - power * 2);
  for (const auto& entry : bmp) U16(f4, entry.first);
  U16(f4, 0xFFFF);
  U16(f4, 0);
  for (const auto& entry : bmp) U16(f4, entry.first);
  U16(f4, 0xFFFF);
  for (const auto& entry : bmp) U16(f4, uint16_t(entry.second - entry.first));
  U16(f4, 1);
  for (int i = 0; i < segments; ++i) U16(f4, 0);
  QByteArray f12;
  if (beyond_bmp) {
    U16(f12, 12);
    U16(f12, 0);
    U32(f12, 16 + uint32_t(mapping.size()) * 12);
    U32(f12, 0);
    U32(f12, uint32_t(mapping.size()));
    for (const auto& entry : mapping) {
      U32(f12, entry.first);
      U32(f12, entry.first);
      U32(f12, entry.second);
    }
  }
  QByteArray cmap;
  const int records = beyond_bmp ? 2 : 1;
  U16(cmap, 0);
  U16(cmap, records);
  U16(cmap, 3);
  U16(cmap, 1);
  U32(cmap, 4 + records * 8);
  if (beyond_bmp) {
    U16(cmap, 3);
    U16(cmap, 10);
    U32(cmap, 4 + records * 8 + uint32_t(f4.size()));
  }
  return cmap + f4 + f12;
}

QByteArray NameTable(const QString& family) {
  const std::vector<std::pair<int, QString>> names = {
      {1, family},
      {2, QStringLiteral("Regular")},
      {4, family + QStringLiteral(" Regular")},
      {6, QString(family).remove(u' ') + QStringLiteral("-Regular")}};
  QByteArray strings, records;
  for (const auto& [id, text] : names) {
    QByteArray utf16;
    for (const QChar c : text) U16(utf16, c.unicode());
    U16(records, 3);
    U16(records, 1);
    U16(records, 0x409);
    U16(records, id);
    U16(records, uint16_t(utf16.size()));
    U16(records, uint16_t(strings.size()));
    strings += utf16;
  }
  QByteArray name;
  U16(name, 0);
  U16(name, uint16_t(names.size()));
  U16(name, uint16_t(6 + names.size() * 12));
  return name + records + strings;
}

QByteArray PostTable(const TestFontSpec& spec) {
  QByteArray post;
  U32(post, spec.glyph_names.empty() ? 0x00030000 : 0x00020000);
  U32(post, 0);               // italic angle
  U16(post, uint16_t(-100));  // underline position
  U16(post, 50);              // underline thickness
  U32(post, 0);
  for (int i = 0; i < 4; ++i) U32(post, 0);
  if (spec.glyph_names.empty()) return post;
  U16(post, uint16_t(spec.glyphs.size()));
  QByteArray strings;
  int next = 258;
  for (size_t glyph = 0; glyph < spec.glyphs.size(); ++glyph) {
    const auto it = spec.glyph_names.find(uint16_t(glyph));
    if (it == spec.glyph_names.end()) {
      U16(post, 0);
      continue;
    }
    U16(post, next++);
    strings.append(char(it->second.size()));
    strings.append(it->second);
  }
  return post + strings;
}

QByteArray Os2Table(const TestFontSpec& spec) {
  QByteArray os2;
  U16(os2, 4);
  U16(os2, 500);                            // xAvgCharWidth
  U16(os2, 400);                            // usWeightClass
  U16(os2, 5);                              // usWidthClass
  U16(os2, 0);                              // fsType
  for (int i = 0; i < 8; ++i) U16(os2, 0);  // sub/superscript
  U16(os2, 50);                             // yStrikeoutSize
  U16(os2, 300);                            // yStrikeoutPosition
  U16(os2, 0);                              // sFamilyClass
  os2.append(QByteArray(10, '\0'));         // panose
  os2.append(QByteArray(16, '\0'));         // ulUnicodeRange
  os2.append("VELM");
  U16(os2, 0x40);  // fsSelection: regular
  U16(os2, 0x20);
  U16(os2, 0xFFFF);
  U16(os2, 800);
  U16(os2, uint16_t(-200));
  U16(os2, 0);
  U16(os2, 900);
  U16(os2, 250);
  U32(os2, 1);
  U32(os2, 0);
  U16(os2, 500);  // sxHeight
  U16(os2, 700);  // sCapHeight
  U16(os2, 0);
  U16(os2, 32);
  U16(os2, 1);
  Q_UNUSED(spec);
  return os2;
}

}  // namespace

uint16_t ReadU16(const QByteArray& bytes, qint64 offset) {
  return uint16_t((uint8_t(bytes[offset]) << 8) | uint8_t(bytes[offset + 1]));
}
uint32_t ReadU32(const QByteArray& bytes, qint64 offset) {
  return (uint32_t(ReadU16(bytes, offset)) << 16) | ReadU16(bytes, offset + 2);
}
void WriteU16(QByteArray& bytes, qint64 offset, uint16_t value) {
  bytes[offset] = char(value >> 8);
  bytes[offset + 1] = char(value);
}
void WriteU32(QByteArray& bytes, qint64 offset, uint32_t value) {
  WriteU16(bytes, offset, uint16_t(value >> 16));
  WriteU16(bytes, offset + 2, uint16_t(value));
}

QByteArray BuildTestFont(const TestFontSpec& spec) {
  const int count = int(spec.glyphs.size());
  const int long_metrics = spec.number_of_h_metrics < 0 ? count : spec.number_of_h_metrics;

  QByteArray glyf, loca, hmtx;
  for (int i = 0; i < count; ++i) {
    const TestGlyph& glyph = spec.glyphs[i];
    spec.long_loca ? U32(loca, uint32_t(glyf.size())) : U16(loca, uint32_t(glyf.size() / 2));
    if (!glyph.blank) {
      glyf += glyph.components.empty() ? SimpleGlyph(glyph.lsb, glyph.instruction_bytes)
                                       : CompositeGlyph(glyph.components);
      if (glyf.size() % 2) glyf.append('\0');
    }
    if (i < long_metrics) U16(hmtx, glyph.advance);
    U16(hmtx, uint16_t(glyph.lsb));
  }
  spec.long_loca ? U32(loca, uint32_t(glyf.size())) : U16(loca, uint32_t(glyf.size() / 2));

  int max_advance = 0;
  for (const TestGlyph& glyph : spec.glyphs) max_advance = std::max(max_advance, glyph.advance);

  QByteArray head;
  U32(head, 0x00010000);
  U32(head, 0x00010000);
  U32(head, 0);  // checkSumAdjustment
  U32(head, 0x5F0F3CF5);
  U16(head, 0x000B);
  U16(head, spec.units_per_em);
  head.append(QByteArray(16, '\0'));  // created, modified
  for (int v : {0, -200, 1000, 800}) U16(head, uint16_t(v));
  U16(head, spec.mac_style);
  U16(head, 8);
  U16(head, 2);
  U16(head, spec.long_loca ? 1 : 0);
  U16(head, 0);

  QByteArray hhea;
  U32(hhea, 0x00010000);
  for (int v : {800, -200, 100, max_advance, 0, 0, 450, 1, 0, 0, 0, 0, 0, 0, 0}) {
    U16(hhea, uint16_t(v));
  }
  U16(hhea, long_metrics);

  QByteArray maxp;
  U32(maxp, 0x00010000);
  U16(maxp, count);
  for (int v : {4, 1, 8, 2, 2, 0, 0, 0, 0, 0, 2, 2, 1}) U16(maxp, v);

  std::vector<std::pair<QByteArray, QByteArray>> tables = {{"OS/2", Os2Table(spec)},
                                                           {"cmap", CmapTable(spec)},
                                                           {"glyf", glyf},
                                                           {"head", head},
                                                           {"hhea", hhea},
                                                           {"hmtx", hmtx},
                                                           {"loca", loca},
                                                           {"maxp", maxp},
                                                           {"name", NameTable(spec.family)},
                                                           {"post", PostTable(spec)}};
  if (!spec.kern.empty()) {
    auto pairs = spec.kern;
    std::sort(pairs.begin(), pairs.end());
    QByteArray kern;
    U16(kern, 0);
    U16(kern, 1);
    U16(kern, 0);
    U16(kern, uint16_t(14 + pairs.size() * 6));
    U16(kern, 0x0001);
    U16(kern, uint16_t(pairs.size()));
    U16(kern, 6);
    U16(kern, 0);
    U16(kern, 0);
    for (const auto& [left, right, value] : pairs) {
      U16(kern, left);
      U16(kern, right);
      U16(kern, uint16_t(value));
    }
    tables.emplace_back("kern", kern);
  }
  std::sort(tables.begin(), tables.end());

  const int n = int(tables.size());
  int power = 1, selector = 0;
  while (power * 2 <= n) power *= 2, ++selector;
  QByteArray font;
  U32(font, 0x00010000);
  U16(font, n);
  U16(font, power * 16);
  U16(font, selector);
  U16(font, n * 16 - power * 16);
  QByteArray body;
  qint64 offset = 12 + 16 * n;
  qint64 head_offset = 0;
  for (const auto& [tag, data] : tables) {
    font.append(tag);
    U32(font, Checksum(data));
    U32(font, uint32_t(offset));
    U32(font, uint32_t(data.size()));
    if (tag == "head") head_offset = offset;
    QByteArray padded = data;
    while (padded.size() % 4) padded.append('\0');
    body += padded;
    offset += padded.size();
  }
  font += body;
  WriteU32(font, head_offset + 8, 0xB1B0AFBA - Checksum(font));
  return font;
}

QByteArray BuildTestCollection(const std::vector<QByteArray>& fonts) {
  QByteArray out("ttcf");
  U32(out, 0x00010000);
  U32(out, uint32_t(fonts.size()));
  qint64 offset = 12 + 4 * qint64(fonts.size());
  QByteArray body;
  for (const QByteArray& font : fonts) {
    U32(out, uint32_t(offset));
    QByteArray copy = font;
    const int tables = ReadU16(copy, 4);
    for (int i = 0; i < tables; ++i) {
      const qint64 entry = 12 + 16 * i + 8;
      WriteU32(copy, entry, ReadU32(copy, entry) + uint32_t(offset));
    }
    body += copy;
    offset += copy.size();
  }
  return out + body;
}

std::optional<TableLocation> FindTable(const QByteArray& font, const char* tag, qint64 directory) {
  const int tables = ReadU16(font, directory + 4);
  for (int i = 0; i < tables; ++i) {
    const qint64 entry = directory + 12 + 16 * i;
    if (font.mid(entry, 4) == QByteArray(tag)) {
      return TableLocation{ReadU32(font, entry + 8), ReadU32(font, entry + 12), entry};
    }
  }
  return std::nullopt;
}

QByteArray WithBadChecksum(QByteArray font, const char* tag) {
  const std::optional<TableLocation> table = FindTable(font, tag);
  if (!table) return {};  // no font at all, so a wrong tag cannot pass unnoticed
  WriteU32(font, table->directory_entry + 4, ~ReadU32(font, table->directory_entry + 4));
  return font;
}

}  // namespace ovx::test
