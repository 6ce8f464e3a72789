// Small TrueType fonts made to order for the font tests: every glyph's
// outline, advance and components, the cmap, the metrics layout and glyph
// names are chosen by the test, so each case shows exactly the structure it
// is about. The fonts are valid (checksums, directory, alignment) unless a
// test damages them afterwards through FindTable.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

namespace ovx::test {

struct TestGlyph {
  int advance = 500;
  int lsb = 50;
  bool blank = false;                // no outline (a space)
  std::vector<uint16_t> components;  // a composite glyph when not empty
  int instruction_bytes = 0;         // makes glyph lengths odd or even
};

struct TestFontSpec {
  std::vector<TestGlyph> glyphs = std::vector<TestGlyph>(4);
  // Long metrics; the rest of the glyphs get only bearings. -1: all.
  int number_of_h_metrics = -1;
  std::vector<std::pair<char32_t, uint16_t>> cmap;
  bool long_loca = false;
  int units_per_em = 1000;
  // (left, right, value): a version 0 kern table when not empty.
  std::vector<std::tuple<uint16_t, uint16_t, int16_t>> kern;
  // A version 2 post table naming these glyphs (others ".notdef").
  std::map<uint16_t, QByteArray> glyph_names;
  QString family = QStringLiteral("Velmora Test");
  int mac_style = 0;
};

QByteArray BuildTestFont(const TestFontSpec& spec);
// A "ttcf" collection of `fonts`, each with its tables copied behind the
// header.
QByteArray BuildTestCollection(const std::vector<QByteArray>& fonts);

struct TableLocation {
  qint64 offset = 0;
  qint64 length = 0;
  qint64 directory_entry = 0;
};
// The directory entry of `tag` in the font at `directory` (0 for a single
// font file).
std::optional<TableLocation> FindTable(const QByteArray& font, const char* tag,
                                       qint64 directory = 0);

// `font` (a single font file) with the checksum its directory stores for
// `tag` made wrong, the table itself left intact: readers that ignore
// checksums use it as before. Empty when the font has no such table.
QByteArray WithBadChecksum(QByteArray font, const char* tag);

uint16_t ReadU16(const QByteArray& bytes, qint64 offset);
uint32_t ReadU32(const QByteArray& bytes, qint64 offset);
void WriteU16(QByteArray& bytes, qint64 offset, uint16_t value);
void WriteU32(QByteArray& bytes, qint64 offset, uint32_t value);

}  // namespace ovx::test
