// Tag expansion for memo texts: see render/internal/html_tags.h.
//
// Tags are matched without regard to case. A <font color=...> whose value
// is neither a quoted "#RRGGBB" nor a colour identifier (after "cl"), or
// whose closing ">" is missing from the line, stays ordinary text: the
// value is only ever searched for within the line being expanded.
#include "render/internal/html_tags.h"

#include "base/rounding.h"

#include <array>
#include <climits>
#include <optional>

namespace ovx {

namespace {

enum class TagKind {
  kBold,
  kBoldEnd,
  kItalic,
  kItalicEnd,
  kUnderline,
  kUnderlineEnd,
  kStrike,
  kStrikeEnd,
  kSub,
  kSup,
  kSubEnd,
  kSupEnd,
  kNoWrap,
  kNoWrapEnd,
  kFontEnd,
};

struct SimpleTag {
  QStringView text;
  TagKind kind;
};

constexpr std::array<SimpleTag, 15> kSimpleTags = {{
    {u"<b>", TagKind::kBold},
    {u"</b>", TagKind::kBoldEnd},
    {u"<i>", TagKind::kItalic},
    {u"</i>", TagKind::kItalicEnd},
    {u"<u>", TagKind::kUnderline},
    {u"</u>", TagKind::kUnderlineEnd},
    {u"<strike>", TagKind::kStrike},
    {u"</strike>", TagKind::kStrikeEnd},
    {u"<sub>", TagKind::kSub},
    {u"<sup>", TagKind::kSup},
    {u"</sub>", TagKind::kSubEnd},
    {u"</sup>", TagKind::kSupEnd},
    {u"<nowrap>", TagKind::kNoWrap},
    {u"</nowrap>", TagKind::kNoWrapEnd},
    {u"</font>", TagKind::kFontEnd},
}};

constexpr QStringView kFontColor = u"<font color=";

constexpr int kBold = 1;
constexpr int kItalic = 2;
constexpr int kUnderline = 4;
constexpr int kStrikeOut = 8;

constexpr int kScriptNormal = 0;
constexpr int kScriptSub = 1;
constexpr int kScriptSup = 2;

int HexDigit(QChar c) {
  const char16_t u = c.unicode();
  if (u >= '0' && u <= '9') return u - '0';
  if (u >= 'a' && u <= 'f') return u - 'a' + 10;
  if (u >= 'A' && u <= 'F') return u - 'A' + 10;
  return -1;
}

// "\"#RRGGBB\"" or a colour identifier without its "cl".
std::optional<Color> ParseColorValue(QStringView value) {
  if (value.size() == 9 && value[0] == u'"' && value[1] == u'#' && value[8] == u'"') {
    int channels[3];
    for (int c = 0; c < 3; ++c) {
      const int high = HexDigit(value[2 + 2 * c]);
      const int low = HexDigit(value[3 + 2 * c]);
      if (high < 0 || low < 0) return std::nullopt;
      channels[c] = high * 16 + low;
    }
    return RgbColor(channels[0], channels[1], channels[2]);
  }
  if (value.isEmpty()) return std::nullopt;
  return ColorFromIdent(QStringLiteral("cl") + value.toString());
}

int AddSaturated(int position, qsizetype units) {
  if (units >= INT_MAX - static_cast<qsizetype>(position)) return INT_MAX;
  return position + static_cast<int>(units);
}

bool SameAttributes(const TovxHTMLTag& a, const TovxHTMLTag& b) {
  return a.style == b.style && a.color == b.color && a.size == b.size && a.lowered == b.lowered &&
         a.no_wrap == b.no_wrap;
}

}  // namespace

void TagExpander::Reset(const TagDefaults& defaults) {
  defaults_ = defaults;
  size_ = defaults.size;
  style_ = defaults.style;
  color_ = defaults.color;
  lowered_ = 0;
  no_wrap_ = false;
  script_ = kScriptNormal;
  position_ = 1;
}

TovxHTMLTag TagExpander::CurrentRecord() const {
  TovxHTMLTag tag;
  tag.position = position_;
  tag.size = size_;
  tag.lowered = lowered_;
  tag.style = style_;
  tag.color = color_;
  tag.reduced = size_ != defaults_.size;
  tag.no_wrap = no_wrap_;
  tag.script = script_;
  return tag;
}

QString TagExpander::Expand(QStringView line, bool tags_allowed, TovxHTMLTags& records) {
  QString visible;
  visible.reserve(line.size());
  qsizetype i = 0;
  while (i < line.size()) {
    if (tags_allowed && line[i] == u'<') {
      const int length = ApplyTag(line.sliced(i));
      if (length > 0) {
        position_ = AddSaturated(position_, length);
        i += length;
        continue;
      }
    }
    records.push_back(CurrentRecord());
    visible.append(line[i]);
    position_ = AddSaturated(position_, 1);
    ++i;
  }
  return visible;
}

int TagExpander::ApplyTag(QStringView text) {
  for (const SimpleTag& tag : kSimpleTags) {
    if (!text.startsWith(tag.text, Qt::CaseInsensitive)) continue;
    const int reduced_size = RoundToInt(defaults_.size / 1.5);
    switch (tag.kind) {
      case TagKind::kBold:
        style_ |= kBold;
        break;
      case TagKind::kBoldEnd:
        style_ &= ~kBold;
        break;
      case TagKind::kItalic:
        style_ |= kItalic;
        break;
      case TagKind::kItalicEnd:
        style_ &= ~kItalic;
        break;
      case TagKind::kUnderline:
        style_ |= kUnderline;
        break;
      case TagKind::kUnderlineEnd:
        style_ &= ~kUnderline;
        break;
      case TagKind::kStrike:
        style_ |= kStrikeOut;
        break;
      case TagKind::kStrikeEnd:
        style_ &= ~kStrikeOut;
        break;
      case TagKind::kSub:
        size_ = reduced_size;
        lowered_ = 1;
        script_ = kScriptSub;
        break;
      case TagKind::kSup:
        size_ = reduced_size;
        lowered_ = 0;
        script_ = kScriptSup;
        break;
      case TagKind::kSubEnd:
      case TagKind::kSupEnd:
        size_ = defaults_.size;
        lowered_ = 0;
        script_ = kScriptNormal;
        break;
      case TagKind::kNoWrap:
        no_wrap_ = true;
        break;
      case TagKind::kNoWrapEnd:
        no_wrap_ = false;
        break;
      case TagKind::kFontEnd:
        color_ = defaults_.color;
        break;
    }
    return static_cast<int>(tag.text.size());
  }

  if (!text.startsWith(kFontColor, Qt::CaseInsensitive)) return 0;
  qsizetype value_start = kFontColor.size();
  while (value_start < text.size() && text[value_start] == u' ') ++value_start;
  const qsizetype close = text.indexOf(u'>', value_start);
  if (close < 0) return 0;
  const std::optional<Color> color = ParseColorValue(text.sliced(value_start, close - value_start));
  if (!color) return 0;
  color_ = *color;
  // A line longer than an int can count is beyond any memo; the counter
  // saturates rather than wrapping.
  return close + 1 > INT_MAX ? INT_MAX : static_cast<int>(close + 1);
}

void MarkUnchanged(std::vector<TovxHTMLTags>& lines, const TagDefaults& defaults,
                   bool tags_allowed) {
  const TovxHTMLTag* previous = nullptr;
  for (TovxHTMLTags& line : lines) {
    for (TovxHTMLTag& tag : line) {
      if (!tags_allowed) {
        tag.unchanged = true;
      } else if (previous) {
        tag.unchanged = SameAttributes(tag, *previous);
      } else {
        tag.unchanged =
            tag.style == defaults.style && tag.color == defaults.color && tag.size == defaults.size;
      }
      previous = &tag;
    }
  }
}

QString OpeningTags(const TovxHTMLTag& tag) {
  // System colours have no digits of their own; write what they show as.
  const Color rgb = ColorToRgb(tag.color);
  const QString hex = QStringLiteral("%1%2%3")
                          .arg(RedOf(rgb), 2, 16, QChar(u'0'))
                          .arg(GreenOf(rgb), 2, 16, QChar(u'0'))
                          .arg(BlueOf(rgb), 2, 16, QChar(u'0'))
                          .toUpper();
  QString out = QStringLiteral("<font color=\"#") + hex + QStringLiteral("\">");
  if (tag.script == kScriptSup) out += QStringLiteral("<sup>");
  if (tag.script == kScriptSub) out += QStringLiteral("<sub>");
  if (tag.style & kUnderline) out += QStringLiteral("<u>");
  if (tag.style & kItalic) out += QStringLiteral("<i>");
  if (tag.style & kBold) out += QStringLiteral("<b>");
  if (tag.style & kStrikeOut) out += QStringLiteral("<strike>");
  if (tag.no_wrap) out += QStringLiteral("<nowrap>");
  return out;
}

}  // namespace ovx
