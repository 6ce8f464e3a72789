// The font service: fontconfig finds faces, FreeType reads them.
//
// Design notes:
//   - The service owns its FcConfig (the system configuration, then the
//     rules the program ships) and never touches fontconfig's current
//     configuration, which the window system's font code uses.
//   - Every lookup asks for Chinese (lang zh-cn) so that the fallback order,
//     and the face an unknown family resolves to, do not follow the locale
//     of whoever runs the program.
//   - Faces are keyed by file and index and never destroyed before the
//     service: callers keep FontFace references, and a removed private font
//     only retires its faces. Each face guards its FT_Face with its own
//     mutex; creating and destroying FT_Faces is serialised on the library.
//   - Lock order: a ScaledFont's cache, then the service, then a face.
//   - A character's fallback face is chosen once per (face, character), so
//     measuring, drawing and embedding all agree for the rest of the run;
//     only registering or removing a private font forgets choices.
//   - Chinese characters fall back along a chain written here, not along
//     fontconfig's sort order: that order follows coverage and language
//     and would set a Kai text's missing characters in whatever sans face
//     covers most of Chinese, so a page would mix brush and sans letters.
//     Other characters keep fontconfig's order.
//   - Vertical forms are found with HarfBuzz over the face FreeType has
//     open, under the face's mutex like every other use of it.
#include "platform/font_service.h"

#include "base/rounding.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include <hb-ft.h>
#include <hb.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace ovx {

namespace internal {
extern const unsigned char kShippedFontsConf[];  // data/fonts/velmora-fonts.conf
}

namespace {

constexpr int kBoldBit = 1;
constexpr int kItalicBit = 2;
// Absurd sizes from damaged templates are clamped rather than overflowing.
constexpr double kMaxEmPixels = 1 << 20;
// Outlines kept per face before the cache starts afresh (a CJK face has
// tens of thousands of glyphs; a text uses a few thousand).
constexpr int kMaxCachedOutlines = 16384;
// Distinct (family, height, style) triples kept; older ScaledFonts keep
// their caches alive on their own.
constexpr int kMaxScaledFonts = 4096;

QByteArray FileName(const QString& path) { return QFile::encodeName(path); }

// --- fallback chains ---------------------------------------------------------------

enum class FaceKind { kKai, kMing, kHei };

// The kind of face a family name stands for: Kai (brush) faces, Song/Ming
// (serif) faces, and Hei (sans) for everything else, Latin faces included.
FaceKind KindOfFamily(const QString& family) {
  auto has = [&](QStringView word) { return family.contains(word, Qt::CaseInsensitive); };
  if (has(u"\u6977") || has(u"Kai")) return FaceKind::kKai;  // 楷
  for (QStringView word : {QStringView(u"\u5B8B"), QStringView(u"\u660E"), QStringView(u"Ming"),
                           QStringView(u"Song"), QStringView(u"Sun"), QStringView(u"Serif"),
                           QStringView(u"Mincho"), QStringView(u"HanaMin")}) {  // 宋, 明
    if (has(word)) return FaceKind::kMing;
  }
  return FaceKind::kHei;
}

constexpr const char* kKaiFamilies[] = {"AR PL UKai CN", "AR PL UKai TW", "AR PL UKai HK"};
constexpr const char* kMingFamilies[] = {"AR PL UMing CN", "AR PL UMing TW", "AR PL UMing HK"};
constexpr const char* kHeiFamilies[] = {"WenQuanYi Zen Hei"};
constexpr const char* kLastFamilies[] = {"HanaMinA", "HanaMinB"};

// The Debian families a Chinese character missing from a face of `family`
// is looked for in, best first: the face's own kind, the other Chinese
// faces, Hanazono.
QStringList FallbackFamilies(const QString& family) {
  QStringList out;
  auto add = [&out](const auto& families) {
    for (const char* name : families) out.append(QString::fromLatin1(name));
  };
  switch (KindOfFamily(family)) {
    case FaceKind::kKai:
      add(kKaiFamilies);
      add(kMingFamilies);
      add(kHeiFamilies);
      break;
    case FaceKind::kMing:
      add(kMingFamilies);
      add(kKaiFamilies);
      add(kHeiFamilies);
      break;
    case FaceKind::kHei:
      if (family.contains(QLatin1String("Mono"), Qt::CaseInsensitive))
        out.append(QStringLiteral("WenQuanYi Zen Hei Mono"));
      add(kHeiFamilies);
      add(kMingFamilies);
      add(kKaiFamilies);
      break;
  }
  add(kLastFamilies);
  return out;
}

// Characters of Chinese text: ideographs of every extension, radicals,
// Chinese punctuation, full-width and vertical forms, and the quotation
// marks, dashes and ellipsis Chinese text uses.
bool IsChineseText(char32_t ch) {
  return (ch >= 0x2E80 && ch <= 0x2FDF) || (ch >= 0x3000 && ch <= 0x303F) ||
         (ch >= 0x3100 && ch <= 0x312F) || (ch >= 0x31C0 && ch <= 0x31EF) ||
         (ch >= 0x3200 && ch <= 0x33FF) || (ch >= 0x3400 && ch <= 0x4DBF) ||
         (ch >= 0x4E00 && ch <= 0x9FFF) || (ch >= 0xF900 && ch <= 0xFAFF) ||
         (ch >= 0xFE10 && ch <= 0xFE1F) || (ch >= 0xFE30 && ch <= 0xFE4F) ||
         (ch >= 0xFF00 && ch <= 0xFFEF) || (ch >= 0x20000 && ch <= 0x3FFFF) ||
         (ch >= 0x2014 && ch <= 0x2026) || ch == 0x00B7;
}

QString CleanAbsolutePath(const QString& path) {
  return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QString PatternString(FcPattern* pattern, const char* object, int n = 0) {
  FcChar8* value = nullptr;
  if (FcPatternGetString(pattern, object, n, &value) != FcResultMatch || !value) return {};
  return QString::fromUtf8(reinterpret_cast<const char*>(value));
}

// A font pattern lists its family names in several languages; the English
// one (or the first) is the face's name whatever the user's locale.
QString EnglishFamily(FcPattern* font) {
  for (int i = 0;; ++i) {
    FcChar8* lang = nullptr;
    if (FcPatternGetString(font, FC_FAMILYLANG, i, &lang) != FcResultMatch) break;
    if (qstrcmp(reinterpret_cast<const char*>(lang), "en") == 0) {
      QString family = PatternString(font, FC_FAMILY, i);
      if (!family.isEmpty()) return family;
    }
  }
  return PatternString(font, FC_FAMILY);
}

struct PatternDeleter {
  void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
using PatternPtr = std::unique_ptr<FcPattern, PatternDeleter>;

// The pattern fontconfig matches for a family and style, substituted.
PatternPtr MakePattern(FcConfig* config, const QString& family, bool bold, bool italic) {
  PatternPtr pattern(FcPatternCreate());
  if (!pattern) return nullptr;
  const QByteArray name = family.toUtf8();
  FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(name.constData()));
  FcPatternAddInteger(pattern.get(), FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern.get(), FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddString(pattern.get(), FC_LANG, reinterpret_cast<const FcChar8*>("zh-cn"));
  FcConfigSubstitute(config, pattern.get(), FcMatchPattern);
  FcDefaultSubstitute(pattern.get());
  return pattern;
}

// --- outlines --------------------------------------------------------------------

struct OutlineSink {
  QPainterPath path;
  bool open = false;
};

int OutlineMoveTo(const FT_Vector* to, void* user) {
  auto* sink = static_cast<OutlineSink*>(user);
  if (sink->open) sink->path.closeSubpath();
  sink->path.moveTo(to->x, to->y);
  sink->open = true;
  return 0;
}

int OutlineLineTo(const FT_Vector* to, void* user) {
  static_cast<OutlineSink*>(user)->path.lineTo(to->x, to->y);
  return 0;
}

int OutlineConicTo(const FT_Vector* control, const FT_Vector* to, void* user) {
  static_cast<OutlineSink*>(user)->path.quadTo(control->x, control->y, to->x, to->y);
  return 0;
}

int OutlineCubicTo(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
  static_cast<OutlineSink*>(user)->path.cubicTo(c1->x, c1->y, c2->x, c2->y, to->x, to->y);
  return 0;
}

// --- faces -----------------------------------------------------------------------

class FaceImpl final : public FontFace {
 public:
  // A face with no glyphs, for a machine where no font loads at all.
  FaceImpl() = default;

  ~FaceImpl() override {
    if (hb_) hb_font_destroy(hb_);  // drops its reference to ft_ first
    if (ft_) FT_Done_Face(ft_);
  }

  // nullptr with `error` set when FreeType cannot use the face.
  static std::unique_ptr<FaceImpl> Open(FT_Library library, const QString& path, int index,
                                        const QString& family, QString* error) {
    FT_Face ft = nullptr;
    const FT_Error status = FT_New_Face(library, FileName(path).constData(), index, &ft);
    if (status != 0 || !ft) {
      if (error) *error = QStringLiteral("FreeType error %1").arg(status);
      return nullptr;
    }
    if (!FT_IS_SCALABLE(ft) || ft->units_per_EM == 0) {
      FT_Done_Face(ft);
      if (error) *error = QStringLiteral("the face has no outlines");
      return nullptr;
    }
    auto face = std::make_unique<FaceImpl>();
    face->ft_ = ft;
    face->path_ = path;
    face->index_ = index;
    face->family_ = family.isEmpty() ? QString::fromUtf8(ft->family_name) : family;
    face->upem_ = ft->units_per_EM;
    face->bold_ = (ft->style_flags & FT_STYLE_FLAG_BOLD) != 0;
    face->italic_ = (ft->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
    face->num_glyphs_ = ft->num_glyphs > 0 ? static_cast<unsigned>(ft->num_glyphs) : 0;

    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2));
    if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
      face->ascent_ = os2->usWinAscent;
      face->descent_ = os2->usWinDescent;
    } else if (ft->ascender - ft->descender > 0) {
      face->ascent_ = ft->ascender;
      face->descent_ = -ft->descender;
    } else {
      face->ascent_ = face->upem_ * 4 / 5;
      face->descent_ = face->upem_ - face->ascent_;
    }

    face->underline_thickness_ =
        ft->underline_thickness > 0 ? ft->underline_thickness : std::max(1, face->upem_ / 20);
    face->underline_position_ =
        ft->underline_position != 0 ? ft->underline_position : -face->upem_ / 10;
    if (os2 && os2->version != 0xFFFF && os2->yStrikeoutSize > 0) {
      face->strikeout_position_ = os2->yStrikeoutPosition;
      face->strikeout_thickness_ = os2->yStrikeoutSize;
    } else {
      face->strikeout_position_ = face->upem_ / 4 + face->underline_thickness_ / 2;
      face->strikeout_thickness_ = face->underline_thickness_;
    }
    return face;
  }

  const QString& FilePath() const override { return path_; }
  int FaceIndex() const override { return index_; }
  const QString& FamilyName() const override { return family_; }
  int UnitsPerEm() const override { return upem_; }
  int Ascent() const override { return ascent_; }
  int Descent() const override { return descent_; }
  bool IsBold() const override { return bold_; }
  bool IsItalic() const override { return italic_; }
  int UnderlinePosition() const override { return underline_position_; }
  int UnderlineThickness() const override { return underline_thickness_; }
  int StrikeoutPosition() const override { return strikeout_position_; }
  int StrikeoutThickness() const override { return strikeout_thickness_; }

  unsigned GlyphIndex(char32_t ch) const override {
    if (!ft_ || ch > 0x10FFFF) return 0;
    std::lock_guard lock(mutex_);
    return FT_Get_Char_Index(ft_, ch);
  }

  int DesignAdvance(unsigned glyph) const override {
    if (!ft_ || glyph >= num_glyphs_) return 0;
    std::lock_guard lock(mutex_);
    FT_Fixed advance = 0;
    if (FT_Get_Advance(ft_, glyph, FT_LOAD_NO_SCALE, &advance) != 0) return 0;
    return static_cast<int>(std::clamp<FT_Fixed>(advance, 0, 0xFFFF));
  }

  unsigned VerticalGlyphIndex(char32_t ch) const override {
    if (!ft_ || ch > 0x10FFFF) return 0;
    std::lock_guard lock(mutex_);
    const unsigned plain = FT_Get_Char_Index(ft_, ch);
    if (plain == 0) return 0;
    if (!hb_) {
      hb_face_t* face = hb_ft_face_create_referenced(ft_);
      hb_ = hb_font_create(face);
      hb_face_destroy(face);
    }
    hb_buffer_t* buffer = hb_buffer_create();
    const uint32_t code = ch;
    hb_buffer_add_utf32(buffer, &code, 1, 0, 1);
    hb_buffer_set_direction(buffer, HB_DIRECTION_TTB);
    hb_buffer_set_script(buffer, HB_SCRIPT_HAN);
    hb_buffer_set_language(buffer, hb_language_from_string("zh", -1));
    static const hb_feature_t kFeatures[] = {
        {HB_TAG('v', 'e', 'r', 't'), 1, HB_FEATURE_GLOBAL_START, HB_FEATURE_GLOBAL_END},
        {HB_TAG('v', 'r', 't', '2'), 1, HB_FEATURE_GLOBAL_START, HB_FEATURE_GLOBAL_END}};
    hb_shape(hb_, buffer, kFeatures, 2);
    unsigned count = 0;
    const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer, &count);
    const unsigned result =
        count == 1 && info[0].codepoint != plain && info[0].codepoint < num_glyphs_
            ? info[0].codepoint
            : 0;
    hb_buffer_destroy(buffer);
    return result;
  }

  QPainterPath GlyphOutline(unsigned glyph) const override {
    if (!ft_ || glyph >= num_glyphs_) return {};
    std::lock_guard lock(mutex_);
    auto found = outlines_.find(glyph);
    if (found != outlines_.end()) return found->second;
    if (outlines_.size() >= kMaxCachedOutlines) outlines_.clear();
    return outlines_.emplace(glyph, LoadOutline(glyph)).first->second;
  }

 private:
  QPainterPath LoadOutline(unsigned glyph) const {
    if (FT_Load_Glyph(ft_, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0)
      return {};
    FT_GlyphSlot slot = ft_->glyph;
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE || slot->outline.n_contours <= 0) return {};
    static const FT_Outline_Funcs kFuncs = {
        OutlineMoveTo, OutlineLineTo, OutlineConicTo, OutlineCubicTo, 0, 0};
    OutlineSink sink;
    // A damaged outline is dropped whole rather than drawn half.
    if (FT_Outline_Decompose(&slot->outline, &kFuncs, &sink) != 0) return {};
    if (sink.open) sink.path.closeSubpath();
    sink.path.setFillRule((slot->outline.flags & FT_OUTLINE_EVEN_ODD_FILL) ? Qt::OddEvenFill
                                                                           : Qt::WindingFill);
    return sink.path;
  }

  mutable std::mutex mutex_;  // FT_Face is not thread-safe
  FT_Face ft_ = nullptr;
  QString path_;
  int index_ = 0;
  QString family_;
  int upem_ = 1000;
  int ascent_ = 800;
  int descent_ = 200;
  bool bold_ = false;
  bool italic_ = false;
  int underline_position_ = -100;
  int underline_thickness_ = 50;
  int strikeout_position_ = 250;
  int strikeout_thickness_ = 50;
  unsigned num_glyphs_ = 0;
  mutable std::unordered_map<unsigned, QPainterPath> outlines_;
  mutable hb_font_t* hb_ = nullptr;  // made on the first vertical-form query
};

struct FontSetDeleter {
  void operator()(FcFontSet* set) const { FcFontSetDestroy(set); }
};
using FontSetPtr = std::unique_ptr<FcFontSet, FontSetDeleter>;

}  // namespace

// --- the shared part of a ScaledFont ---------------------------------------------------

struct ScaledFont::Shared {
  struct Glyph {
    const FontFace* face;
    int advance;
  };

  FontService::Impl* service = nullptr;
  const FontFace* face = nullptr;
  double em = 0;
  FontMetrics metrics;
  bool simulated_bold = false;
  bool simulated_italic = false;

  mutable std::mutex mutex;
  mutable std::unordered_map<char32_t, Glyph> glyphs;

  Glyph Lookup(char32_t ch) const;
};

// --- the service -------------------------------------------------------------------

struct FontService::Impl {
  using FaceKey = std::pair<QString, int>;
  using ResolveKey = std::pair<QString, int>;
  using ScaledKey = std::pair<QString, std::pair<int, int>>;

  std::mutex mutex;  // everything below
  FcConfig* config = nullptr;
  FT_Library library = nullptr;

  QHash<FaceKey, const FaceImpl*> faces;
  // Every face ever opened, removed private ones included, in opening order.
  std::vector<std::unique_ptr<FaceImpl>> owned;
  FaceImpl empty_face;
  QHash<ResolveKey, const FontFace*> resolved;
  QHash<const FontFace*, std::shared_ptr<FcFontSet>> sort_lists;
  QHash<std::pair<const FontFace*, char32_t>, const FontFace*> fallbacks;
  QHash<const FontFace*, std::vector<const FontFace*>> chains;
  QHash<std::pair<const FontFace*, char32_t>, FaceGlyph> vertical;
  QHash<ScaledKey, std::shared_ptr<const ScaledFont::Shared>> scaled;
  QStringList private_files;

  Impl() {
    if (FT_Init_FreeType(&library) != 0) library = nullptr;
    config = FcInitLoadConfig();
    if (!config) config = FcConfigCreate();
    if (config) {
      FcConfigParseAndLoadFromMemory(
          config, reinterpret_cast<const FcChar8*>(internal::kShippedFontsConf), FcTrue);
      FcConfigBuildFonts(config);
    }
  }

  ~Impl() {
    scaled.clear();
    sort_lists.clear();
    owned.clear();  // FT_Done_Face before the library goes
    if (library) FT_Done_FreeType(library);
    if (config) FcConfigDestroy(config);
  }

  // The face of a file, opened on first use; nullptr when it does not load.
  const FaceImpl* FaceOf(const QString& path, int index, const QString& family) {
    const FaceKey key(path, index);
    if (auto it = faces.constFind(key); it != faces.constEnd()) return it.value();
    if (!library || path.isEmpty()) return nullptr;
    auto face = FaceImpl::Open(library, path, index, family, nullptr);
    if (!face) {
      faces.insert(key, nullptr);  // do not retry a damaged file on every lookup
      return nullptr;
    }
    const FaceImpl* result = face.get();
    owned.push_back(std::move(face));
    faces.insert(key, result);
    return result;
  }

  const FaceImpl* FaceOfPattern(FcPattern* font) {
    const QString file = PatternString(font, FC_FILE);
    int index = 0;
    FcPatternGetInteger(font, FC_INDEX, 0, &index);
    return FaceOf(file, index, EnglishFamily(font));
  }

  const FontFace& Resolve(const QString& family, int style_bits) {
    const ResolveKey key(family, style_bits & (kBoldBit | kItalicBit));
    if (auto it = resolved.constFind(key); it != resolved.constEnd()) return *it.value();
    const FontFace* face = Match(family, style_bits);
    resolved.insert(key, face);
    return *face;
  }

  const FontFace* Match(const QString& family, int style_bits) {
    if (!config) return &empty_face;
    PatternPtr pattern =
        MakePattern(config, family, style_bits & kBoldBit, style_bits & kItalicBit);
    if (!pattern) return &empty_face;
    FcResult result = FcResultNoMatch;
    if (PatternPtr best{FcFontMatch(config, pattern.get(), &result)}) {
      if (const FaceImpl* face = FaceOfPattern(best.get())) return face;
    }
    // The best file would not load: take the next one that does.
    FontSetPtr sorted{FcFontSort(config, pattern.get(), FcFalse, nullptr, &result)};
    for (int i = 0; sorted && i < sorted->nfont; ++i) {
      if (const FaceImpl* face = FaceOfPattern(sorted->fonts[i])) return face;
    }
    return &empty_face;
  }

  // The faces fontconfig offers for the primary's family, best first.
  FcFontSet* SortListFor(const FontFace& primary) {
    if (auto it = sort_lists.constFind(&primary); it != sort_lists.constEnd())
      return it.value().get();
    std::shared_ptr<FcFontSet> list;
    if (config) {
      PatternPtr pattern =
          MakePattern(config, primary.FamilyName(), primary.IsBold(), primary.IsItalic());
      FcResult result = FcResultNoMatch;
      if (pattern) {
        if (FcFontSet* set = FcFontSort(config, pattern.get(), FcFalse, nullptr, &result))
          list.reset(set, FcFontSetDestroy);
      }
    }
    sort_lists.insert(&primary, list);
    return list.get();
  }

  // The installed faces of FallbackFamilies for the primary, in the
  // primary's style where a family has it.
  const std::vector<const FontFace*>& ChainFor(const FontFace& primary) {
    if (auto it = chains.constFind(&primary); it != chains.constEnd()) return it.value();
    std::vector<const FontFace*> chain;
    const int style = (primary.IsBold() ? kBoldBit : 0) | (primary.IsItalic() ? kItalicBit : 0);
    for (const QString& family : FallbackFamilies(primary.FamilyName())) {
      const FontFace& face = Resolve(family, style);
      // fontconfig answers a missing family with some other face.
      if (face.FamilyName().compare(family, Qt::CaseInsensitive) != 0) continue;
      if (&face == &primary || std::find(chain.begin(), chain.end(), &face) != chain.end())
        continue;
      chain.push_back(&face);
    }
    return chains.insert(&primary, std::move(chain)).value();
  }

  const FontFace& Fallback(const FontFace& primary, char32_t ch) {
    const std::pair<const FontFace*, char32_t> key(&primary, ch);
    if (auto it = fallbacks.constFind(key); it != fallbacks.constEnd()) return *it.value();
    const FontFace* chosen = &primary;
    if (IsChineseText(ch)) {
      for (const FontFace* face : ChainFor(primary)) {
        if (face->GlyphIndex(ch) != 0) {
          chosen = face;
          break;
        }
      }
    }
    FcFontSet* list = chosen == &primary ? SortListFor(primary) : nullptr;
    if (list) {
      for (int i = 0; i < list->nfont; ++i) {
        FcCharSet* charset = nullptr;
        if (FcPatternGetCharSet(list->fonts[i], FC_CHARSET, 0, &charset) != FcResultMatch ||
            !FcCharSetHasChar(charset, ch))
          continue;
        const FaceImpl* face = FaceOfPattern(list->fonts[i]);
        if (face && face != &primary && face->GlyphIndex(ch) != 0) {
          chosen = face;
          break;
        }
      }
    }
    fallbacks.insert(key, chosen);
    return *chosen;
  }

  const FontFace& FaceFor(const FontFace& primary, char32_t ch) {
    return primary.GlyphIndex(ch) != 0 ? primary : Fallback(primary, ch);
  }

  // Moves a mark's ink into the top-right quarter of the em square, as
  // vertical Chinese text places it, whatever the face does for horizontal
  // text (bottom left, or centred in faces that follow the Taiwan rule): a
  // small mark is centred in that quarter, a tall one keeps to the square.
  static void MoveToTopRight(const FontFace& face, FaceGlyph& glyph) {
    const QRectF ink = face.GlyphOutline(glyph.glyph).boundingRect();  // y up
    const int cell = face.Ascent() + face.Descent();
    if (ink.isEmpty() || cell <= 0) return;
    const double width = face.DesignAdvance(glyph.glyph);
    // The em square's bottom, where the cell below the baseline would put
    // it: the face's descent scaled from its cell to the em.
    const double bottom = -double(face.Descent()) * face.UnitsPerEm() / cell;
    const double top = bottom + face.UnitsPerEm();
    const double left = std::min(0.75 * width - ink.width() / 2, width - ink.width());
    const double low =
        std::min(bottom + 0.75 * face.UnitsPerEm() - ink.height() / 2, top - ink.height());
    glyph.shift_x = RoundToInt(left - ink.left());
    glyph.shift_y = RoundToInt(low - ink.top());  // top(): the lowest y
  }

  FaceGlyph VerticalGlyph(const FontFace& primary, char32_t ch) {
    const std::pair<const FontFace*, char32_t> key(&primary, ch);
    if (auto it = vertical.constFind(key); it != vertical.constEnd()) return it.value();
    const FontFace& face = FaceFor(primary, ch);
    FaceGlyph chosen{&face, face.GlyphIndex(ch)};
    static constexpr std::u32string_view kPlacedMarks =
        U"\uFF0C\u3001\u3002\uFF0E\uFF1A\uFF1B\uFF1F\uFF01";
    if (kPlacedMarks.find(ch) != std::u32string_view::npos) {
      if (chosen.glyph != 0) MoveToTopRight(face, chosen);
    } else if (const unsigned turned = face.VerticalGlyphIndex(ch)) {
      chosen.glyph = turned;
    } else if (const char32_t form = VerticalPresentationForm(ch)) {
      const FontFace& form_face = FaceFor(primary, form);
      if (const unsigned glyph = form_face.GlyphIndex(form)) chosen = {&form_face, glyph};
    }
    vertical.insert(key, chosen);
    return chosen;
  }

  std::shared_ptr<const ScaledFont::Shared> Scaled(const QString& family, int pixel_height,
                                                   int style_bits) {
    style_bits &= kBoldBit | kItalicBit;
    const ScaledKey key(family, {pixel_height, style_bits});
    if (auto it = scaled.constFind(key); it != scaled.constEnd()) return it.value();

    auto shared = std::make_shared<ScaledFont::Shared>();
    const FontFace& face = Resolve(family, style_bits);
    shared->service = this;
    shared->face = &face;
    const double cell = face.Ascent() + face.Descent();
    double em = 0;
    if (pixel_height < 0)
      em = -static_cast<double>(pixel_height);
    else if (pixel_height > 0 && cell > 0)
      em = pixel_height * static_cast<double>(face.UnitsPerEm()) / cell;
    em = std::min(em, kMaxEmPixels);
    shared->em = em;
    shared->metrics.ascent = RoundToInt(face.Ascent() * em / face.UnitsPerEm());
    shared->metrics.descent = RoundToInt(face.Descent() * em / face.UnitsPerEm());
    shared->metrics.height = shared->metrics.ascent + shared->metrics.descent;
    shared->simulated_bold = (style_bits & kBoldBit) && !face.IsBold();
    shared->simulated_italic = (style_bits & kItalicBit) && !face.IsItalic();

    if (scaled.size() >= kMaxScaledFonts) scaled.clear();
    scaled.insert(key, shared);
    return shared;
  }

  // After the set of fonts changed: forget every choice (a new font may be a
  // better one), keeping the faces themselves.
  void ForgetChoices() {
    resolved.clear();
    sort_lists.clear();
    fallbacks.clear();
    chains.clear();
    vertical.clear();
    scaled.clear();
  }
};

ScaledFont::Shared::Glyph ScaledFont::Shared::Lookup(char32_t ch) const {
  std::lock_guard lock(mutex);
  if (auto it = glyphs.find(ch); it != glyphs.end()) return it->second;
  const FontFace& drawn_by = face->GlyphIndex(ch) != 0 ? *face : [&]() -> const FontFace& {
    std::lock_guard service_lock(service->mutex);
    return service->Fallback(*face, ch);
  }();
  const double design = drawn_by.DesignAdvance(drawn_by.GlyphIndex(ch));
  const Glyph glyph{&drawn_by, RoundToInt(design * em / drawn_by.UnitsPerEm())};
  glyphs.emplace(ch, glyph);
  return glyph;
}

// --- ScaledFont --------------------------------------------------------------------

ScaledFont::ScaledFont(const QString& family, int pixel_height, int style_bits) {
  FontService::Impl& impl = *FontService::Instance().impl_;
  std::lock_guard lock(impl.mutex);
  shared_ = impl.Scaled(family, pixel_height, style_bits);
}

const FontFace& ScaledFont::Face() const { return *shared_->face; }
double ScaledFont::EmPixels() const { return shared_->em; }
FontMetrics ScaledFont::Metrics() const { return shared_->metrics; }
const FontFace& ScaledFont::FaceFor(char32_t ch) const { return *shared_->Lookup(ch).face; }
int ScaledFont::Advance(char32_t ch) const { return shared_->Lookup(ch).advance; }
FaceGlyph ScaledFont::VerticalGlyph(char32_t ch) const {
  std::lock_guard lock(shared_->service->mutex);
  return shared_->service->VerticalGlyph(*shared_->face, ch);
}
bool ScaledFont::SimulatedBold() const { return shared_->simulated_bold; }
bool ScaledFont::SimulatedItalic() const { return shared_->simulated_italic; }

// --- FontService -------------------------------------------------------------------

FontService& FontService::Instance() {
  static FontService service;
  return service;
}

FontService::FontService() : impl_(std::make_unique<Impl>()) {}
FontService::~FontService() = default;

bool FontService::AddPrivateFont(const QString& file_path, QString* error) {
  auto fail = [&](const QString& message) {
    if (error) *error = message;
    return false;
  };
  const QString path = CleanAbsolutePath(file_path);
  const QFileInfo info(path);
  if (file_path.isEmpty() || !info.exists())
    return fail(QStringLiteral("The font file \"%1\" does not exist.").arg(file_path));
  if (!info.isFile() || !info.isReadable())
    return fail(QStringLiteral("The font file \"%1\" cannot be read.").arg(file_path));

  std::lock_guard lock(impl_->mutex);
  if (impl_->private_files.contains(path)) return true;
  if (!impl_->config || !impl_->library)
    return fail(QStringLiteral("No font library is available to load \"%1\".").arg(file_path));

  // FreeType must be able to use every face fontconfig will offer from it.
  FT_Face probe = nullptr;
  const FT_Error status = FT_New_Face(impl_->library, FileName(path).constData(), -1, &probe);
  const long face_count = status == 0 && probe ? probe->num_faces : 0;
  if (probe) FT_Done_Face(probe);
  if (face_count <= 0) return fail(QStringLiteral("\"%1\" is not a font file.").arg(file_path));
  // A collection claiming absurdly many faces is checked only at its start.
  for (long i = 0; i < std::min(face_count, 256L); ++i) {
    QString why;
    if (!FaceImpl::Open(impl_->library, path, static_cast<int>(i), {}, &why)) {
      return fail(QStringLiteral("The font file \"%1\" is damaged or not supported (%2).")
                      .arg(file_path, why));
    }
  }
  if (!FcConfigAppFontAddFile(impl_->config,
                              reinterpret_cast<const FcChar8*>(FileName(path).constData())))
    return fail(QStringLiteral("The font file \"%1\" could not be registered.").arg(file_path));

  impl_->private_files.append(path);
  impl_->ForgetChoices();
  return true;
}

void FontService::RemovePrivateFont(const QString& file_path) {
  const QString path = CleanAbsolutePath(file_path);
  std::lock_guard lock(impl_->mutex);
  if (!impl_->private_files.removeAll(path)) return;

  // fontconfig can only forget all application fonts at once.
  FcConfigAppFontClear(impl_->config);
  for (const QString& other : impl_->private_files) {
    FcConfigAppFontAddFile(impl_->config,
                           reinterpret_cast<const FcChar8*>(FileName(other).constData()));
  }

  // Faces of the removed file stay alive (references to them may be held)
  // but are no longer handed out; choices that do not involve them remain
  // the best ones and are kept.
  QSet<const FontFace*> removed;
  for (auto it = impl_->faces.begin(); it != impl_->faces.end();) {
    if (CleanAbsolutePath(it.key().first) == path) {
      if (it.value()) removed.insert(it.value());
      it = impl_->faces.erase(it);
    } else {
      ++it;
    }
  }
  impl_->resolved.removeIf([&](const auto& entry) { return removed.contains(entry.value()); });
  impl_->fallbacks.removeIf([&](const auto& entry) {
    return removed.contains(entry.key().first) || removed.contains(entry.value());
  });
  // Sort lists may offer the removed faces, and scaled fonts may have cached
  // them as fallbacks: both are rebuilt from what is kept.
  impl_->sort_lists.clear();
  impl_->chains.clear();
  impl_->vertical.clear();
  impl_->scaled.clear();
}

const FontFace& FontService::Resolve(const QString& family, int style_bits) {
  std::lock_guard lock(impl_->mutex);
  return impl_->Resolve(family, style_bits);
}

const FontFace& FontService::FaceFor(const FontFace& primary, char32_t ch) {
  if (primary.GlyphIndex(ch) != 0) return primary;
  std::lock_guard lock(impl_->mutex);
  return impl_->Fallback(primary, ch);
}

FaceGlyph FontService::VerticalGlyph(const FontFace& primary, char32_t ch) {
  std::lock_guard lock(impl_->mutex);
  return impl_->VerticalGlyph(primary, ch);
}

namespace {

// Ordinary marks and their vertical presentation forms, by mark.
constexpr std::pair<char32_t, char32_t> kVerticalForms[] = {
    {0x2014, 0xFE31}, {0x2018, 0xFE41}, {0x2019, 0xFE42}, {0x201C, 0xFE43}, {0x201D, 0xFE44},
    {0x2025, 0xFE30}, {0x2026, 0xFE19}, {0x3001, 0xFE11}, {0x3002, 0xFE12}, {0x3008, 0xFE3F},
    {0x3009, 0xFE40}, {0x300A, 0xFE3D}, {0x300B, 0xFE3E}, {0x300C, 0xFE41}, {0x300D, 0xFE42},
    {0x300E, 0xFE43}, {0x300F, 0xFE44}, {0x3010, 0xFE3B}, {0x3011, 0xFE3C}, {0x3014, 0xFE39},
    {0x3015, 0xFE3A}, {0x3016, 0xFE17}, {0x3017, 0xFE18}, {0xFF01, 0xFE15}, {0xFF08, 0xFE35},
    {0xFF09, 0xFE36}, {0xFF0C, 0xFE10}, {0xFF1A, 0xFE13}, {0xFF1B, 0xFE14}, {0xFF1F, 0xFE16},
    {0xFF5B, 0xFE37}, {0xFF5D, 0xFE38},
};

}  // namespace

char32_t VerticalPresentationForm(char32_t ch) {
  const auto* found =
      std::lower_bound(std::begin(kVerticalForms), std::end(kVerticalForms), ch,
                       [](const auto& entry, char32_t c) { return entry.first < c; });
  return found != std::end(kVerticalForms) && found->first == ch ? found->second : 0;
}

char32_t MarkOfVerticalPresentationForm(char32_t form) {
  // The corner brackets come after the quotation marks they also stand for.
  char32_t mark = 0;
  for (const auto& [ordinary, vertical] : kVerticalForms) {
    if (vertical == form) mark = ordinary;
  }
  return mark;
}

QStringList FontService::Families() {
  std::lock_guard lock(impl_->mutex);
  QStringList families;
  if (!impl_->config) return families;
  for (FcSetName which : {FcSetSystem, FcSetApplication}) {
    FcFontSet* set = FcConfigGetFonts(impl_->config, which);
    for (int i = 0; set && i < set->nfont; ++i) {
      const QString family = EnglishFamily(set->fonts[i]);
      if (!family.isEmpty()) families.append(family);
    }
  }
  families.sort(Qt::CaseInsensitive);
  families.removeDuplicates();
  return families;
}

}  // namespace ovx
