// The tables of a TrueType/OpenType font, one class per tag that the
// embedding reads.
//
// A table is a directory entry (tag, checksum, offset, length) over the font
// file's bytes, which the font keeps alive. Load() reads and checks the
// fields the export needs; everything else in a table is left as bytes.
// Tables that depend on others (hmtx on hhea and maxp, loca on head and
// maxp, glyf on loca) take what they need from the font, which loads them
// in that order. Large arrays (loca, hmtx, glyph data, glyph names) are read
// on demand through bounds-checked views instead of being copied.
#pragma once

#include "export/internal/truetype_bytes.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <utility>
#include <vector>

namespace ovx {

class TrueTypeFont;

class TrueTypeTable {
 public:
  TrueTypeTable(uint32_t tag, uint32_t checksum, uint32_t offset, uint32_t length,
                QByteArrayView table_data);
  virtual ~TrueTypeTable();
  TrueTypeTable(const TrueTypeTable&) = delete;
  TrueTypeTable& operator=(const TrueTypeTable&) = delete;

  uint32_t Tag() const { return tag_; }
  uint32_t StoredChecksum() const { return checksum_; }
  uint32_t Offset() const { return offset_; }
  uint32_t Length() const { return length_; }
  // The table's bytes inside the font file.
  QByteArrayView Data() const { return bytes_.Data(); }
  const truetype::FontBytes& Bytes() const { return bytes_; }

  // Reads the fields; throws the format error when they are damaged.
  virtual void Load(const TrueTypeFont& font);
  // The checksum of the table as the directory should hold it.
  virtual uint32_t ComputeChecksum() const;

 protected:
  truetype::FontBytes bytes_;

 private:
  char name_[5] = {};  // the tag as text, named by bytes_ in its errors
  uint32_t tag_;
  uint32_t checksum_;
  uint32_t offset_;
  uint32_t length_;
};

// "head"
class FontHeaderClass : public TrueTypeTable {
 public:
  using TrueTypeTable::TrueTypeTable;
  void Load(const TrueTypeFont& font) override;
  // Counted with checkSumAdjustment as 0, as the format defines it.
  uint32_t ComputeChecksum() const override;

  static constexpr qint64 kCheckSumAdjustmentOffset = 8;
  static constexpr qint64 kIndexToLocFormatOffset = 50;

  int UnitsPerEm() const { return units_per_em_; }
  int XMin() const { return x_min_; }
  int YMin() const { return y_min_; }
  int XMax() const { return x_max_; }
  int YMax() const { return y_max_; }
  int MacStyle() const { return mac_style_; }
  // 0 short, 1 long; anything else only fails when loca is read.
  int IndexToLocFormat() const { return index_to_loc_format_; }

 private:
  int units_per_em_ = 0;
  int x_min_ = 0, y_min_ = 0, x_max_ = 0, y_max_ = 0;
  int mac_style_ = 0;
  int index_to_loc_format_ = 0;
};

// "maxp"
class MaximumProfileClass : public TrueTypeTable {
 public:
  using TrueTypeTable::TrueTypeTable;
  void Load(const TrueTypeFont& font) override;
  static constexpr qint64 kNumGlyphsOffset = 4;
  int NumGlyphs() const { return num_glyphs_; }
  // 0 for the CFF version 0.5 table, which has no such field.
  int MaxComponentDepth() const { return max_component_depth_; }

 private:
  int num_glyphs_ = 0;
  int max_component_depth_ = 0;
};

// "hhea"
class HorizontalHeaderClass : public TrueTypeTable {
 public:
  using TrueTypeTable::TrueTypeTable;
  void Load(const TrueTypeFont& font) override;
  static constexpr qint64 kNumberOfHMetricsOffset = 34;
  int Ascender() const { return ascender_; }
  int Descender() const { return descender_; }
  int LineGap() const { return line_gap_; }
  int AdvanceWidthMax() const { return advance_width_max_; }
  int NumberOfHMetrics() const { return number_of_h_metrics_; }

 private:
  int ascender_ = 0, descender_ = 0, line_gap_ = 0;
  int advance_width_max_ = 0;
  int number_of_h_metrics_ = 0;
};

// "hmtx"
class HorizontalMetrixClass : public TrueTypeTable {
 public:
  using TrueTypeTable::TrueTypeTable;
  void Load(const TrueTypeFont& font) override;
  // A glyph at or beyond numberOfHMetrics takes the last long metric's
  // advance, as the format says; 0 for glyph ids the font does not have.
  int Advance(uint32_t glyph) const;
  // 0 where the table is shorter than the glyph count says.
  int LeftSideBearing(uint32_t glyph) const;
  int NumberOfHMetrics() const { return long_metrics_; }

 private:
  int long_metrics_ = 0;
  int num_glyphs_ = 0;
  int extra_bearings_ = 0;  // left side bearings after the long metrics
};

// "loca"
class IndexToLocationClass : public TrueTypeTable {
 public:
  using TrueTypeTable::TrueTypeTable;
  void Load(const TrueTypeFont& font) override;
  bool LongFormat() const { return long_format_; }
  // Start and end of a glyph inside "glyf"; throws the format error when the
  // entries run backwards or point beyond `glyf_length`.
  std::pair<uint32_t, uint32_t> Range(uint32_t glyph, uint32_t glyf_length) const;

 private:
  uint32_t Entry(uint32_t index) const;
  bool long_format_ = false;
  int num_glyphs_ = 0;
};

// "glyf"
class GlyphTableClass : public TrueTypeTable {
 public:
  using TrueTypeTable::TrueTypeTable;
  void Load(const TrueTypeFont& font) override;
  // The glyph's bytes (empty for a blank glyph such as the space).
  QByteArrayView GlyphData(uint32_t glyph) const;
  // The glyph ids a composite glyph refers to, in order; empty for simple
  // and blank glyphs. Throws the format error for a truncated record.
  std::vector<uint16_t> Components(uint32_t glyph) const;
  static std::vector<uint16_t> ComponentsOf(QByteArrayView glyph_data);

 private:
  const IndexToLocationClass* loca_ = nullptr;
};

// "cmap": the Unicode mapping (the best Unicode subtable of formats 4, 6,
// 12 or 0).
class CmapTableClass : public TrueTypeTable {
 public:
  using TrueTypeTable::TrueTypeTable;
  void Load(const TrueTypeFont& font) override;
  // Pairs (code point, glyph), sorted by code point, glyph never 0.
  const std::vector<std::pair<char32_t, uint16_t>>& Mapping() const { return mapping_; }
  uint16_t GlyphFor(char32_t code_point) const;
  // The mapping came from a Windows symbol subtable (codes U+F0xx).
  bool Symbol() const { return symbol_; }

 private:
  void ReadFormat0(const truetype::FontBytes& sub);
  void ReadFormat4(const truetype::FontBytes& sub);
  void ReadFormat6(const truetype::FontBytes& sub);
  void ReadFormat12(const truetype::FontBytes& sub);
  void Add(uint32_t code_point, uint32_t glyph);

  std::vector<std::pair<char32_t, uint16_t>> mapping_;
  int num_glyphs_ = 0;
  bool symbol_ = false;
};

// "name"
class NameTableClass : public TrueTypeTable {
 public:
  using TrueTypeTable::TrueTypeTable;
  void Load(const TrueTypeFont& font) override;
  // The name for `name_id`, preferring Windows Unicode English, then any
  // Windows Unicode, then Macintosh Roman, then Unicode platform records.
  QString Name(int name_id) const;
  // Every record's text for `name_id` (all platforms and languages).
  QStringList AllNames(int name_id) const;

  struct Record {
    uint16_t platform, encoding, language, name_id;
    uint32_t offset, length;  // inside the table, checked
  };
  const std::vector<Record>& Records() const { return records_; }
  QString Decode(const Record& record) const;

 private:
  std::vector<Record> records_;
};

// "post"
class PostScriptClass : public TrueTypeTable {
 public:
  using TrueTypeTable::TrueTypeTable;
  void Load(const TrueTypeFont& font) override;
  double ItalicAngle() const { return italic_angle_; }
  int UnderlinePosition() const { return underline_position_; }
  int UnderlineThickness() const { return underline_thickness_; }
  bool IsFixedPitch() const { return fixed_pitch_; }
  // The glyph's own name from a version 2 table; empty for the standard
  // Macintosh names, other versions and damaged entries.
  QByteArray CustomGlyphName(uint32_t glyph) const;

 private:
  double italic_angle_ = 0;
  int underline_position_ = 0;
  int underline_thickness_ = 0;
  bool fixed_pitch_ = false;
  // Version 2: start of each custom name (its length byte).
  int name_count_ = 0;
  std::vector<uint32_t> name_offsets_;
};

// "OS/2"
class OS2WindowsMetricsClass : public TrueTypeTable {
 public:
  using TrueTypeTable::TrueTypeTable;
  void Load(const TrueTypeFont& font) override;
  int Version() const { return version_; }
  int AvgCharWidth() const { return avg_char_width_; }
  int WeightClass() const { return weight_class_; }
  int StrikeoutSize() const { return strikeout_size_; }
  int StrikeoutPosition() const { return strikeout_position_; }
  int FsSelection() const { return fs_selection_; }
  int TypoAscender() const { return typo_ascender_; }
  int TypoDescender() const { return typo_descender_; }
  int TypoLineGap() const { return typo_line_gap_; }
  int WinAscent() const { return win_ascent_; }
  int WinDescent() const { return win_descent_; }
  // 0 before version 2.
  int XHeight() const { return x_height_; }
  int CapHeight() const { return cap_height_; }
  static constexpr qint64 kFirstCharIndexOffset = 64;

 private:
  int version_ = 0;
  int avg_char_width_ = 0, weight_class_ = 400;
  int strikeout_size_ = 0, strikeout_position_ = 0;
  int fs_selection_ = 0;
  int typo_ascender_ = 0, typo_descender_ = 0, typo_line_gap_ = 0;
  int win_ascent_ = 0, win_descent_ = 0;
  int x_height_ = 0, cap_height_ = 0;
};

// "kern": the format 0 pairs of the Windows (version 0) table.
class KerningSubtableClass {
 public:
  KerningSubtableClass(const truetype::FontBytes& bytes, bool horizontal);
  bool Horizontal() const { return horizontal_; }
  // The pair's value in font units, 0 when it is not listed.
  int Value(uint16_t left, uint16_t right) const;

 private:
  truetype::FontBytes pairs_;
  uint32_t count_ = 0;
  bool horizontal_ = false;
};

class KerningTableClass : public TrueTypeTable {
 public:
  using TrueTypeTable::TrueTypeTable;
  void Load(const TrueTypeFont& font) override;
  // The sum over the horizontal format 0 subtables.
  int Value(uint16_t left, uint16_t right) const;

 private:
  std::vector<KerningSubtableClass> subtables_;
};

// "prep": the control value program, kept as it is.
class PreProgramClass : public TrueTypeTable {
 public:
  using TrueTypeTable::TrueTypeTable;
};

// "GSUB": the header is checked; the embedded subset does not carry it
// (PDF viewers never shape, and lookups would name dropped glyphs).
class GlyphSubstitutionClass : public TrueTypeTable {
 public:
  using TrueTypeTable::TrueTypeTable;
  void Load(const TrueTypeFont& font) override;
};

}  // namespace ovx
