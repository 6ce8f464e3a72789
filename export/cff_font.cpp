// CFF reading (header, INDEX, DICT, charset: only what maps glyphs to CIDs)
// and the OpenType CFF subset through HarfBuzz's subsetter.
#include "export/cff_font.h"

#include "base/error.h"
#include "export/internal/truetype_bytes.h"

#include <hb-subset.h>
#include <hb.h>

#include <algorithm>
#include <memory>

namespace ovx {

using truetype::FontBytes;
using truetype::MakeTag;

namespace {

[[noreturn]] void ThrowCffError(const QString& detail) {
  throw Error("", "CFF font format error: %s", {detail});
}

// An INDEX: `count` elements, each a checked range of the table.
struct CffIndex {
  qint64 data_start = 0;
  qint64 end = 0;  // first byte after the INDEX
  uint32_t count = 0;
  int off_size = 0;
  qint64 offsets_at = 0;

  std::pair<qint64, qint64> Element(const FontBytes& cff, uint32_t i) const {
    const qint64 start = data_start + cff.UVar(offsets_at + qint64(i) * off_size, off_size);
    const qint64 stop = data_start + cff.UVar(offsets_at + qint64(i + 1) * off_size, off_size);
    if (stop < start || !cff.Has(start, stop - start))
      ThrowCffError(QStringLiteral("INDEX element"));
    return {start, stop};
  }
};

CffIndex ReadIndex(const FontBytes& cff, qint64 at) {
  CffIndex index;
  index.count = cff.U16(at);
  if (index.count == 0) {
    index.end = at + 2;
    return index;
  }
  index.off_size = cff.U8(at + 2);
  if (index.off_size < 1 || index.off_size > 4) ThrowCffError(QStringLiteral("INDEX offset size"));
  index.offsets_at = at + 3;
  index.data_start = index.offsets_at + qint64(index.count + 1) * index.off_size - 1;
  index.end = index.data_start +
              cff.UVar(index.offsets_at + qint64(index.count) * index.off_size, index.off_size);
  cff.Require(index.offsets_at, qint64(index.count + 1) * index.off_size);
  if (index.end < index.data_start + 1 || !cff.Has(at, index.end - at)) {
    ThrowCffError(QStringLiteral("INDEX beyond the table"));
  }
  return index;
}

struct TopDict {
  bool ros = false;
  qint64 charset = 0;
  qint64 char_strings = -1;
};

TopDict ReadTopDict(const FontBytes& cff, qint64 start, qint64 stop) {
  TopDict dict;
  std::vector<double> operands;
  for (qint64 at = start; at < stop;) {
    const int b0 = cff.U8(at);
    if (b0 <= 21) {
      int op = b0;
      if (b0 == 12) {
        op = 1200 + cff.U8(at + 1);
        at += 2;
      } else {
        at += 1;
      }
      if (op == 1230) dict.ros = true;
      if (op == 15 && !operands.empty()) dict.charset = qint64(operands.back());
      if (op == 17 && !operands.empty()) dict.char_strings = qint64(operands.back());
      operands.clear();
      continue;
    }
    if (operands.size() >= 48) ThrowCffError(QStringLiteral("DICT operand stack overflow"));
    if (b0 == 28) {
      operands.push_back(int16_t(cff.U16(at + 1)));
      at += 3;
    } else if (b0 == 29) {
      operands.push_back(int32_t(cff.U32(at + 1)));
      at += 5;
    } else if (b0 == 30) {
      // A real number: nibbles up to the 0xF end mark. Its value is never
      // needed for the entries read here.
      ++at;
      for (;;) {
        const int byte = cff.U8(at++);
        if ((byte & 0x0F) == 0x0F || (byte >> 4) == 0x0F) break;
      }
      operands.push_back(0);
    } else if (b0 >= 32 && b0 <= 246) {
      operands.push_back(b0 - 139);
      at += 1;
    } else if (b0 >= 247 && b0 <= 250) {
      operands.push_back((b0 - 247) * 256 + cff.U8(at + 1) + 108);
      at += 2;
    } else if (b0 >= 251 && b0 <= 254) {
      operands.push_back(-(b0 - 251) * 256 - cff.U8(at + 1) - 108);
      at += 2;
    } else {
      ThrowCffError(QStringLiteral("reserved DICT byte %1").arg(b0));
    }
  }
  return dict;
}

}  // namespace

CffProgram::CffProgram(QByteArrayView cff_data) {
  const FontBytes cff(cff_data, "CFF");
  if (cff.U8(0) != 1) ThrowCffError(QStringLiteral("version %1").arg(cff.U8(0)));
  const CffIndex names = ReadIndex(cff, cff.U8(2));
  const CffIndex top_dicts = ReadIndex(cff, names.end);
  if (top_dicts.count == 0) ThrowCffError(QStringLiteral("no Top DICT"));
  const auto [dict_start, dict_stop] = top_dicts.Element(cff, 0);
  const TopDict top = ReadTopDict(cff, dict_start, dict_stop);
  if (top.char_strings <= 0) ThrowCffError(QStringLiteral("no CharStrings"));
  glyph_count_ = int(ReadIndex(cff, top.char_strings).count);
  if (glyph_count_ == 0) ThrowCffError(QStringLiteral("no glyphs"));
  cid_keyed_ = top.ros;
  if (!cid_keyed_) return;

  cids_.assign(glyph_count_, 0);
  // Predefined charsets make no sense in a CID font; read them as identity.
  if (top.charset <= 2) {
    for (int glyph = 0; glyph < glyph_count_; ++glyph) cids_[glyph] = uint16_t(glyph);
    return;
  }
  const int format = cff.U8(top.charset);
  qint64 at = top.charset + 1;
  int glyph = 1;
  if (format == 0) {
    for (; glyph < glyph_count_; ++glyph, at += 2) cids_[glyph] = cff.U16(at);
  } else if (format == 1 || format == 2) {
    while (glyph < glyph_count_) {
      const uint32_t first = cff.U16(at);
      const uint32_t left = format == 1 ? cff.U8(at + 2) : cff.U16(at + 2);
      at += format == 1 ? 3 : 4;
      for (uint32_t i = 0; i <= left && glyph < glyph_count_; ++i, ++glyph) {
        cids_[glyph] = uint16_t(first + i);
      }
    }
  } else {
    ThrowCffError(QStringLiteral("charset format %1").arg(format));
  }
}

uint16_t CffProgram::CidOf(uint32_t glyph) const {
  if (glyph >= uint32_t(glyph_count_)) return 0;
  return cid_keyed_ ? cids_[glyph] : uint16_t(glyph);
}

int CffProgram::GlyphOfCid(uint16_t cid) const {
  if (!cid_keyed_) return cid < glyph_count_ ? cid : -1;
  for (int glyph = 0; glyph < glyph_count_; ++glyph) {
    if (cids_[glyph] == cid) return glyph;
  }
  return -1;
}

QByteArray SubsetOpenTypeCff(QByteArrayView file, int face_index,
                             const std::vector<uint16_t>& glyphs,
                             const std::vector<std::pair<char32_t, uint16_t>>& unicodes,
                             bool retain_gids) {
  struct Deleter {
    void operator()(hb_blob_t* p) const { hb_blob_destroy(p); }
    void operator()(hb_face_t* p) const { hb_face_destroy(p); }
    void operator()(hb_subset_input_t* p) const { hb_subset_input_destroy(p); }
  };
  const std::unique_ptr<hb_blob_t, Deleter> blob(hb_blob_create(
      file.data(), static_cast<unsigned>(file.size()), HB_MEMORY_MODE_READONLY, nullptr, nullptr));
  const std::unique_ptr<hb_face_t, Deleter> face(hb_face_create(blob.get(), face_index));
  const std::unique_ptr<hb_subset_input_t, Deleter> input(hb_subset_input_create_or_fail());
  if (!input) throw Error("", "Out of memory while subsetting a font");

  hb_set_t* glyph_set = hb_subset_input_glyph_set(input.get());
  hb_set_add(glyph_set, 0);
  for (uint16_t glyph : glyphs) hb_set_add(glyph_set, glyph);
  hb_set_t* unicode_set = hb_subset_input_unicode_set(input.get());
  for (const auto& [code_point, glyph] : unicodes) {
    if (hb_set_has(glyph_set, glyph)) hb_set_add(unicode_set, code_point);
  }
  // Everything but the tables a PDF viewer and a font validator need.
  static constexpr uint32_t kKept[] = {
      MakeTag('C', 'F', 'F', ' '), MakeTag('h', 'e', 'a', 'd'), MakeTag('h', 'h', 'e', 'a'),
      MakeTag('h', 'm', 't', 'x'), MakeTag('m', 'a', 'x', 'p'), MakeTag('O', 'S', '/', '2'),
      MakeTag('n', 'a', 'm', 'e'), MakeTag('p', 'o', 's', 't'), MakeTag('c', 'm', 'a', 'p')};
  hb_set_t* drop = hb_subset_input_set(input.get(), HB_SUBSET_SETS_DROP_TABLE_TAG);
  hb_set_clear(drop);
  hb_tag_t tags[64];
  for (unsigned start = 0;;) {
    unsigned count = 64;
    const unsigned total = hb_face_get_table_tags(face.get(), start, &count, tags);
    for (unsigned i = 0; i < count; ++i) {
      if (std::find(std::begin(kKept), std::end(kKept), tags[i]) == std::end(kKept)) {
        hb_set_add(drop, tags[i]);
      }
    }
    start += count;
    if (count == 0 || start >= total) break;
  }
  hb_subset_input_set_flags(input.get(),
                            retain_gids ? HB_SUBSET_FLAGS_RETAIN_GIDS : HB_SUBSET_FLAGS_DEFAULT);

  const std::unique_ptr<hb_face_t, Deleter> subset(hb_subset_or_fail(face.get(), input.get()));
  if (!subset) throw Error("", "The CFF font could not be subset");
  const std::unique_ptr<hb_blob_t, Deleter> result(hb_face_reference_blob(subset.get()));
  unsigned length = 0;
  const char* data = hb_blob_get_data(result.get(), &length);
  if (length == 0) throw Error("", "The CFF font could not be subset");
  return QByteArray(data, length);
}

}  // namespace ovx
