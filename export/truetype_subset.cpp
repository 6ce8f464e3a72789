// The TrueType subset: kept glyphs stay at their ids, every other glyph
// becomes empty, and the glyph count ends after the last kept glyph.
//
// Tables that describe glyphs are written anew (glyf, loca, hmtx, cmap,
// maxp, hhea, head, post, name); the hinting programs and gasp are copied.
// Layout tables (GSUB, GPOS, GDEF, kern, vertical metrics) are not carried:
// a PDF viewer never shapes, and their lookups would name glyphs that are
// gone. The file is laid out again with each table padded to four bytes
// with zeros (the directory keeps the unpadded lengths), the directory
// sorted by tag with search fields for the new table count, and the head
// checksum adjustment computed over the finished file.
#include "export/truetype_font.h"

#include "base/error.h"

#include <algorithm>
#include <map>

namespace ovx {

using truetype::AppendU16;
using truetype::AppendU32;
using truetype::MakeTag;
using truetype::PutU16;
using truetype::PutU32;

namespace {

constexpr uint32_t kHead = MakeTag('h', 'e', 'a', 'd');
constexpr uint32_t kHhea = MakeTag('h', 'h', 'e', 'a');
constexpr uint32_t kMaxp = MakeTag('m', 'a', 'x', 'p');
constexpr uint32_t kHmtx = MakeTag('h', 'm', 't', 'x');
constexpr uint32_t kLoca = MakeTag('l', 'o', 'c', 'a');
constexpr uint32_t kGlyf = MakeTag('g', 'l', 'y', 'f');
constexpr uint32_t kCmap = MakeTag('c', 'm', 'a', 'p');
constexpr uint32_t kName = MakeTag('n', 'a', 'm', 'e');
constexpr uint32_t kPost = MakeTag('p', 'o', 's', 't');
constexpr uint32_t kOS2 = MakeTag('O', 'S', '/', '2');

// Tables copied byte for byte.
bool CopiedAsIs(uint32_t tag) {
  switch (tag) {
    case kOS2:
    case MakeTag('c', 'v', 't', ' '):
    case MakeTag('f', 'p', 'g', 'm'):
    case MakeTag('p', 'r', 'e', 'p'):
    case MakeTag('g', 'a', 's', 'p'):
      return true;
    default:
      return false;
  }
}

struct GlyphTables {
  QByteArray glyf, loca;
  bool long_loca = false;
};

GlyphTables WriteGlyphTables(const GlyphTableClass& glyf, const std::vector<bool>& keep) {
  GlyphTables out;
  std::vector<uint32_t> offsets;
  offsets.reserve(keep.size() + 1);
  for (size_t glyph = 0; glyph < keep.size(); ++glyph) {
    offsets.push_back(uint32_t(out.glyf.size()));
    if (!keep[glyph]) continue;
    out.glyf.append(glyf.GlyphData(uint32_t(glyph)));
    // Short loca entries count words, so every glyph starts on an even
    // offset.
    if (out.glyf.size() % 2 != 0) out.glyf.append('\0');
  }
  offsets.push_back(uint32_t(out.glyf.size()));
  out.long_loca = out.glyf.size() / 2 > 0xFFFF;
  for (uint32_t offset : offsets) {
    if (out.long_loca) {
      AppendU32(out.loca, offset);
    } else {
      AppendU16(out.loca, offset / 2);
    }
  }
  return out;
}

// Long metrics only as far as the last kept glyph whose advance differs
// from the final one; dropped glyphs get advance and bearing 0 except where
// the last long metric must carry the final advance.
QByteArray WriteHorizontalMetrics(const HorizontalMetrixClass& hmtx, const std::vector<bool>& keep,
                                  int* number_of_h_metrics) {
  const uint32_t last = uint32_t(keep.size() - 1);
  const int final_advance = hmtx.Advance(last);
  int long_count = 1;
  for (uint32_t glyph = last; glyph-- > 0;) {
    if (keep[glyph] && hmtx.Advance(glyph) != final_advance) {
      long_count = int(glyph) + 2;
      break;
    }
  }
  QByteArray out;
  out.reserve(long_count * 4 + (keep.size() - long_count) * 2);
  for (uint32_t glyph = 0; glyph <= last; ++glyph) {
    if (glyph < uint32_t(long_count)) {
      int advance = keep[glyph] ? hmtx.Advance(glyph) : 0;
      if (glyph == uint32_t(long_count - 1)) advance = keep[glyph] ? advance : final_advance;
      AppendU16(out, advance);
    }
    AppendU16(out, keep[glyph] ? uint16_t(hmtx.LeftSideBearing(glyph)) : 0);
  }
  *number_of_h_metrics = long_count;
  return out;
}

// A format 4 subtable for the BMP part of `mapping`: one segment per run of
// consecutive codes with consecutive glyphs, plus the closing 0xFFFF.
QByteArray WriteCmapFormat4(const std::vector<std::pair<char32_t, uint16_t>>& mapping) {
  struct Segment {
    uint32_t start, end;
    uint16_t delta;
  };
  std::vector<Segment> segments;
  for (const auto& [code, glyph] : mapping) {
    if (code >= 0xFFFF) break;
    const auto delta = uint16_t(glyph - code);
    if (!segments.empty() && segments.back().end + 1 == code && segments.back().delta == delta) {
      segments.back().end = code;
    } else {
      segments.push_back({code, code, delta});
    }
  }
  segments.push_back({0xFFFF, 0xFFFF, 1});
  const auto count = uint32_t(segments.size());
  const truetype::SearchFields search = truetype::ComputeSearchFields(count, 2);
  QByteArray out;
  AppendU16(out, 4);
  AppendU16(out, 16 + count * 8);
  AppendU16(out, 0);  // language
  AppendU16(out, count * 2);
  AppendU16(out, search.search_range);
  AppendU16(out, search.entry_selector);
  AppendU16(out, search.range_shift);
  for (const Segment& segment : segments) AppendU16(out, segment.end);
  AppendU16(out, 0);  // reservedPad
  for (const Segment& segment : segments) AppendU16(out, segment.start);
  for (const Segment& segment : segments) AppendU16(out, segment.delta);
  for (size_t i = 0; i < segments.size(); ++i) AppendU16(out, 0);  // idRangeOffset
  return out;
}

QByteArray WriteCmapFormat12(const std::vector<std::pair<char32_t, uint16_t>>& mapping) {
  struct Group {
    uint32_t start, end, glyph;
  };
  std::vector<Group> groups;
  for (const auto& [code, glyph] : mapping) {
    if (!groups.empty() && groups.back().end + 1 == code &&
        groups.back().glyph + (code - groups.back().start) == glyph) {
      groups.back().end = code;
    } else {
      groups.push_back({code, code, glyph});
    }
  }
  QByteArray out;
  AppendU16(out, 12);
  AppendU16(out, 0);
  AppendU32(out, 16 + uint32_t(groups.size()) * 12);
  AppendU32(out, 0);  // language
  AppendU32(out, uint32_t(groups.size()));
  for (const Group& group : groups) {
    AppendU32(out, group.start);
    AppendU32(out, group.end);
    AppendU32(out, group.glyph);
  }
  return out;
}

QByteArray WriteCmap(const CmapTableClass* cmap, const std::vector<bool>& keep) {
  std::vector<std::pair<char32_t, uint16_t>> mapping;
  if (cmap != nullptr) {
    for (const auto& entry : cmap->Mapping()) {
      if (entry.second < keep.size() && keep[entry.second]) mapping.push_back(entry);
    }
  }
  const bool symbol = cmap != nullptr && cmap->Symbol();
  const bool beyond_bmp = !mapping.empty() && mapping.back().first > 0xFFFF;
  const QByteArray format4 = WriteCmapFormat4(mapping);
  const QByteArray format12 = beyond_bmp ? WriteCmapFormat12(mapping) : QByteArray();
  // (platform, encoding, which subtable), sorted as the format requires.
  std::vector<std::tuple<int, int, int>> records;
  if (symbol) {
    records.emplace_back(3, 0, 4);
  } else {
    records.emplace_back(0, 3, 4);
    if (beyond_bmp) records.emplace_back(0, 4, 12);
    records.emplace_back(3, 1, 4);
    if (beyond_bmp) records.emplace_back(3, 10, 12);
  }
  const uint32_t header = 4 + uint32_t(records.size()) * 8;
  QByteArray out;
  AppendU16(out, 0);
  AppendU16(out, uint16_t(records.size()));
  for (const auto& [platform, encoding, format] : records) {
    AppendU16(out, platform);
    AppendU16(out, encoding);
    AppendU32(out, format == 4 ? header : header + uint32_t(format4.size()));
  }
  out.append(format4);
  out.append(format12);
  return out;
}

// Name IDs 0 to 6 (copyright to PostScript name) of the Unicode platforms,
// as a viewer or validator looks for them; licences and descriptions stay
// behind.
QByteArray WriteName(const NameTableClass& name) {
  QByteArray records;
  QByteArray strings;
  int count = 0;
  for (const auto& record : name.Records()) {
    const bool unicode = record.platform == 0 ||
                         (record.platform == 3 && (record.encoding == 1 || record.encoding == 10));
    if (record.name_id > 6 || !unicode) continue;
    if (count == 5000) break;  // keeps the 16-bit string offset in range
    const QByteArrayView text = name.Data().sliced(record.offset, record.length);
    qsizetype at = text.isEmpty() ? 0 : strings.indexOf(text);
    if (at < 0) {
      // String offsets are 16-bit; a hostile table could ask for more.
      if (strings.size() + text.size() > 0xFFFF) continue;
      at = strings.size();
      strings.append(text);
    }
    AppendU16(records, record.platform);
    AppendU16(records, record.encoding);
    AppendU16(records, record.language);
    AppendU16(records, record.name_id);
    AppendU16(records, uint16_t(record.length));
    AppendU16(records, uint16_t(at));
    ++count;
  }
  QByteArray out;
  AppendU16(out, 0);
  AppendU16(out, count);
  AppendU16(out, uint16_t(6 + count * 12));
  out.append(records);
  out.append(strings);
  return out;
}

QByteArray AssembleFont(std::vector<std::pair<uint32_t, QByteArray>> tables) {
  const auto count = uint32_t(tables.size());
  const truetype::SearchFields search = truetype::ComputeSearchFields(count, 16);
  QByteArray out;
  AppendU32(out, 0x00010000);
  AppendU16(out, count);
  AppendU16(out, search.search_range);
  AppendU16(out, search.entry_selector);
  AppendU16(out, search.range_shift);
  struct Entry {
    uint32_t tag, checksum, offset, length;
  };
  std::vector<Entry> entries;
  const qsizetype directory_end = 12 + qsizetype(count) * 16;
  out.resize(directory_end, '\0');
  qsizetype head_at = -1;
  for (auto& [tag, bytes] : tables) {
    if (tag == kHead) {
      head_at = out.size();
      PutU32(bytes, FontHeaderClass::kCheckSumAdjustmentOffset, 0);
    }
    entries.push_back(
        {tag, truetype::TableChecksum(bytes), uint32_t(out.size()), uint32_t(bytes.size())});
    out.append(bytes);
    truetype::PadTo4(out);
  }
  std::sort(entries.begin(), entries.end(),
            [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
  for (size_t i = 0; i < entries.size(); ++i) {
    const qsizetype at = 12 + qsizetype(i) * 16;
    PutU32(out, at, entries[i].tag);
    PutU32(out, at + 4, entries[i].checksum);
    PutU32(out, at + 8, entries[i].offset);
    PutU32(out, at + 12, entries[i].length);
  }
  if (head_at >= 0) {
    PutU32(out, head_at + FontHeaderClass::kCheckSumAdjustmentOffset,
           0xB1B0AFBAu - truetype::TableChecksum(out));
  }
  return out;
}

}  // namespace

TrueTypeSubset SubsetTrueTypeFont(const TrueTypeFont& font, const std::vector<uint16_t>& glyphs) {
  const auto* glyf = font.Get<GlyphTableClass>(kGlyf);
  if (glyf == nullptr) throw Error("", "Glyph table not found");
  TrueTypeSubset result;
  result.kept_glyphs = CollectSubsetGlyphs(font, glyphs);
  std::vector<bool> keep(result.kept_glyphs.back() + 1, false);
  for (uint16_t glyph : result.kept_glyphs) keep[glyph] = true;
  const auto glyph_count = uint16_t(keep.size());

  GlyphTables glyph_tables = WriteGlyphTables(*glyf, keep);
  int number_of_h_metrics = 0;
  QByteArray hmtx = WriteHorizontalMetrics(font.Hmtx(), keep, &number_of_h_metrics);

  // Kept in the order of the original file, as the fetched font had them.
  std::vector<const TrueTypeTable*> order;
  for (const auto& table : font.Tables()) order.push_back(table.get());
  std::stable_sort(order.begin(), order.end(), [](const TrueTypeTable* a, const TrueTypeTable* b) {
    return a->Offset() < b->Offset();
  });
  std::vector<std::pair<uint32_t, QByteArray>> tables;
  for (const TrueTypeTable* table : order) {
    const uint32_t tag = table->Tag();
    QByteArray bytes;
    if (CopiedAsIs(tag)) {
      bytes = table->Data().toByteArray();
    } else if (tag == kHead) {
      bytes = table->Data().toByteArray();
      PutU16(bytes, FontHeaderClass::kIndexToLocFormatOffset, glyph_tables.long_loca ? 1 : 0);
    } else if (tag == kMaxp) {
      bytes = table->Data().toByteArray();
      PutU16(bytes, MaximumProfileClass::kNumGlyphsOffset, glyph_count);
    } else if (tag == kHhea) {
      bytes = table->Data().toByteArray();
      PutU16(bytes, HorizontalHeaderClass::kNumberOfHMetricsOffset, number_of_h_metrics);
    } else if (tag == kHmtx) {
      bytes = hmtx;
    } else if (tag == kLoca) {
      bytes = glyph_tables.loca;
    } else if (tag == kGlyf) {
      bytes = glyph_tables.glyf;
    } else if (tag == kCmap) {
      bytes = WriteCmap(font.Get<CmapTableClass>(kCmap), keep);
    } else if (tag == kName) {
      bytes = WriteName(*font.Get<NameTableClass>(kName));
    } else if (tag == kPost) {
      // Version 3: the metrics without glyph names.
      bytes = table->Data().first(32).toByteArray();
      PutU32(bytes, 0, 0x00030000);
    } else {
      continue;
    }
    tables.emplace_back(tag, std::move(bytes));
  }
  // A font without cmap still gets one, so shaping tools can read it.
  if (font.Table(kCmap) == nullptr) tables.emplace_back(kCmap, WriteCmap(nullptr, keep));
  result.font = AssembleFont(std::move(tables));
  return result;
}

}  // namespace ovx
