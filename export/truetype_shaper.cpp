#include "export/internal/truetype_shaper.h"

#include "base/utf16.h"

#include <hb.h>

#include <algorithm>

namespace ovx {

namespace {

bool Neutral(hb_script_t script) {
  return script == HB_SCRIPT_COMMON || script == HB_SCRIPT_INHERITED || script == HB_SCRIPT_UNKNOWN;
}

struct ScriptRun {
  qsizetype start = 0;
  qsizetype length = 0;
  hb_script_t script = HB_SCRIPT_COMMON;
};

// Neutral characters (punctuation, digits, marks) join the run they are in;
// leading neutrals take the script of the first strong character.
std::vector<ScriptRun> SplitByScript(QStringView text) {
  hb_unicode_funcs_t* unicode = hb_unicode_funcs_get_default();
  std::vector<ScriptRun> runs;
  for (qsizetype i = 0; i < text.size();) {
    const CodePointAt at = ReadCodePoint(text, i);
    const hb_script_t script = hb_unicode_script(unicode, at.code_point);
    if (runs.empty()) {
      runs.push_back({i, at.length, script});
    } else if (Neutral(script) || script == runs.back().script) {
      runs.back().length += at.length;
    } else if (Neutral(runs.back().script)) {
      runs.back().length += at.length;
      runs.back().script = script;
    } else {
      runs.push_back({i, at.length, script});
    }
    i += at.length;
  }
  return runs;
}

}  // namespace

TrueTypeShaper::TrueTypeShaper(QByteArrayView file, int face_index) {
  blob_ = hb_blob_create(file.data(), static_cast<unsigned>(file.size()), HB_MEMORY_MODE_READONLY,
                         nullptr, nullptr);
  face_ = hb_face_create(blob_, static_cast<unsigned>(face_index));
  font_ = hb_font_create(face_);
  const int upem = static_cast<int>(hb_face_get_upem(face_));
  hb_font_set_scale(font_, upem, upem);
}

TrueTypeShaper::~TrueTypeShaper() {
  hb_font_destroy(font_);
  hb_face_destroy(face_);
  hb_blob_destroy(blob_);
}

std::vector<ShapedGlyph> TrueTypeShaper::Shape(QStringView text, bool rtl) const {
  std::vector<ShapedGlyph> glyphs;
  if (text.isEmpty()) return glyphs;
  static const hb_feature_t kNoKerning = {HB_TAG('k', 'e', 'r', 'n'), 0, HB_FEATURE_GLOBAL_START,
                                          HB_FEATURE_GLOBAL_END};
  std::vector<ScriptRun> runs = SplitByScript(text);
  if (rtl) std::reverse(runs.begin(), runs.end());
  hb_buffer_t* buffer = hb_buffer_create();
  for (const ScriptRun& run : runs) {
    hb_buffer_clear_contents(buffer);
    hb_buffer_add_utf16(buffer, reinterpret_cast<const uint16_t*>(text.utf16()),
                        static_cast<int>(text.size()), static_cast<unsigned>(run.start),
                        static_cast<int>(run.length));
    hb_buffer_set_direction(buffer, rtl ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
    hb_buffer_set_script(buffer, run.script);
    hb_buffer_guess_segment_properties(buffer);
    hb_shape(font_, buffer, &kNoKerning, 1);
    unsigned count = 0;
    const hb_glyph_info_t* infos = hb_buffer_get_glyph_infos(buffer, &count);
    const hb_glyph_position_t* positions = hb_buffer_get_glyph_positions(buffer, &count);
    for (unsigned i = 0; i < count; ++i) {
      glyphs.push_back({infos[i].codepoint, positions[i].x_advance, infos[i].cluster});
    }
  }
  hb_buffer_destroy(buffer);
  return glyphs;
}

}  // namespace ovx
