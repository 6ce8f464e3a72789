// Parsing of the per-tag tables. Every read goes through FontBytes, so a
// field outside its table throws the format error instead of reading on.
#include "export/truetype_tables.h"

#include "base/error.h"
#include "export/truetype_font.h"

#include <algorithm>

namespace ovx {

using truetype::FontBytes;
using truetype::MakeTag;
using truetype::ThrowFormatError;

namespace {

QString Where(const TrueTypeTable& table, const char* what) {
  return QStringLiteral("%1: %2").arg(QLatin1String(truetype::TagName(table.Tag())),
                                      QLatin1String(what));
}

}  // namespace

TrueTypeTable::TrueTypeTable(uint32_t tag, uint32_t checksum, uint32_t offset, uint32_t length,
                             QByteArrayView table_data)
    : tag_(tag), checksum_(checksum), offset_(offset), length_(length) {
  // FontBytes keeps a pointer to its name; the name lives in the table.
  const QByteArray name = truetype::TagName(tag);
  std::copy(name.begin(), name.end(), name_);
  name_[4] = '\0';
  bytes_ = FontBytes(table_data, name_);
}

TrueTypeTable::~TrueTypeTable() = default;

void TrueTypeTable::Load(const TrueTypeFont&) {}

uint32_t TrueTypeTable::ComputeChecksum() const { return truetype::TableChecksum(Data()); }

// --- head ---------------------------------------------------------------------------------

void FontHeaderClass::Load(const TrueTypeFont&) {
  bytes_.Require(0, 54);
  if (bytes_.U32(12) != 0x5F0F3CF5) ThrowFormatError(Where(*this, "bad magic number"));
  units_per_em_ = bytes_.U16(18);
  if (units_per_em_ < 1 || units_per_em_ > 16384) {
    ThrowFormatError(Where(*this, "unitsPerEm out of range"));
  }
  x_min_ = bytes_.S16(36);
  y_min_ = bytes_.S16(38);
  x_max_ = bytes_.S16(40);
  y_max_ = bytes_.S16(42);
  mac_style_ = bytes_.U16(44);
  index_to_loc_format_ = bytes_.S16(kIndexToLocFormatOffset);
}

uint32_t FontHeaderClass::ComputeChecksum() const {
  return truetype::TableChecksum(Data()) - bytes_.U32(kCheckSumAdjustmentOffset);
}

// --- maxp ---------------------------------------------------------------------------------

void MaximumProfileClass::Load(const TrueTypeFont&) {
  num_glyphs_ = bytes_.U16(kNumGlyphsOffset);
  if (num_glyphs_ == 0) ThrowFormatError(Where(*this, "the font has no glyphs"));
  if (bytes_.U32(0) >= 0x00010000 && bytes_.Has(0, 32)) max_component_depth_ = bytes_.U16(30);
}

// --- hhea ---------------------------------------------------------------------------------

void HorizontalHeaderClass::Load(const TrueTypeFont&) {
  bytes_.Require(0, 36);
  ascender_ = bytes_.S16(4);
  descender_ = bytes_.S16(6);
  line_gap_ = bytes_.S16(8);
  advance_width_max_ = bytes_.U16(10);
  number_of_h_metrics_ = bytes_.U16(kNumberOfHMetricsOffset);
}

// --- hmtx ---------------------------------------------------------------------------------

void HorizontalMetrixClass::Load(const TrueTypeFont& font) {
  num_glyphs_ = font.NumGlyphs();
  const int declared = font.Hhea().NumberOfHMetrics();
  if (declared == 0) ThrowFormatError(Where(*this, "numberOfHMetrics is 0"));
  // More long metrics than glyphs: the extra ones describe nothing.
  long_metrics_ = std::min(declared, num_glyphs_);
  bytes_.Require(0, qint64(long_metrics_) * 4);
  const qint64 rest = (bytes_.Size() - qint64(long_metrics_) * 4) / 2;
  extra_bearings_ = int(std::min<qint64>(num_glyphs_ - long_metrics_, rest));
}

int HorizontalMetrixClass::Advance(uint32_t glyph) const {
  if (glyph >= uint32_t(num_glyphs_)) return 0;
  const uint32_t index = std::min<uint32_t>(glyph, long_metrics_ - 1);
  return bytes_.U16(qint64(index) * 4);
}

int HorizontalMetrixClass::LeftSideBearing(uint32_t glyph) const {
  if (glyph >= uint32_t(num_glyphs_)) return 0;
  if (glyph < uint32_t(long_metrics_)) return bytes_.S16(qint64(glyph) * 4 + 2);
  const qint64 extra = glyph - long_metrics_;
  if (extra >= extra_bearings_) return 0;
  return bytes_.S16(qint64(long_metrics_) * 4 + extra * 2);
}

// --- loca ---------------------------------------------------------------------------------

void IndexToLocationClass::Load(const TrueTypeFont& font) {
  const int format = font.Head().IndexToLocFormat();
  if (format != 0 && format != 1) {
    throw Error("", "Unknown IndexToLoc value %s", {QString::number(format)});
  }
  long_format_ = format == 1;
  num_glyphs_ = font.NumGlyphs();
  bytes_.Require(0, qint64(num_glyphs_ + 1) * (long_format_ ? 4 : 2));
}

uint32_t IndexToLocationClass::Entry(uint32_t index) const {
  return long_format_ ? bytes_.U32(qint64(index) * 4) : uint32_t(bytes_.U16(qint64(index) * 2)) * 2;
}

std::pair<uint32_t, uint32_t> IndexToLocationClass::Range(uint32_t glyph,
                                                          uint32_t glyf_length) const {
  if (glyph >= uint32_t(num_glyphs_)) {
    ThrowFormatError(
        QStringLiteral("glyph %1 beyond the font's %2 glyphs").arg(glyph).arg(num_glyphs_));
  }
  const uint32_t start = Entry(glyph);
  // Fonts whose last entries overshoot the glyph table by its padding are
  // common; the glyph simply ends with the table.
  const uint32_t end = std::min(Entry(glyph + 1), glyf_length);
  if (start > end) {
    ThrowFormatError(QStringLiteral("loca: glyph %1 has entries %2 and %3 running backwards or "
                                    "beyond the glyph table of %4 bytes")
                         .arg(glyph)
                         .arg(start)
                         .arg(Entry(glyph + 1))
                         .arg(glyf_length));
  }
  return {start, end};
}

// --- glyf ---------------------------------------------------------------------------------

void GlyphTableClass::Load(const TrueTypeFont& font) {
  loca_ = font.Get<IndexToLocationClass>(MakeTag('l', 'o', 'c', 'a'));
  if (loca_ == nullptr) ThrowFormatError(QStringLiteral("glyf without loca"));
}

QByteArrayView GlyphTableClass::GlyphData(uint32_t glyph) const {
  const auto [start, end] = loca_->Range(glyph, uint32_t(bytes_.Size()));
  return Data().sliced(start, end - start);
}

std::vector<uint16_t> GlyphTableClass::Components(uint32_t glyph) const {
  return ComponentsOf(GlyphData(glyph));
}

std::vector<uint16_t> GlyphTableClass::ComponentsOf(QByteArrayView glyph_data) {
  std::vector<uint16_t> components;
  if (glyph_data.isEmpty()) return components;
  const FontBytes glyph(glyph_data, "glyf");
  if (glyph.S16(0) >= 0) return components;
  constexpr uint16_t kArgsAreWords = 0x0001, kHaveScale = 0x0008, kMoreComponents = 0x0020,
                     kHaveXYScale = 0x0040, kHaveTwoByTwo = 0x0080;
  qint64 pos = 10;
  uint16_t flags = 0;
  do {
    flags = glyph.U16(pos);
    components.push_back(glyph.U16(pos + 2));
    pos += 4 + ((flags & kArgsAreWords) ? 4 : 2);
    if (flags & kHaveScale) {
      pos += 2;
    } else if (flags & kHaveXYScale) {
      pos += 4;
    } else if (flags & kHaveTwoByTwo) {
      pos += 8;
    }
    glyph.Require(0, pos);
  } while (flags & kMoreComponents);
  return components;
}

// --- cmap ---------------------------------------------------------------------------------

void CmapTableClass::Load(const TrueTypeFont& font) {
  num_glyphs_ = font.NumGlyphs();
  const int count = bytes_.U16(2);
  // Rank of each (platform, encoding, format); the best found is read.
  int best_rank = 0;
  qint64 best_offset = 0;
  int best_format = 0;
  for (int i = 0; i < count; ++i) {
    const qint64 record = 4 + qint64(i) * 8;
    const int platform = bytes_.U16(record);
    const int encoding = bytes_.U16(record + 2);
    const qint64 offset = bytes_.U32(record + 4);
    if (!bytes_.Has(offset, 2)) continue;
    const int format = bytes_.U16(offset);
    int rank = 0;
    const bool unicode = platform == 0 || (platform == 3 && (encoding == 1 || encoding == 10));
    if (unicode && format == 12) {
      rank = 6;
    } else if (unicode && format == 4) {
      rank = 5;
    } else if (unicode && format == 6) {
      rank = 4;
    } else if (platform == 3 && encoding == 0 && format == 4) {
      rank = 3;  // symbol fonts: codes U+F020..U+F0FF
    } else if (platform == 1 && encoding == 0 && (format == 0 || format == 6)) {
      rank = 2;
    }
    if (rank > best_rank) {
      best_rank = rank;
      best_offset = offset;
      best_format = format;
    }
  }
  if (best_rank == 0) return;  // no usable subtable: shaping gives .notdef only
  symbol_ = best_rank == 3;
  const FontBytes sub = bytes_.Sub(best_offset, bytes_.Size() - best_offset, "cmap subtable");
  switch (best_format) {
    case 0:
      ReadFormat0(sub);
      break;
    case 4:
      ReadFormat4(sub);
      break;
    case 6:
      ReadFormat6(sub);
      break;
    case 12:
      ReadFormat12(sub);
      break;
  }
  std::sort(mapping_.begin(), mapping_.end());
  mapping_.erase(std::unique(mapping_.begin(), mapping_.end(),
                             [](const auto& a, const auto& b) { return a.first == b.first; }),
                 mapping_.end());
}

void CmapTableClass::Add(uint32_t code_point, uint32_t glyph) {
  if (glyph == 0 || glyph >= uint32_t(num_glyphs_) || code_point > 0x10FFFF) return;
  mapping_.emplace_back(char32_t(code_point), uint16_t(glyph));
}

void CmapTableClass::ReadFormat0(const FontBytes& sub) {
  for (int code = 0; code < 256; ++code) Add(code, sub.U8(6 + code));
}

void CmapTableClass::ReadFormat4(const FontBytes& sub) {
  const int seg_count = sub.U16(6) / 2;
  const qint64 ends = 14, starts = 16 + 2 * qint64(seg_count), deltas = starts + 2 * seg_count,
               range_offsets = deltas + 2 * seg_count;
  sub.Require(0, range_offsets + 2 * qint64(seg_count));
  // Segments are sorted by end code; a damaged table whose segments
  // overlap cannot make the walk longer than the 65,536 codes.
  int32_t done = -1;
  for (int i = 0; i < seg_count; ++i) {
    const int end = sub.U16(ends + 2 * i);
    const int start = std::max<int>(sub.U16(starts + 2 * i), done + 1);
    const int delta = sub.U16(deltas + 2 * i);
    const qint64 range_offset_at = range_offsets + 2 * i;
    const int range_offset = sub.U16(range_offset_at);
    const int first = sub.U16(starts + 2 * i);
    for (int code = start; code <= end; ++code) {
      uint32_t glyph = 0;
      if (range_offset == 0) {
        glyph = (code + delta) & 0xFFFF;
      } else {
        const qint64 at = range_offset_at + range_offset + 2 * qint64(code - first);
        if (!sub.Has(at, 2)) continue;
        glyph = sub.U16(at);
        if (glyph != 0) glyph = (glyph + delta) & 0xFFFF;
      }
      Add(code, glyph);
    }
    done = std::max(done, end);
  }
}

void CmapTableClass::ReadFormat6(const FontBytes& sub) {
  const int first = sub.U16(6);
  const int count = sub.U16(8);
  for (int i = 0; i < count; ++i) Add(first + i, sub.U16(10 + 2 * qint64(i)));
}

void CmapTableClass::ReadFormat12(const FontBytes& sub) {
  const uint32_t groups = sub.U32(12);
  sub.Require(16, qint64(groups) * 12);
  int64_t done = -1;
  for (uint32_t i = 0; i < groups; ++i) {
    const qint64 group = 16 + qint64(i) * 12;
    const int64_t first = sub.U32(group);
    const int64_t end = std::min<int64_t>(sub.U32(group + 4), 0x10FFFF);
    const int64_t start_glyph = sub.U32(group + 8);
    for (int64_t code = std::max(first, done + 1); code <= end; ++code) {
      const int64_t glyph = start_glyph + (code - first);
      if (glyph >= num_glyphs_) break;
      Add(uint32_t(code), uint32_t(glyph));
    }
    done = std::max(done, end);
  }
}

uint16_t CmapTableClass::GlyphFor(char32_t code_point) const {
  const auto it = std::lower_bound(mapping_.begin(), mapping_.end(), code_point,
                                   [](const auto& pair, char32_t c) { return pair.first < c; });
  return (it != mapping_.end() && it->first == code_point) ? it->second : 0;
}

// --- name ---------------------------------------------------------------------------------

void NameTableClass::Load(const TrueTypeFont&) {
  const int count = bytes_.U16(2);
  const qint64 strings = bytes_.U16(4);
  bytes_.Require(6, qint64(count) * 12);
  for (int i = 0; i < count; ++i) {
    const qint64 at = 6 + qint64(i) * 12;
    Record record{bytes_.U16(at),
                  bytes_.U16(at + 2),
                  bytes_.U16(at + 4),
                  bytes_.U16(at + 6),
                  uint32_t(strings + bytes_.U16(at + 10)),
                  bytes_.U16(at + 8)};
    // A record pointing outside the table is dropped, not read.
    if (bytes_.Has(record.offset, record.length)) records_.push_back(record);
  }
}

QString NameTableClass::Decode(const Record& record) const {
  const QByteArrayView raw = Data().sliced(record.offset, record.length);
  if (record.platform == 0 || record.platform == 3) {
    QString text;
    text.reserve(raw.size() / 2);
    for (qsizetype i = 0; i + 1 < raw.size(); i += 2) {
      text.append(QChar(char16_t((uint8_t(raw[i]) << 8) | uint8_t(raw[i + 1]))));
    }
    return text;
  }
  if (record.platform == 1 && record.encoding == 0) return QString::fromLatin1(raw);
  return {};
}

QString NameTableClass::Name(int name_id) const {
  int best_rank = 0;
  const Record* best = nullptr;
  for (const Record& record : records_) {
    if (record.name_id != name_id) continue;
    int rank = 0;
    if (record.platform == 3 && (record.encoding == 1 || record.encoding == 10)) {
      rank = record.language == 0x409 ? 4 : 3;
    } else if (record.platform == 1 && record.encoding == 0) {
      rank = 2;
    } else if (record.platform == 0) {
      rank = 1;
    }
    if (rank > best_rank) {
      best_rank = rank;
      best = &record;
    }
  }
  return best != nullptr ? Decode(*best) : QString();
}

QStringList NameTableClass::AllNames(int name_id) const {
  QStringList names;
  for (const Record& record : records_) {
    if (record.name_id != name_id) continue;
    const QString name = Decode(record);
    if (!name.isEmpty() && !names.contains(name)) names.append(name);
  }
  return names;
}

// --- post ---------------------------------------------------------------------------------

void PostScriptClass::Load(const TrueTypeFont&) {
  bytes_.Require(0, 32);
  const uint32_t version = bytes_.U32(0);
  italic_angle_ = bytes_.S32(4) / 65536.0;
  underline_position_ = bytes_.S16(8);
  underline_thickness_ = bytes_.S16(10);
  fixed_pitch_ = bytes_.U32(12) != 0;
  if (version != 0x00020000) return;
  const int glyphs = bytes_.U16(32);
  bytes_.Require(34, qint64(glyphs) * 2);
  name_count_ = glyphs;
  for (qint64 at = 34 + qint64(glyphs) * 2; at < bytes_.Size(); at += 1 + bytes_.U8(at)) {
    name_offsets_.push_back(uint32_t(at));
  }
}

QByteArray PostScriptClass::CustomGlyphName(uint32_t glyph) const {
  if (glyph >= uint32_t(name_count_)) return {};
  const int index = bytes_.U16(34 + qint64(glyph) * 2);
  if (index < 258 || size_t(index - 258) >= name_offsets_.size()) return {};
  const qint64 at = name_offsets_[index - 258];
  const int length = bytes_.U8(at);
  if (!bytes_.Has(at + 1, length)) return {};
  return Data().sliced(at + 1, length).toByteArray();
}

// --- OS/2 ---------------------------------------------------------------------------------

void OS2WindowsMetricsClass::Load(const TrueTypeFont&) {
  bytes_.Require(0, 68);
  version_ = bytes_.U16(0);
  avg_char_width_ = bytes_.S16(2);
  weight_class_ = bytes_.U16(4);
  strikeout_size_ = bytes_.S16(26);
  strikeout_position_ = bytes_.S16(28);
  fs_selection_ = bytes_.U16(62);
  typo_ascender_ = bytes_.S16(68);
  typo_descender_ = bytes_.S16(70);
  typo_line_gap_ = bytes_.S16(72);
  if (bytes_.Has(0, 78)) {
    win_ascent_ = bytes_.U16(74);
    win_descent_ = bytes_.U16(76);
  }
  if (version_ >= 2 && bytes_.Has(0, 90)) {
    x_height_ = bytes_.S16(86);
    cap_height_ = bytes_.S16(88);
  }
}

// --- kern ---------------------------------------------------------------------------------

KerningSubtableClass::KerningSubtableClass(const FontBytes& bytes, bool horizontal)
    : horizontal_(horizontal) {
  count_ = bytes.U16(6);
  pairs_ = bytes.Sub(14, qint64(count_) * 6, "kern pairs");
}

int KerningSubtableClass::Value(uint16_t left, uint16_t right) const {
  const uint32_t key = (uint32_t(left) << 16) | right;
  uint32_t low = 0, high = count_;
  while (low < high) {
    const uint32_t mid = (low + high) / 2;
    const uint32_t at = pairs_.U32(qint64(mid) * 6);
    if (at == key) return pairs_.S16(qint64(mid) * 6 + 4);
    if (at < key) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  return 0;
}

void KerningTableClass::Load(const TrueTypeFont&) {
  // Only the Windows version 0 table; Apple's version 1 is kept as bytes.
  if (bytes_.U16(0) != 0) return;
  const int count = bytes_.U16(2);
  qint64 at = 4;
  for (int i = 0; i < count && at < bytes_.Size(); ++i) {
    const int length = bytes_.U16(at + 2);
    const int coverage = bytes_.U16(at + 4);
    if ((coverage >> 8) == 0) {
      // The 16-bit length field overflows for big subtables; the pair count
      // bounds the subtable instead.
      const FontBytes sub = bytes_.Sub(at, bytes_.Size() - at, "kern subtable");
      // Horizontal kerning values, not minimums, not cross-stream.
      subtables_.emplace_back(sub, (coverage & 0x7) == 0x1);
      at += 14 + qint64(sub.U16(6)) * 6;
    } else {
      if (length < 6) break;
      at += length;
    }
  }
}

int KerningTableClass::Value(uint16_t left, uint16_t right) const {
  int value = 0;
  for (const KerningSubtableClass& sub : subtables_) {
    if (sub.Horizontal()) value += sub.Value(left, right);
  }
  return value;
}

// --- GSUB ---------------------------------------------------------------------------------

void GlyphSubstitutionClass::Load(const TrueTypeFont&) {
  bytes_.Require(0, 10);
  if (bytes_.U16(0) != 1) ThrowFormatError(Where(*this, "unknown version"));
  for (qint64 field : {4, 6, 8}) {
    if (bytes_.U16(field) > bytes_.Size()) ThrowFormatError(Where(*this, "list beyond the table"));
  }
}

}  // namespace ovx
