// Font directories, collections and the directory half of subsetting: which
// glyphs to keep and how the file is laid out again. The glyph tables
// themselves are rewritten in truetype_subset.cpp.
#include "export/truetype_font.h"

#include "base/error.h"

#include <algorithm>
#include <cmath>

namespace ovx {

using truetype::FontBytes;
using truetype::MakeTag;
using truetype::ThrowFormatError;

namespace {

constexpr uint32_t kTrueTypeVersion = 0x00010000;
constexpr uint32_t kAppleTrueType = MakeTag('t', 'r', 'u', 'e');
constexpr uint32_t kCffVersion = MakeTag('O', 'T', 'T', 'O');
constexpr uint32_t kCollectionTag = MakeTag('t', 't', 'c', 'f');

bool KnownSfntVersion(uint32_t version) {
  return version == kTrueTypeVersion || version == kAppleTrueType || version == kCffVersion;
}

std::unique_ptr<TrueTypeTable> MakeTable(uint32_t tag, uint32_t checksum, uint32_t offset,
                                         uint32_t length, QByteArrayView data) {
  switch (tag) {
#define OVX_TABLE(a, b, c, d, Class) \
  case MakeTag(a, b, c, d):          \
    return std::make_unique<Class>(tag, checksum, offset, length, data);
    OVX_TABLE('h', 'e', 'a', 'd', FontHeaderClass)
    OVX_TABLE('m', 'a', 'x', 'p', MaximumProfileClass)
    OVX_TABLE('h', 'h', 'e', 'a', HorizontalHeaderClass)
    OVX_TABLE('h', 'm', 't', 'x', HorizontalMetrixClass)
    OVX_TABLE('l', 'o', 'c', 'a', IndexToLocationClass)
    OVX_TABLE('g', 'l', 'y', 'f', GlyphTableClass)
    OVX_TABLE('c', 'm', 'a', 'p', CmapTableClass)
    OVX_TABLE('n', 'a', 'm', 'e', NameTableClass)
    OVX_TABLE('p', 'o', 's', 't', PostScriptClass)
    OVX_TABLE('O', 'S', '/', '2', OS2WindowsMetricsClass)
    OVX_TABLE('k', 'e', 'r', 'n', KerningTableClass)
    OVX_TABLE('p', 'r', 'e', 'p', PreProgramClass)
    OVX_TABLE('G', 'S', 'U', 'B', GlyphSubstitutionClass)
#undef OVX_TABLE
    default:
      return std::make_unique<TrueTypeTable>(tag, checksum, offset, length, data);
  }
}

// Tables other tables read during loading come first.
int LoadRank(uint32_t tag) {
  switch (tag) {
    case MakeTag('h', 'e', 'a', 'd'):
      return 0;
    case MakeTag('m', 'a', 'x', 'p'):
      return 1;
    case MakeTag('h', 'h', 'e', 'a'):
      return 2;
    case MakeTag('l', 'o', 'c', 'a'):
      return 3;
    default:
      return 4;
  }
}

}  // namespace

// --- TrueTypeFont -------------------------------------------------------------------------

bool TrueTypeFont::Excluded(uint32_t tag) {
  switch (tag) {
    case MakeTag('E', 'B', 'L', 'C'):
    case MakeTag('E', 'B', 'D', 'T'):
    case MakeTag('h', 'd', 'm', 'x'):
    case MakeTag('V', 'D', 'M', 'X'):
    case MakeTag('D', 'S', 'I', 'G'):
      return true;
    default:
      return false;
  }
}

TrueTypeFont::TrueTypeFont(QByteArrayView file, qint64 directory_offset) : file_(file) {
  const FontBytes bytes(file, "table directory");
  sfnt_version_ = bytes.U32(directory_offset);
  if (!KnownSfntVersion(sfnt_version_)) {
    ThrowFormatError(
        QStringLiteral("unknown sfnt version %1").arg(sfnt_version_, 8, 16, QChar('0')));
  }
  const int count = bytes.U16(directory_offset + 4);
  bytes.Require(directory_offset + 12, qint64(count) * 16);
  for (int i = 0; i < count; ++i) {
    const qint64 entry = directory_offset + 12 + qint64(i) * 16;
    const uint32_t tag = bytes.U32(entry);
    const uint32_t checksum = bytes.U32(entry + 4);
    const uint32_t offset = bytes.U32(entry + 8);
    const uint32_t length = bytes.U32(entry + 12);
    if (!bytes.Has(offset, length)) {
      ThrowFormatError(QStringLiteral("table \"%1\" (%2 bytes at %3) lies outside the %4-byte file")
                           .arg(QLatin1String(truetype::TagName(tag)))
                           .arg(length)
                           .arg(offset)
                           .arg(file.size()));
    }
    if (Excluded(tag)) continue;
    if (Table(tag) != nullptr) {
      ThrowFormatError(
          QStringLiteral("table \"%1\" appears twice").arg(QLatin1String(truetype::TagName(tag))));
    }
    tables_.push_back(MakeTable(tag, checksum, offset, length, file.sliced(offset, length)));
  }
  Load();
}

TrueTypeFont::~TrueTypeFont() = default;

void TrueTypeFont::Load() {
  for (uint32_t tag : {MakeTag('h', 'e', 'a', 'd'), MakeTag('m', 'a', 'x', 'p'),
                       MakeTag('h', 'h', 'e', 'a'), MakeTag('h', 'm', 't', 'x')}) {
    if (Table(tag) == nullptr) {
      ThrowFormatError(QStringLiteral("required table \"%1\" missing")
                           .arg(QLatin1String(truetype::TagName(tag))));
    }
  }
  std::vector<TrueTypeTable*> order;
  for (const auto& table : tables_) order.push_back(table.get());
  std::stable_sort(order.begin(), order.end(), [](const TrueTypeTable* a, const TrueTypeTable* b) {
    return LoadRank(a->Tag()) < LoadRank(b->Tag());
  });
  for (TrueTypeTable* table : order) table->Load(*this);
}

bool TrueTypeFont::IsCff() const { return sfnt_version_ == kCffVersion; }

const TrueTypeTable* TrueTypeFont::Table(uint32_t tag) const {
  for (const auto& table : tables_) {
    if (table->Tag() == tag) return table.get();
  }
  return nullptr;
}

const FontHeaderClass& TrueTypeFont::Head() const {
  return *Get<FontHeaderClass>(MakeTag('h', 'e', 'a', 'd'));
}
const MaximumProfileClass& TrueTypeFont::Maxp() const {
  return *Get<MaximumProfileClass>(MakeTag('m', 'a', 'x', 'p'));
}
const HorizontalHeaderClass& TrueTypeFont::Hhea() const {
  return *Get<HorizontalHeaderClass>(MakeTag('h', 'h', 'e', 'a'));
}
const HorizontalMetrixClass& TrueTypeFont::Hmtx() const {
  return *Get<HorizontalMetrixClass>(MakeTag('h', 'm', 't', 'x'));
}

int TrueTypeFont::ToThousandths(double font_units) const {
  return int(std::nearbyint(font_units * 1000.0 / UnitsPerEm()));
}

int TrueTypeFont::AdvanceThousandths(uint32_t glyph) const { return ToThousandths(Advance(glyph)); }

QString TrueTypeFont::FamilyName() const {
  const auto* name = Get<NameTableClass>(MakeTag('n', 'a', 'm', 'e'));
  return name != nullptr ? name->Name(1) : QString();
}

QString TrueTypeFont::FullName() const {
  const auto* name = Get<NameTableClass>(MakeTag('n', 'a', 'm', 'e'));
  return name != nullptr ? name->Name(4) : QString();
}

QString TrueTypeFont::PostScriptName() const {
  const auto* name = Get<NameTableClass>(MakeTag('n', 'a', 'm', 'e'));
  return name != nullptr ? name->Name(6) : QString();
}

QStringList TrueTypeFont::ChecksumErrors() const {
  QStringList errors;
  for (const auto& table : tables_) {
    const uint32_t computed = table->ComputeChecksum();
    if (computed == table->StoredChecksum()) continue;
    errors.append(QStringLiteral("Table ID \"%1\" checksum error. %2 %3")
                      .arg(QLatin1String(truetype::TagName(table->Tag())))
                      .arg(computed)
                      .arg(table->StoredChecksum()));
  }
  return errors;
}

// --- TrueTypeCollection -------------------------------------------------------------------

TrueTypeCollection::TrueTypeCollection(QByteArray data) : data_(std::move(data)) {
  const FontBytes bytes(data_, "font file");
  if (!bytes.Has(0, 4)) throw Error("", "TrueType font format error");
  const uint32_t tag = bytes.U32(0);
  if (KnownSfntVersion(tag)) {
    offsets_.push_back(0);
    return;
  }
  if (tag != kCollectionTag) throw Error("", "TrueType font format error");
  is_collection_ = true;
  const uint32_t version = bytes.U32(4);
  if (version != 0x00010000 && version != 0x00020000) {
    throw Error("", "Unknown font collection version");
  }
  const uint32_t count = bytes.U32(8);
  if (count == 0) ThrowFormatError(QStringLiteral("empty font collection"));
  bytes.Require(12, qint64(count) * 4);
  for (uint32_t i = 0; i < count; ++i) offsets_.push_back(bytes.U32(12 + qint64(i) * 4));
  fonts_.resize(count);
}

TrueTypeCollection::~TrueTypeCollection() = default;

const TrueTypeFont& TrueTypeCollection::Font(int index) const {
  if (index < 0 || index >= Count()) {
    ThrowFormatError(QStringLiteral("face %1 asked of a file with %2").arg(index).arg(Count()));
  }
  if (fonts_.size() < offsets_.size()) fonts_.resize(offsets_.size());
  if (!fonts_[index]) fonts_[index] = std::make_unique<TrueTypeFont>(data_, offsets_[index]);
  return *fonts_[index];
}

int TrueTypeCollection::FindFont(const QString& name) const {
  for (int name_id : {4, 1}) {
    for (int i = 0; i < Count(); ++i) {
      const NameTableClass* names = nullptr;
      try {
        names = Font(i).Get<NameTableClass>(MakeTag('n', 'a', 'm', 'e'));
      } catch (const Error&) {
        continue;  // a damaged face cannot be the one asked for
      }
      if (names == nullptr) continue;
      for (const QString& candidate : names->AllNames(name_id)) {
        if (candidate.compare(name, Qt::CaseInsensitive) == 0) return i;
      }
    }
  }
  return -1;
}

// --- glyph closure ------------------------------------------------------------------------

namespace {

// Deeper nesting than this is no font anyone made; it only guards the
// recursion against hostile files.
constexpr int kMaxComponentDepth = 32;

class Closure {
 public:
  explicit Closure(const TrueTypeFont& font)
      : glyf_(font.Get<GlyphTableClass>(MakeTag('g', 'l', 'y', 'f'))),
        state_(font.NumGlyphs(), kUnseen) {}

  void Visit(uint32_t glyph, uint32_t parent, int depth) {
    if (glyph >= state_.size()) {
      if (depth == 0) {
        ThrowFormatError(
            QStringLiteral("glyph %1 beyond the font's %2 glyphs").arg(glyph).arg(state_.size()));
      }
      ThrowFormatError(QStringLiteral("composite glyph %1 names component %2 beyond the font's %3 "
                                      "glyphs")
                           .arg(parent)
                           .arg(glyph)
                           .arg(state_.size()));
    }
    if (state_[glyph] == kDone) return;
    if (state_[glyph] == kVisiting) {
      ThrowFormatError(QStringLiteral("composite glyph %1 contains itself").arg(glyph));
    }
    if (depth > kMaxComponentDepth) {
      ThrowFormatError(QStringLiteral("composite glyph %1 nests components deeper than %2 levels")
                           .arg(parent)
                           .arg(kMaxComponentDepth));
    }
    state_[glyph] = kVisiting;
    if (glyf_ != nullptr) {
      for (uint16_t component : glyf_->Components(glyph)) Visit(component, glyph, depth + 1);
    }
    state_[glyph] = kDone;
  }

  std::vector<uint16_t> Kept() const {
    std::vector<uint16_t> kept;
    for (size_t i = 0; i < state_.size(); ++i) {
      if (state_[i] == kDone) kept.push_back(uint16_t(i));
    }
    return kept;
  }

 private:
  enum State : uint8_t { kUnseen, kVisiting, kDone };
  const GlyphTableClass* glyf_;
  std::vector<State> state_;
};

}  // namespace

std::vector<uint16_t> CollectSubsetGlyphs(const TrueTypeFont& font,
                                          const std::vector<uint16_t>& glyphs) {
  Closure closure(font);
  closure.Visit(0, 0, 0);
  for (uint16_t glyph : glyphs) closure.Visit(glyph, glyph, 0);
  return closure.Kept();
}

}  // namespace ovx
