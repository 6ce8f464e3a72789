// TrueType/OpenType font files: collections, one font's table directory,
// and the subset a PDF embeds.
//
// A TrueTypeCollection holds the whole file (a single font or a "ttcf"
// collection) and parses each face's directory on demand; every face shares
// the file's bytes. The subset keeps glyph ids: the PDF content stream was
// written with the original ids (through Identity or a CIDToGIDMap), so the
// subset only empties the glyphs nobody uses, cuts the glyph count after
// the last kept glyph, and rewrites the tables that describe glyphs. Fonts
// with CFF outlines are subset by cff_font.h instead.
#pragma once

#include "export/truetype_tables.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace ovx {

// The largest font file read (offsets in a font are 32-bit, but no real
// face or collection comes near this).
inline constexpr qint64 kMaxFontFileBytes = qint64{256} << 20;

class TrueTypeFont {
 public:
  // Tables the embedding never needs; they are not even parsed.
  static bool Excluded(uint32_t tag);

  // Parses the directory at `directory_offset` of `file` and loads the
  // tables. `file` must outlive the font (the collection keeps it). Throws
  // ovx::Error for a damaged directory or table.
  TrueTypeFont(QByteArrayView file, qint64 directory_offset);
  ~TrueTypeFont();
  TrueTypeFont(const TrueTypeFont&) = delete;
  TrueTypeFont& operator=(const TrueTypeFont&) = delete;

  uint32_t SfntVersion() const { return sfnt_version_; }
  // CFF or CFF2 outlines ("OTTO").
  bool IsCff() const;
  QByteArrayView File() const { return file_; }

  // Tables in directory order (without the excluded ones).
  const std::vector<std::unique_ptr<TrueTypeTable>>& Tables() const { return tables_; }
  const TrueTypeTable* Table(uint32_t tag) const;
  template <class T>
  const T* Get(uint32_t tag) const {
    return dynamic_cast<const T*>(Table(tag));
  }
  // The required tables; missing ones throw the format error.
  const FontHeaderClass& Head() const;
  const MaximumProfileClass& Maxp() const;
  const HorizontalHeaderClass& Hhea() const;
  const HorizontalMetrixClass& Hmtx() const;

  int NumGlyphs() const { return Maxp().NumGlyphs(); }
  int UnitsPerEm() const { return Head().UnitsPerEm(); }
  // Design units.
  int Advance(uint32_t glyph) const { return Hmtx().Advance(glyph); }
  // 1/1000 em, rounded.
  int AdvanceThousandths(uint32_t glyph) const;
  // Font units to 1/1000 em, rounded.
  int ToThousandths(double font_units) const;

  QString FamilyName() const;      // name ID 1
  QString FullName() const;        // name ID 4
  QString PostScriptName() const;  // name ID 6

  // The mismatches between each table's stored and computed checksum, as
  // texts ("Table ID "glyf" checksum error. 1234 5678").
  QStringList ChecksumErrors() const;

 private:
  void Load();

  QByteArrayView file_;
  uint32_t sfnt_version_ = 0;
  std::vector<std::unique_ptr<TrueTypeTable>> tables_;
};

class TrueTypeCollection {
 public:
  // A single font (00 01 00 00, "true", "OTTO") or a "ttcf" collection of
  // version 1 or 2. Throws ovx::Error for anything else and for a damaged
  // header.
  explicit TrueTypeCollection(QByteArray data);
  ~TrueTypeCollection();

  const QByteArray& Data() const { return data_; }
  bool IsCollection() const { return is_collection_; }
  int Count() const { return int(offsets_.size()); }
  // Parsed on first use; throws for an index out of range or a damaged
  // font.
  const TrueTypeFont& Font(int index) const;
  // The first face whose full name, then the first whose family name,
  // equals `name` (case insensitive, any language); -1 when none does.
  int FindFont(const QString& name) const;

 private:
  QByteArray data_;
  bool is_collection_ = false;
  std::vector<uint32_t> offsets_;
  mutable std::vector<std::unique_ptr<TrueTypeFont>> fonts_;
};

// The glyphs a subset keeps for `glyphs`: .notdef, the glyphs themselves
// and, recursively, the components of composite glyphs. Ascending. Throws
// ovx::Error for ids beyond the glyph count, component cycles and nesting
// deeper than the format allows.
std::vector<uint16_t> CollectSubsetGlyphs(const TrueTypeFont& font,
                                          const std::vector<uint16_t>& glyphs);

// A standalone TrueType font that keeps `glyphs` (closed as above) at their
// ids. Keeps head, hhea, maxp, OS/2, hmtx, loca, glyf, cvt, fpgm, prep,
// gasp, a cmap of the kept glyphs, the name records 0 to 6 and a post table
// without glyph names; layout and bitmap tables are left out.
struct TrueTypeSubset {
  QByteArray font;
  std::vector<uint16_t> kept_glyphs;
};
TrueTypeSubset SubsetTrueTypeFont(const TrueTypeFont& font, const std::vector<uint16_t>& glyphs);

}  // namespace ovx
