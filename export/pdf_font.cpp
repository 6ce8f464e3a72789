// TovxPDFFont: shaping, the record of used glyphs with their codes, and the
// PDF objects of one font; PdfFontList: the fonts of one document.
//
// Codes. Each place in the content stream shows a code, and ToUnicode maps
// a code (not a glyph) to text, so a glyph met for two different texts
// needs two codes. The first text of a glyph uses the glyph's natural code
// (its id for TrueType, its CID for CFF); a later, different text of the
// same TrueType glyph gets a fresh code above the font's glyph ids, mapped
// back to the glyph through the CIDToGIDMap stream. A CFF descendant cannot
// carry such a map, so there the first text is kept (and a warning says
// so).
#include "export/pdf_font.h"

#include "base/error.h"
#include "base/utf16.h"
#include "export/cff_font.h"
#include "export/font_file_cache.h"
#include "export/internal/truetype_shaper.h"
#include "export/truetype_font.h"
#include "platform/font_service.h"

#include <QFile>
#include <QHash>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <map>
#include <optional>

using ovx::FontFace;
using ovx::PdfFontMetrics;
using ovx::TrueTypeFont;
using ovx::truetype::MakeTag;

namespace {

constexpr uint32_t kPost = MakeTag('p', 'o', 's', 't');
constexpr uint32_t kOS2 = MakeTag('O', 'S', '/', '2');
constexpr uint32_t kCmap = MakeTag('c', 'm', 'a', 'p');
constexpr uint32_t kGlyf = MakeTag('g', 'l', 'y', 'f');
constexpr uint32_t kCff = MakeTag('C', 'F', 'F', ' ');

// ToUnicode destination strings are limited to 512 bytes.
constexpr qsizetype kMaxUnicodeUnits = 256;

// Font names whose bold (1) and italic (2) faces are always simulated.
struct SimulatedName {
  const char16_t* name;
  int styles;
};
constexpr SimulatedName kSimulated[] = {
    {u"\uFF2D\uFF33 \u30B4\u30B7\u30C3\u30AF", 3},        // ＭＳ ゴシック
    {u"\uFF2D\uFF33 \uFF30\u30B4\u30B7\u30C3\u30AF", 3},  // ＭＳ Ｐゴシック
    {u"\uFF2D\uFF33 \u660E\u671D", 3},                    // ＭＳ 明朝
    {u"\uFF2D\uFF33 \uFF30\u660E\u671D", 3},              // ＭＳ Ｐ明朝
    {u"MS UI Gothic", 3},
    {u"Arial Black", 3},
    {u"Tahoma", 2},
};

// Fonts whose shaping may merge characters into fewer glyphs than the
// layout measured; they are mapped character by character then.
constexpr const char16_t* kPerCharacter[] = {
    u"CADiagram", u"Calibri",    u"Calibri Light", u"Carlito",  u"EmojiOne Color",
    u"Gabriola",  u"OpenSymbol", u"Segoe Script",  u"ZWAdobeF",
};

// Families whose table checksums are known to be wrong in shipped files
// (the Debian ukai.ttc stores wrong head checksums in every face; the
// subset gets a head of its own anyway).
constexpr const char16_t* kChecksumExempt[] = {
    u"EanGniv?",      u"Roboto Cn",     u"AR PL UKai CN",
    u"AR PL UKai HK", u"AR PL UKai TW", u"AR PL UKai TW MBE",
};

int SimulatedByName(const QString& name) {
  for (const SimulatedName& entry : kSimulated) {
    if (name.compare(QString::fromUtf16(entry.name), Qt::CaseInsensitive) == 0) return entry.styles;
  }
  return 0;
}

bool PerCharacter(const QString& name) {
  for (const char16_t* entry : kPerCharacter) {
    if (name.compare(QString::fromUtf16(entry), Qt::CaseInsensitive) == 0) return true;
  }
  return false;
}

bool ChecksumExempt(const QString& family) {
  for (const char16_t* entry : kChecksumExempt) {
    if (family.compare(QString::fromUtf16(entry), Qt::CaseInsensitive) == 0) return true;
  }
  return false;
}

QByteArray Number(int value) { return QByteArray::number(value); }

// Two decimals at most, never exponent notation, "-0" as "0".
QByteArray Decimal(double value) {
  value = std::round(value * 100.0) / 100.0;
  if (value == 0 || !std::isfinite(value)) return "0";
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
  QByteArray text(buffer, result.ptr - buffer);
  while (text.endsWith('0')) text.chop(1);
  if (text.endsWith('.')) text.chop(1);
  return text;
}

QByteArray Hex4(uint32_t value) {
  return QByteArray::number(value & 0xFFFF, 16).toUpper().rightJustified(4, '0');
}

// A PDF name's bytes: UTF-8, with delimiters, '#', and bytes outside
// printable ASCII as #XX.
QByteArray EscapeName(const QString& name) {
  QByteArray out;
  for (const char c : name.toUtf8()) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x21 || byte > 0x7E || std::strchr("#()<>[]{}/%", byte) != nullptr) {
      out.append('#');
      out.append(QByteArray::number(byte, 16).toUpper().rightJustified(2, '0'));
    } else {
      out.append(char(byte));
    }
  }
  return out;
}

// "uni5155" or "u2A6D6": the character a glyph name says it shows.
char32_t CharacterOfGlyphName(const QByteArray& name) {
  QByteArray hex;
  if (name.size() == 7 && name.startsWith("uni")) {
    hex = name.mid(3);
  } else if (name.size() >= 5 && name.size() <= 7 && name.startsWith('u')) {
    hex = name.mid(1);
  } else {
    return 0;
  }
  bool ok = false;
  const uint value = hex.toUInt(&ok, 16);
  if (!ok || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  for (const char c : hex) {
    if (c >= 'a' && c <= 'f') return 0;  // the convention is upper case
  }
  return value;
}

int CountCodePoints(QStringView text) {
  int count = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (!(text[i].isLowSurrogate() && i > 0 && text[i - 1].isHighSurrogate())) ++count;
  }
  return count;
}

}  // namespace

struct TovxPDFFont::Impl {
  QString name;
  int style_bits = 0;
  int index = 0;
  bool simulated_bold = false;  // for `style_bits`: decides the effective style
  bool simulated_italic = false;
  bool face_bold = false;  // the face's own style, or the simulation list's verdict
  bool face_italic = false;
  const FontFace* face = nullptr;  // null for fonts made from bytes
  int face_index = 0;

  bool loaded = false;
  bool has_data = false;
  std::optional<ovx::Error> load_error;  // a damaged file fails every later call too
  std::unique_ptr<ovx::TrueTypeCollection> collection;
  const TrueTypeFont* font = nullptr;
  std::unique_ptr<ovx::CffProgram> cff;
  std::unique_ptr<ovx::TrueTypeShaper> shaper;
  PdfFontMetrics metrics;
  int units_per_em = 1000;

  std::vector<UsedGlyph> used;               // by first use
  QHash<uint16_t, int> first_code_of_glyph;  // glyph -> index in used
  std::map<std::pair<uint16_t, QString>, uint16_t> extra_codes;
  uint32_t next_extra_code = 0;
  bool needs_cid_to_gid_map = false;
  QStringList warnings;  // one line per problem of this font
  // Glyphs standing for two texts, summed into one line: a page of text
  // must not give a line per glyph.
  int shared_glyphs = 0;
  QString shared_example;
  bool built = false;
  QByteArray subset_font;  // made once, after mapping
  // The glyph ids a TrueType subset keeps (with composite components).
  std::vector<uint16_t> kept_glyphs;

  void Load();
  void LoadFile();
  void LoadFontData(QByteArray data);
  void ComputeMetrics();
  void ComputeMetricsFromFace();
  int Thousandths(double units) const { return int(std::nearbyint(units * 1000.0 / units_per_em)); }
  int GlyphWidth(uint16_t glyph) const;
  QString TextForGlyph(uint16_t glyph, QString text) const;
  // The first character the cmap maps to `glyph`; empty when none does.
  QString CharacterOfGlyph(uint16_t glyph);
  QHash<uint16_t, char32_t> reverse_cmap;
  bool reverse_cmap_built = false;
  uint16_t CodeFor(uint16_t glyph, const QString& text);
  std::vector<ovx::ShapedGlyph> Shape(QStringView text, bool rtl) const;
  QByteArray SubsetTag() const;
  QByteArray BaseName() const;
};

// --- loading ------------------------------------------------------------------------------

void TovxPDFFont::Impl::Load() {
  if (load_error) throw *load_error;
  if (loaded) return;
  loaded = true;
  if (face == nullptr) return;
  try {
    LoadFile();
  } catch (const ovx::Error& error) {
    load_error = error;
    throw;
  }
}

void TovxPDFFont::Impl::LoadFile() {
  QByteArray data;
  try {
    data = ovx::FontFileCache::Instance().Read(face->FilePath());
  } catch (const ovx::Error& error) {
    warnings.append(error.Message() + QStringLiteral("; the font %1 is not embedded").arg(name));
    ComputeMetricsFromFace();
    return;
  }
  // Type 1, bitmap and web font files are not programs this embedding can
  // carry: the font goes out unembedded, as when its file is unreadable.
  // A file that claims to be TrueType or OpenType must parse, though.
  static constexpr const char* kSfntTags[] = {"\x00\x01\x00\x00", "true", "OTTO", "ttcf"};
  if (std::none_of(std::begin(kSfntTags), std::end(kSfntTags),
                   [&](const char* tag) { return data.startsWith(QByteArrayView(tag, 4)); })) {
    warnings.append(QStringLiteral("The font file %1 is no TrueType or OpenType font; the font is "
                                   "not embedded")
                        .arg(face->FilePath()));
    ComputeMetricsFromFace();
    return;
  }
  LoadFontData(std::move(data));
}

void TovxPDFFont::Impl::LoadFontData(QByteArray data) {
  loaded = true;
  collection = std::make_unique<ovx::TrueTypeCollection>(std::move(data));
  font = &collection->Font(face_index);
  if (font->IsCff()) {
    const auto* table = font->Table(kCff);
    if (table == nullptr) {
      throw ovx::Error("", "The font %s has CFF2 outlines, which PDF cannot embed", {name});
    }
    cff = std::make_unique<ovx::CffProgram>(table->Data());
  }
  if (!ChecksumExempt(font->FamilyName())) {
    const QStringList checksums = font->ChecksumErrors();
    if (!checksums.isEmpty()) {
      const QString source = face ? QStringLiteral(" (%1)").arg(face->FilePath()) : QString();
      warnings.append(QStringLiteral("The font %1%2 is damaged: %3; the export goes on with it")
                          .arg(name, source, checksums.join(QStringLiteral("; "))));
    }
  }
  units_per_em = font->UnitsPerEm();
  next_extra_code = uint32_t(cff ? 0x10000 : font->NumGlyphs());
  shaper = std::make_unique<ovx::TrueTypeShaper>(collection->Data(), face_index);
  has_data = true;
  ComputeMetrics();
}

void TovxPDFFont::Impl::ComputeMetrics() {
  const auto& head = font->Head();
  const auto& hhea = font->Hhea();
  const auto* os2 = font->Get<ovx::OS2WindowsMetricsClass>(kOS2);
  const auto* post = font->Get<ovx::PostScriptClass>(kPost);
  const auto* cmap = font->Get<ovx::CmapTableClass>(kCmap);
  const auto* glyf = font->Get<ovx::GlyphTableClass>(kGlyf);
  PdfFontMetrics& m = metrics;

  int ascent = hhea.Ascender();
  int descent = hhea.Descender();
  if (ascent == 0 && descent == 0 && os2 != nullptr) {
    ascent = os2->TypoAscender();
    descent = os2->TypoDescender();
  }
  m.ascent = Thousandths(ascent);
  m.descent = Thousandths(descent);
  m.leading = Thousandths(hhea.LineGap());
  m.bbox[0] = Thousandths(head.XMin());
  m.bbox[1] = Thousandths(head.YMin());
  m.bbox[2] = Thousandths(head.XMax());
  m.bbox[3] = Thousandths(head.YMax());
  // The top of a letter's outline, from its glyph header, when the OS/2
  // table has no value.
  const auto glyph_top = [&](char32_t letter) -> int {
    if (cmap == nullptr || glyf == nullptr) return 0;
    const uint16_t glyph = cmap->GlyphFor(letter);
    if (glyph == 0) return 0;
    try {
      const QByteArrayView data = glyf->GlyphData(glyph);
      if (data.size() < 10) return 0;
      return int16_t((uint8_t(data[8]) << 8) | uint8_t(data[9]));
    } catch (const ovx::Error&) {
      return 0;
    }
  };
  int cap_height = os2 != nullptr ? os2->CapHeight() : 0;
  if (cap_height <= 0) cap_height = glyph_top(U'H');
  if (cap_height <= 0) cap_height = ascent;
  m.cap_height = Thousandths(cap_height);
  int x_height = os2 != nullptr ? os2->XHeight() : 0;
  if (x_height <= 0) x_height = glyph_top(U'x');
  m.x_height = Thousandths(x_height);

  const int weight = os2 != nullptr && os2->WeightClass() > 0 ? os2->WeightClass() : 400;
  m.stem_v = int(std::nearbyint(std::pow(weight / 65.0, 2))) + 50;
  m.avg_width = os2 != nullptr ? Thousandths(os2->AvgCharWidth()) : 0;
  m.max_width = Thousandths(hhea.AdvanceWidthMax());
  m.italic_angle = post != nullptr ? post->ItalicAngle() : 0.0;
  const bool italic = m.italic_angle != 0 || (head.MacStyle() & 2) != 0;
  m.flags = 32 | (italic ? 64 : 0) | (post != nullptr && post->IsFixedPitch() ? 1 : 0);

  // post gives the top of the underline, OS/2 the top of the strike-out;
  // the metrics name stroke centres.
  int underline_thickness = post != nullptr ? post->UnderlineThickness() : 0;
  if (underline_thickness <= 0) underline_thickness = std::max(1, units_per_em / 14);
  const int underline_top = post != nullptr && post->UnderlinePosition() != 0
                                ? post->UnderlinePosition()
                                : -units_per_em / 10;
  m.underline_thickness = Thousandths(underline_thickness);
  m.underline_position = Thousandths(underline_top - underline_thickness / 2.0);
  int strikeout_size = os2 != nullptr ? os2->StrikeoutSize() : 0;
  if (strikeout_size <= 0) strikeout_size = underline_thickness;
  const int strikeout_top =
      os2 != nullptr && os2->StrikeoutPosition() > 0
          ? os2->StrikeoutPosition()
          : (x_height > 0 ? x_height / 2 : units_per_em / 4) + strikeout_size / 2;
  m.strikeout_thickness = Thousandths(strikeout_size);
  m.strikeout_position = Thousandths(strikeout_top - strikeout_size / 2.0);
}

void TovxPDFFont::Impl::ComputeMetricsFromFace() {
  units_per_em = std::max(1, face->UnitsPerEm());
  PdfFontMetrics& m = metrics;
  m.ascent = Thousandths(face->Ascent());
  m.descent = -Thousandths(face->Descent());
  m.bbox[0] = 0;
  m.bbox[1] = m.descent;
  m.bbox[2] = 1000;
  m.bbox[3] = m.ascent;
  m.cap_height = m.ascent;
  m.stem_v = 88;
  m.avg_width = 500;
  m.max_width = 1000;
  m.underline_thickness = Thousandths(face->UnderlineThickness());
  m.underline_position = Thousandths(face->UnderlinePosition());
  m.strikeout_thickness = Thousandths(face->StrikeoutThickness());
  m.strikeout_position = Thousandths(face->StrikeoutPosition() - face->StrikeoutThickness() / 2.0);
}

// --- mapping ------------------------------------------------------------------------------

int TovxPDFFont::Impl::GlyphWidth(uint16_t glyph) const {
  if (has_data) return font->AdvanceThousandths(glyph);
  return Thousandths(face->DesignAdvance(glyph));
}

// The private font's single-byte slots show rare characters; their glyphs
// are named after the real character, which is what the text means.
QString TovxPDFFont::Impl::TextForGlyph(uint16_t glyph, QString text) const {
  if (!has_data || text.size() != 1 || text[0].unicode() >= 0x100) return text;
  const auto* post = font->Get<ovx::PostScriptClass>(kPost);
  if (post == nullptr) return text;
  const char32_t real = CharacterOfGlyphName(post->CustomGlyphName(glyph));
  if (real < 0x100) return text;
  // Only when the font itself agrees: the real character maps to the glyph.
  const auto* cmap = font->Get<ovx::CmapTableClass>(kCmap);
  if (cmap != nullptr && cmap->GlyphFor(real) != glyph) return text;
  return QString::fromUcs4(&real, 1);
}

QString TovxPDFFont::Impl::CharacterOfGlyph(uint16_t glyph) {
  if (!has_data || glyph == 0) return QString();
  if (!reverse_cmap_built) {
    reverse_cmap_built = true;
    if (const auto* cmap = font->Get<ovx::CmapTableClass>(kCmap)) {
      // The mapping is sorted by character: the first one wins.
      for (const auto& [character, mapped] : cmap->Mapping()) {
        if (!reverse_cmap.contains(mapped)) reverse_cmap.insert(mapped, character);
      }
    }
  }
  const auto found = reverse_cmap.constFind(glyph);
  if (found == reverse_cmap.constEnd()) return QString();
  const char32_t character = *found;
  return QString::fromUcs4(&character, 1);
}

uint16_t TovxPDFFont::Impl::CodeFor(uint16_t glyph, const QString& text) {
  const auto first = first_code_of_glyph.constFind(glyph);
  if (first == first_code_of_glyph.constEnd()) {
    const uint16_t code = cff ? cff->CidOf(glyph) : glyph;
    used.push_back({code, glyph, GlyphWidth(glyph), text});
    first_code_of_glyph.insert(glyph, int(used.size() - 1));
    return code;
  }
  UsedGlyph& base = used[*first];
  if (text.isEmpty() || base.text == text) return base.code;
  if (base.text.isEmpty()) {
    base.text = text;
    return base.code;
  }
  const auto key = std::make_pair(glyph, text);
  const auto extra = extra_codes.find(key);
  if (extra != extra_codes.end()) return extra->second;
  if (cff || next_extra_code >= 0xFFFF) {
    if (shared_glyphs++ == 0) {
      shared_example =
          QStringLiteral("glyph %1 stands for \"%2\" and \"%3\"").arg(glyph).arg(base.text, text);
    }
    extra_codes.emplace(key, base.code);
    return base.code;
  }
  const auto code = uint16_t(next_extra_code++);
  used.push_back({code, glyph, GlyphWidth(glyph), text});
  extra_codes.emplace(key, code);
  needs_cid_to_gid_map = true;
  return code;
}

std::vector<ovx::ShapedGlyph> TovxPDFFont::Impl::Shape(QStringView text, bool rtl) const {
  if (has_data) return shaper->Shape(text, rtl);
  // Without the file, the font service's character map stands in for
  // shaping: one glyph per character.
  std::vector<ovx::ShapedGlyph> glyphs;
  if (face == nullptr) return glyphs;
  for (qsizetype i = 0; i < text.size();) {
    const ovx::CodePointAt at = ovx::ReadCodePoint(text, i);
    const unsigned glyph = face->GlyphIndex(at.code_point);
    glyphs.push_back({glyph, face->DesignAdvance(glyph), uint32_t(i)});
    i += at.length;
  }
  if (rtl) std::reverse(glyphs.begin(), glyphs.end());
  return glyphs;
}

// --- naming -------------------------------------------------------------------------------

QByteArray TovxPDFFont::Impl::SubsetTag() const {
  // FNV-1a over the glyph set and the codes: the same subset of the same
  // font gets the same tag in every run.
  uint64_t hash = 0xCBF29CE484222325ull;
  const auto mix = [&hash](uint32_t value) {
    for (int i = 0; i < 4; ++i) {
      hash ^= (value >> (8 * i)) & 0xFF;
      hash *= 0x100000001B3ull;
    }
  };
  for (const QChar c : name) mix(c.unicode());
  std::vector<std::pair<uint16_t, uint16_t>> pairs;
  for (const UsedGlyph& glyph : used) pairs.emplace_back(glyph.code, glyph.glyph);
  std::sort(pairs.begin(), pairs.end());
  for (const auto& [code, glyph] : pairs) mix((uint32_t(code) << 16) | glyph);
  QByteArray tag(6, 'A');
  for (int i = 0; i < 6; ++i) {
    tag[i] = char('A' + hash % 26);
    hash /= 26;
  }
  return tag;
}

QByteArray TovxPDFFont::Impl::BaseName() const {
  QByteArray base = SubsetTag() + '+' + EscapeName(name);
  const int effective = style_bits & ~(simulated_bold ? 1 : 0) & ~(simulated_italic ? 2 : 0);
  if ((effective & 3) == 3) {
    base += ",BoldItalic";
  } else if (effective & 1) {
    base += ",Bold";
  } else if (effective & 2) {
    base += ",Italic";
  }
  return base;
}

// --- TovxPDFFont --------------------------------------------------------------------------

TovxPDFFont::TovxPDFFont(QString name, int style_bits, const FontFace& face, int index)
    : impl_(std::make_unique<Impl>()) {
  impl_->name = std::move(name);
  impl_->style_bits = style_bits;
  impl_->index = index;
  impl_->face = &face;
  impl_->face_index = face.FaceIndex();
  const int by_name = SimulatedByName(impl_->name);
  impl_->face_bold = !(by_name & 1) && face.IsBold();
  impl_->face_italic = !(by_name & 2) && face.IsItalic();
  impl_->simulated_bold = SimulatedBold(style_bits);
  impl_->simulated_italic = SimulatedItalic(style_bits);
}

TovxPDFFont::TovxPDFFont(QString name, int style_bits, QByteArray font_data, int face_index,
                         int index)
    : impl_(std::make_unique<Impl>()) {
  impl_->name = std::move(name);
  impl_->style_bits = style_bits;
  impl_->index = index;
  impl_->face_index = face_index;
  impl_->LoadFontData(std::move(font_data));
  const int mac_style = impl_->font->Head().MacStyle();
  const int by_name = SimulatedByName(impl_->name);
  impl_->face_bold = !(by_name & 1) && (mac_style & 1);
  impl_->face_italic = !(by_name & 2) && (mac_style & 2);
  impl_->simulated_bold = SimulatedBold(style_bits);
  impl_->simulated_italic = SimulatedItalic(style_bits);
}

TovxPDFFont::~TovxPDFFont() = default;

const QString& TovxPDFFont::Name() const { return impl_->name; }

int TovxPDFFont::EffectiveStyle() const {
  return impl_->style_bits & 3 & ~(impl_->simulated_bold ? 1 : 0) &
         ~(impl_->simulated_italic ? 2 : 0);
}

int TovxPDFFont::Index() const { return impl_->index; }

QByteArray TovxPDFFont::ResourceName() const { return "/F" + Number(impl_->index); }

bool TovxPDFFont::SimulatedBold(int style_bits) const {
  return (style_bits & 1) && !impl_->face_bold;
}
bool TovxPDFFont::SimulatedItalic(int style_bits) const {
  return (style_bits & 2) && !impl_->face_italic;
}

QByteArray TovxPDFFont::BoldSimulationOperators(double size_points, QByteArrayView rgb) {
  return "2 Tr " + Decimal(size_points / 35.0) + " w " + rgb.toByteArray() + " RG";
}

const PdfFontMetrics& TovxPDFFont::Metrics() const {
  impl_->Load();
  return impl_->metrics;
}

bool TovxPDFFont::HasFontFile() const {
  impl_->Load();
  return impl_->has_data;
}

bool TovxPDFFont::NeedsCidToGidMap() const { return impl_->needs_cid_to_gid_map; }

QStringList TovxPDFFont::Warnings() const {
  QStringList lines = impl_->warnings;
  if (impl_->shared_glyphs > 0) {
    lines.append(QStringLiteral("%1 glyph(s) of the font %2 stand for two texts each (%3); text "
                                "copied from the PDF gives the first text for them")
                     .arg(impl_->shared_glyphs)
                     .arg(impl_->name, impl_->shared_example));
  }
  return lines;
}

std::vector<TovxPDFFont::UsedGlyph> TovxPDFFont::UsedGlyphs() const { return impl_->used; }

QByteArray TovxPDFFont::BaseFontName() const { return impl_->BaseName(); }

TRemapedString TovxPDFFont::MapGlyph(unsigned glyph, QStringView text) {
  Impl& d = *impl_;
  d.Load();
  if (d.built || !d.subset_font.isEmpty()) {
    throw ovx::Error("", "The font %s was mapped after its subset was built", {d.name});
  }
  if (glyph > 0xFFFF) {
    throw ovx::Error("", "The font %s gave glyph %s, beyond 16 bits",
                     {d.name, QString::number(glyph)});
  }
  TRemapedString result;
  const uint16_t code = d.CodeFor(uint16_t(glyph), text.left(kMaxUnicodeUnits).toString());
  const int advance = d.GlyphWidth(uint16_t(glyph));
  result.codes.push_back(code);
  result.advances.push_back(advance);
  result.width = advance;
  result.all_below_65535 = code < 0xFFFF;
  return result;
}

TRemapedString TovxPDFFont::MapText(QStringView text, bool rtl, bool pdfa, bool glyph_indices) {
  Impl& d = *impl_;
  d.Load();
  if (d.built || !d.subset_font.isEmpty()) {
    throw ovx::Error("", "The font %s was mapped after its subset was built", {d.name});
  }
  TRemapedString result;
  if (text.isEmpty()) return result;
  if (glyph_indices) {
    const int glyph_count = d.has_data ? d.font->NumGlyphs() : 0x10000;
    for (const QChar unit : text) {
      const uint16_t glyph = unit.unicode() < glyph_count ? unit.unicode() : 0;
      const uint16_t code = d.CodeFor(glyph, d.CharacterOfGlyph(glyph));
      const int advance = d.GlyphWidth(glyph);
      result.codes.push_back(code);
      result.advances.push_back(advance);
      result.width += advance;
      if (code >= 0xFFFF) result.all_below_65535 = false;
    }
    return result;
  }
  const int characters = CountCodePoints(text);

  // Each character once on its own: its own glyph is recorded even where
  // the run shapes it into a ligature.
  if (pdfa && d.name.contains(QLatin1String("Arial"), Qt::CaseInsensitive)) {
    for (qsizetype i = 0; i < text.size();) {
      const qsizetype length = ovx::ReadCodePoint(text, i).length;
      for (const ovx::ShapedGlyph& g : d.Shape(text.mid(i, length), false)) {
        d.CodeFor(uint16_t(g.glyph),
                  d.TextForGlyph(uint16_t(g.glyph), text.mid(i, length).toString()));
      }
      i += length;
    }
  }

  std::vector<ovx::ShapedGlyph> glyphs = d.Shape(text, rtl);
  if (PerCharacter(d.name) && int(glyphs.size()) < characters) {
    glyphs.clear();
    for (qsizetype i = 0; i < text.size();) {
      const qsizetype length = ovx::ReadCodePoint(text, i).length;
      for (ovx::ShapedGlyph g : d.Shape(text.mid(i, length), rtl)) {
        g.cluster += uint32_t(i);
        glyphs.push_back(g);
      }
      i += length;
    }
    if (rtl) std::reverse(glyphs.begin(), glyphs.end());
  }

  // The characters of each cluster: from its start to the next cluster's.
  std::vector<uint32_t> starts;
  for (const ovx::ShapedGlyph& g : glyphs) starts.push_back(g.cluster);
  std::sort(starts.begin(), starts.end());
  starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
  const auto cluster_text = [&](uint32_t cluster) {
    const auto next = std::upper_bound(starts.begin(), starts.end(), cluster);
    const qsizetype end = next == starts.end() ? text.size() : qsizetype(*next);
    return text.mid(cluster, std::min(end - qsizetype(cluster), kMaxUnicodeUnits)).toString();
  };

  // A cluster of several glyphs gives its text to its first glyph in
  // reading order; the others stand for nothing of their own.
  std::vector<QString> texts(glyphs.size());
  QHash<uint32_t, bool> claimed;
  for (size_t k = 0; k < glyphs.size(); ++k) {
    const size_t i = rtl ? glyphs.size() - 1 - k : k;
    if (claimed.contains(glyphs[i].cluster)) continue;
    claimed.insert(glyphs[i].cluster, true);
    texts[i] = d.TextForGlyph(uint16_t(glyphs[i].glyph), cluster_text(glyphs[i].cluster));
  }

  const bool one_to_one = int(glyphs.size()) == characters;
  result.codes.reserve(glyphs.size());
  result.advances.reserve(glyphs.size());
  for (size_t i = 0; i < glyphs.size(); ++i) {
    const ovx::ShapedGlyph& g = glyphs[i];
    if (g.glyph > 0xFFFF) {
      throw ovx::Error("", "The font %s gave glyph %s, beyond 16 bits",
                       {d.name, QString::number(g.glyph)});
    }
    const uint16_t code = d.CodeFor(uint16_t(g.glyph), texts[i]);
    const int advance = d.Thousandths(g.x_advance);
    result.codes.push_back(code);
    result.advances.push_back(advance);
    result.width += advance;
    if (code >= 0xFFFF) result.all_below_65535 = false;
    if (one_to_one && texts[i] == QLatin1String(" ")) ++result.spaces;
  }
  result.fewer_glyphs = int(glyphs.size()) < characters;
  return result;
}

// --- objects ------------------------------------------------------------------------------

QByteArray TovxPDFFont::BuildSubsetFont() {
  Impl& d = *impl_;
  d.Load();
  if (!d.has_data) return {};
  if (!d.subset_font.isEmpty()) return d.subset_font;
  std::vector<uint16_t> glyphs;
  for (const UsedGlyph& glyph : d.used) glyphs.push_back(glyph.glyph);
  if (!d.cff) {
    ovx::TrueTypeSubset subset = ovx::SubsetTrueTypeFont(*d.font, glyphs);
    d.kept_glyphs = std::move(subset.kept_glyphs);
    d.subset_font = std::move(subset.font);
    return d.subset_font;
  }
  const auto* cmap = d.font->Get<ovx::CmapTableClass>(kCmap);
  const std::vector<std::pair<char32_t, uint16_t>> none;
  QByteArray subset =
      ovx::SubsetOpenTypeCff(d.collection->Data(), d.face_index, glyphs,
                             cmap != nullptr ? cmap->Mapping() : none, !d.cff->CidKeyed());
  // The subset must still find every glyph under the code the pages show;
  // a subsetter that renumbered CIDs would break every page.
  const ovx::TrueTypeCollection check(subset);
  const auto* subset_cff = check.Font(0).Table(kCff);
  if (subset_cff == nullptr)
    throw ovx::Error("", "The CFF subset of %s has no CFF table", {d.name});
  const ovx::CffProgram program(subset_cff->Data());
  for (const UsedGlyph& glyph : d.used) {
    if (program.GlyphOfCid(glyph.code) < 0) {
      throw ovx::Error("", "The CFF subset of %s lost CID %s",
                       {d.name, QString::number(glyph.code)});
    }
  }
  d.subset_font = subset;
  return d.subset_font;
}

ovx::PdfFontObjects TovxPDFFont::BuildObjects(const ovx::PdfFontObjectNumbers& numbers,
                                              const ovx::PdfStringWriter& write_string) {
  Impl& d = *impl_;
  d.Load();
  ovx::PdfFontObjects objects;
  const QByteArray base_name = d.BaseName();
  const auto ref = [](int number) { return Number(number) + " 0 R"; };

  // Codes in ascending order with their glyph and width.
  std::vector<const UsedGlyph*> by_code;
  for (const UsedGlyph& glyph : d.used) by_code.push_back(&glyph);
  std::sort(by_code.begin(), by_code.end(),
            [](const UsedGlyph* a, const UsedGlyph* b) { return a->code < b->code; });

  // The program. A CFF font goes in as its bare CFF table: readers look a
  // CID-keyed CFF's glyphs up by CID through its charset there, while some
  // (poppler) take the codes of an OpenType-wrapped CFF as glyph ids,
  // which the renumbered subset no longer matches.
  // The CIDs the program holds: a CFF's charset names them; a TrueType
  // program shows its kept glyphs under their own ids (Identity), or only
  // the used codes and .notdef when a CIDToGIDMap sends the rest to 0.
  std::vector<uint32_t> present_cids;
  if (d.has_data) {
    const QByteArray subset = BuildSubsetFont();
    if (d.cff) {
      const ovx::TrueTypeCollection parsed(subset);
      objects.font_file = parsed.Font(0).Table(kCff)->Data().toByteArray();
      objects.font_file_dict_extra = "/Subtype /CIDFontType0C";
      const ovx::CffProgram program(objects.font_file);
      for (int glyph = 0; glyph < program.GlyphCount(); ++glyph) {
        present_cids.push_back(program.CidOf(uint32_t(glyph)));
      }
    } else {
      objects.font_file = subset;
      objects.font_file_dict_extra = "/Length1 " + Number(int(objects.font_file.size()));
      present_cids.push_back(0);
      if (d.needs_cid_to_gid_map) {
        for (const UsedGlyph& glyph : d.used) present_cids.push_back(glyph.code);
      } else {
        present_cids.insert(present_cids.end(), d.kept_glyphs.begin(), d.kept_glyphs.end());
      }
    }
    uint32_t last = 0;
    for (const uint32_t cid : present_cids) last = std::max(last, cid);
    objects.cid_set = QByteArray(qsizetype(last / 8 + 1), '\0');
    for (const uint32_t cid : present_cids) {
      objects.cid_set[qsizetype(cid / 8)] =
          char(uchar(objects.cid_set[qsizetype(cid / 8)]) | (0x80u >> (cid % 8)));
    }
  }
  d.built = true;

  // Font descriptor.
  const PdfFontMetrics& m = d.metrics;
  QByteArray descriptor = "<<\r\n/Type /FontDescriptor\r\n/FontName /" + base_name + "\r\n";
  descriptor += "/Flags " + Number(m.flags) + "\r\n";
  descriptor += "/FontBBox [" + Number(m.bbox[0]) + ' ' + Number(m.bbox[1]) + ' ' +
                Number(m.bbox[2]) + ' ' + Number(m.bbox[3]) + "]\r\n";
  descriptor += "/ItalicAngle " + Decimal(m.italic_angle) + "\r\n";
  descriptor += "/Ascent " + Number(m.ascent) + "\r\n/Descent " + Number(m.descent) + "\r\n";
  descriptor += "/Leading " + Number(m.leading) + "\r\n/CapHeight " + Number(m.cap_height) + "\r\n";
  if (m.x_height > 0) descriptor += "/XHeight " + Number(m.x_height) + "\r\n";
  descriptor += "/StemV " + Number(m.stem_v) + "\r\n/AvgWidth " + Number(m.avg_width) + "\r\n";
  descriptor +=
      "/MaxWidth " + Number(m.max_width) + "\r\n/MissingWidth " + Number(m.avg_width) + "\r\n";
  if (d.has_data) {
    descriptor += (d.cff ? "/FontFile3 " : "/FontFile2 ") + ref(numbers.font_file) + "\r\n";
    if (numbers.cid_set) descriptor += "/CIDSet " + ref(numbers.cid_set) + "\r\n";
  }
  descriptor += ">>";
  objects.descriptor_dict = descriptor;

  // Descendant CID font with its widths: runs of consecutive codes share
  // one array.
  QByteArray widths = "/W [";
  for (size_t i = 0; i < by_code.size();) {
    size_t j = i + 1;
    while (j < by_code.size() && by_code[j]->code == by_code[j - 1]->code + 1) ++j;
    widths += "\r\n" + Number(by_code[i]->code) + " [";
    for (size_t k = i; k < j; ++k) {
      if (k > i) widths += ((k - i) % 16 == 0) ? "\r\n" : " ";
      widths += Number(by_code[k]->width);
    }
    widths += ']';
    i = j;
  }
  widths += "\r\n]";
  QByteArray cid_font = "<<\r\n/Type /Font\r\n/Subtype /";
  cid_font += d.cff ? "CIDFontType0" : "CIDFontType2";
  cid_font += "\r\n/BaseFont /" + base_name + "\r\n";
  // Strings in document order: an encrypting writer may count on it.
  const QByteArray registry = write_string(numbers.cid_font, "Adobe");
  const QByteArray ordering = write_string(numbers.cid_font, "Identity");
  cid_font += "/CIDSystemInfo << /Registry " + registry + " /Ordering " + ordering +
              " /Supplement 0 >>\r\n";
  cid_font += "/FontDescriptor " + ref(numbers.descriptor) + "\r\n";
  if (!d.cff) {
    cid_font += "/CIDToGIDMap " +
                (d.needs_cid_to_gid_map ? ref(numbers.cid_to_gid_map) : "/Identity") + "\r\n";
  }
  cid_font += widths + "\r\n>>";
  objects.cid_font_dict = cid_font;

  // Type 0 font.
  objects.type0_dict = "<<\r\n/Type /Font\r\n/Subtype /Type0\r\n/BaseFont /" + base_name +
                       (d.cff ? "-Identity-H" : "") + "\r\n/Encoding /Identity-H\r\n" +
                       "/DescendantFonts [" + ref(numbers.cid_font) + "]\r\n/ToUnicode " +
                       ref(numbers.to_unicode) + "\r\n>>";

  // ToUnicode CMap, in blocks of at most 100 entries as CMap readers
  // require.
  std::vector<const UsedGlyph*> mapped;
  for (const UsedGlyph* glyph : by_code) {
    if (!glyph->text.isEmpty()) mapped.push_back(glyph);
  }
  QByteArray cmap_name = base_name;
  cmap_name.replace(',', '+');
  QByteArray cmap =
      "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n/CIDSystemInfo\n"
      "<< /Registry (Adobe)\n/Ordering (UCS)\n/Supplement 0\n>> def\n/CMapName /" +
      cmap_name +
      " def\n/CMapType 2 def\n1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
  for (size_t i = 0; i < mapped.size(); i += 100) {
    const size_t end = std::min(mapped.size(), i + 100);
    cmap += Number(int(end - i)) + " beginbfchar\n";
    for (size_t k = i; k < end; ++k) {
      cmap += '<' + Hex4(mapped[k]->code) + "> <";
      for (const QChar unit : mapped[k]->text) cmap += Hex4(unit.unicode());
      cmap += ">\n";
    }
    cmap += "endbfchar\n";
  }
  cmap += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
  objects.to_unicode = cmap;

  // CIDToGIDMap: two bytes per CID, the glyph each code shows.
  if (d.needs_cid_to_gid_map && !by_code.empty()) {
    QByteArray map((by_code.back()->code + 1) * 2, '\0');
    for (const UsedGlyph* glyph : by_code) {
      map[glyph->code * 2] = char(glyph->glyph >> 8);
      map[glyph->code * 2 + 1] = char(glyph->glyph);
    }
    objects.cid_to_gid_map = map;
  }
  return objects;
}

// --- PdfFontList --------------------------------------------------------------------------

namespace ovx {

struct PdfFontList::Impl {
  std::vector<std::unique_ptr<TovxPDFFont>> fonts;
  // The face each font embeds, for finding fallback fonts again.
  std::vector<const FontFace*> faces;

  // Short texts mapped before, by font name, style, flags and text: a
  // typeset page maps the same few thousand characters cell by cell.
  // Mapping is a pure function of these once the fonts exist, and the
  // fonts are only ever appended to.
  QHash<QString, std::vector<PdfTextRun>> mapped;
  static constexpr qsizetype kMaxMappedText = 8;
  static constexpr qsizetype kMaxMapped = 1 << 16;

  TovxPDFFont& Add(const QString& name, int style_bits, const FontFace& face) {
    fonts.push_back(std::make_unique<TovxPDFFont>(name, style_bits, face, int(fonts.size())));
    faces.push_back(&face);
    return *fonts.back();
  }
};

PdfFontList::PdfFontList() : impl_(std::make_unique<Impl>()) {}
PdfFontList::~PdfFontList() = default;

namespace {

// The style a font for `name` in `face` keeps once simulated bold and
// italic are taken out.
int EffectiveStyleFor(const QString& name, int style, const FontFace& face) {
  const int by_name = SimulatedByName(name);
  const bool bold = (style & 1) && ((by_name & 1) || !face.IsBold());
  const bool italic = (style & 2) && ((by_name & 2) || !face.IsItalic());
  return style & ~(bold ? 1 : 0) & ~(italic ? 2 : 0);
}

}  // namespace

TovxPDFFont& PdfFontList::FindOrAdd(const QString& name, int style_bits) {
  FontService& service = FontService::Instance();
  const int style = style_bits & 3;
  const FontFace& requested = service.Resolve(name, style);
  const int effective = EffectiveStyleFor(name, style, requested);
  for (const auto& font : impl_->fonts) {
    if (font->EffectiveStyle() == effective &&
        font->Name().compare(name, Qt::CaseInsensitive) == 0) {
      return *font;
    }
  }
  const FontFace& face = effective == style ? requested : service.Resolve(name, effective);
  return impl_->Add(name, style, face);
}

std::vector<PdfTextRun> PdfFontList::MapRuns(const QString& name, int style_bits, QStringView text,
                                             bool rtl, bool pdfa, bool vertical_forms) {
  QString key;
  if (text.size() <= Impl::kMaxMappedText) {
    const int flags = (style_bits & 3) | (rtl ? 4 : 0) | (pdfa ? 8 : 0) | (vertical_forms ? 16 : 0);
    key.reserve(name.size() + text.size() + 2);
    key += name;
    key += QChar(u'\0');
    key += QChar(char16_t(u'0' + flags));
    key += text;
    const auto known = impl_->mapped.constFind(key);
    if (known != impl_->mapped.constEnd()) {
      // Mapping again would fail for a font whose subset is built, or
      // that did not load: so does the memo.
      for (const PdfTextRun& run : *known) run.font->MapText(QStringView(), false, false);
      return *known;
    }
  }
  std::vector<PdfTextRun> runs = MapNewRuns(name, style_bits, text, rtl, pdfa, vertical_forms);
  if (!key.isEmpty()) {
    if (impl_->mapped.size() >= Impl::kMaxMapped) impl_->mapped.clear();
    impl_->mapped.insert(key, runs);
  }
  return runs;
}

std::vector<PdfTextRun> PdfFontList::MapNewRuns(const QString& name, int style_bits,
                                                QStringView text, bool rtl, bool pdfa,
                                                bool vertical_forms) {
  const int style = style_bits & 3;
  TovxPDFFont& primary = FindOrAdd(name, style);
  const FontFace* primary_face = impl_->faces[primary.Index()];
  FontService& service = FontService::Instance();
  std::vector<PdfTextRun> runs;
  const FontFace* run_face = nullptr;
  for (qsizetype i = 0; i < text.size();) {
    const CodePointAt at = ReadCodePoint(text, i);
    const FontFace* face = &service.FaceFor(*primary_face, at.code_point);
    unsigned glyph = 0;
    int shift_x = 0;
    int shift_y = 0;
    if (vertical_forms) {
      const FaceGlyph turned = service.VerticalGlyph(*primary_face, at.code_point);
      if (turned.face && turned.glyph != 0 &&
          (turned.face != face || turned.glyph != face->GlyphIndex(at.code_point) ||
           turned.shift_x != 0 || turned.shift_y != 0)) {
        face = turned.face;
        glyph = turned.glyph;
        const int upem = std::max(1, face->UnitsPerEm());
        shift_x = int(std::lround(turned.shift_x * 1000.0 / upem));
        shift_y = int(std::lround(turned.shift_y * 1000.0 / upem));
      }
    }
    if (runs.empty() || face != run_face || glyph != 0 || runs.back().glyph != 0) {
      TovxPDFFont* font = &primary;
      if (face != primary_face) {
        const QString family = face->FamilyName();
        const int effective = EffectiveStyleFor(family, style, *face);
        font = nullptr;
        for (size_t k = 0; k < impl_->fonts.size(); ++k) {
          if (impl_->faces[k] == face && impl_->fonts[k]->EffectiveStyle() == effective) {
            font = impl_->fonts[k].get();
            break;
          }
        }
        if (font == nullptr) font = &impl_->Add(family, style, *face);
      }
      runs.push_back({font, int(i), 0, glyph, shift_x, shift_y, {}});
      run_face = face;
    }
    runs.back().char_count += int(at.length);
    i += at.length;
  }
  for (PdfTextRun& run : runs) {
    const QStringView part = text.mid(run.first_char, run.char_count);
    run.mapped =
        run.glyph != 0 ? run.font->MapGlyph(run.glyph, part) : run.font->MapText(part, rtl, pdfa);
  }
  return runs;
}

int PdfFontList::Count() const { return int(impl_->fonts.size()); }

TovxPDFFont& PdfFontList::At(int index) { return *impl_->fonts.at(index); }

void PdfFontList::Clear() {
  impl_->mapped.clear();
  impl_->fonts.clear();
  impl_->faces.clear();
}

}  // namespace ovx
