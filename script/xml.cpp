#include "script/xml.h"

#include "base/error.h"
#include "base/stream.h"

#include <QStringDecoder>

#include <algorithm>

namespace ovx {
namespace {

constexpr qsizetype kBlockSize = 4096;
// A single tag longer than this is not a grammar or a syntax tree.
constexpr qsizetype kMaxTagLength = 64 * 1024 * 1024;

[[noreturn]] void ThrowInvalidFormat() {
  // Not one of the localised script messages: the text itself.
  throw Error(QString(), QStringLiteral("Invalid file format"));
}

bool NeedsEscape(QChar c) {
  switch (c.unicode()) {
    case '\n':
    case '\r':
    case '"':
    case '&':
    case '<':
    case '>':
      return true;
    default:
      return false;
  }
}

bool IsBlank(QChar c) { return c.unicode() <= ' '; }

}  // namespace

QString ScriptXmlEscape(const QString& text) {
  qsizetype i = 0;
  while (i < text.size() && !NeedsEscape(text[i])) ++i;
  if (i == text.size()) return text;
  QString out = text.left(i);
  out.reserve(text.size() + 16);
  for (; i < text.size(); ++i) {
    const QChar c = text[i];
    if (NeedsEscape(c)) {
      out += QStringLiteral("&#") + QString::number(c.unicode()) + u';';
    } else {
      out += c;
    }
  }
  return out;
}

QString ScriptXmlUnescape(const QString& text) {
  qsizetype amp = text.indexOf(u'&');
  if (amp < 0) return text;
  QString out = text.left(amp);
  out.reserve(text.size());
  qsizetype i = amp;
  while (i < text.size()) {
    const QChar c = text[i];
    if (c != u'&') {
      out += c;
      ++i;
      continue;
    }
    if (QStringView(text).mid(i, 6) == u"&quot;") {
      out += u'"';
      i += 6;
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == u'#') {
      qsizetype j = i + 2;
      char32_t code = 0;
      int digits = 0;
      while (j < text.size() && text[j] >= u'0' && text[j] <= u'9' && digits < 8) {
        code = code * 10 + static_cast<char32_t>(text[j].unicode() - '0');
        ++digits;
        ++j;
      }
      const bool valid = digits > 0 && digits <= 7 && j < text.size() && text[j] == u';' &&
                         code != 0 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
      if (valid) {
        if (QChar::requiresSurrogates(code)) {
          out += QChar(QChar::highSurrogate(code));
          out += QChar(QChar::lowSurrogate(code));
        } else {
          out += QChar(static_cast<char16_t>(code));
        }
        i = j + 1;
        continue;
      }
    }
    out += c;
    ++i;
  }
  return out;
}

}  // namespace ovx

// ---------------------------------------------------------------- items

TksXMLItem::~TksXMLItem() {
  // Children are freed from the deepest level up without recursion, so a
  // deep tree cannot exhaust the stack on destruction.
  std::vector<std::unique_ptr<TksXMLItem>> pending;
  pending.swap(items_);
  while (!pending.empty()) {
    std::unique_ptr<TksXMLItem> item = std::move(pending.back());
    pending.pop_back();
    for (auto& child : item->items_) pending.push_back(std::move(child));
    item->items_.clear();
  }
}

TksXMLItem* TksXMLItem::Add() {
  auto item = std::make_unique<TksXMLItem>();
  item->parent_ = this;
  items_.push_back(std::move(item));
  return items_.back().get();
}

std::unique_ptr<TksXMLItem> TksXMLItem::Detach(TksXMLItem* item) {
  if (TksXMLItem* old = item->parent_) {
    for (auto it = old->items_.begin(); it != old->items_.end(); ++it) {
      if (it->get() == item) {
        std::unique_ptr<TksXMLItem> owned = std::move(*it);
        old->items_.erase(it);
        owned->parent_ = nullptr;
        return owned;
      }
    }
  }
  // An item without parent is owned by the caller, who hands it over.
  return std::unique_ptr<TksXMLItem>(item);
}

void TksXMLItem::AddItem(TksXMLItem* item) { InsertItem(Count(), item); }

void TksXMLItem::InsertItem(int index, TksXMLItem* item) {
  // An item cannot become its own descendant.
  for (const TksXMLItem* up = this; up; up = up->parent_) {
    if (up == item) return;
  }
  std::unique_ptr<TksXMLItem> owned = Detach(item);
  owned->parent_ = this;
  index = std::clamp(index, 0, Count());
  items_.insert(items_.begin() + index, std::move(owned));
}

int TksXMLItem::IndexOf(const QString& name) const {
  for (int i = 0; i < Count(); ++i) {
    if (items_[static_cast<size_t>(i)]->name_.compare(name, Qt::CaseInsensitive) == 0) return i;
  }
  return -1;
}

TksXMLItem* TksXMLItem::FindItem(const QString& name) {
  const int index = IndexOf(name);
  if (index >= 0) return Items(index);
  TksXMLItem* item = Add();
  item->name_ = name;
  return item;
}

TksXMLItem* TksXMLItem::Root() {
  TksXMLItem* item = this;
  while (item->parent_) item = item->parent_;
  return item;
}

void TksXMLItem::Clear() {
  std::vector<std::unique_ptr<TksXMLItem>> old;
  old.swap(items_);
  TksXMLItem holder;  // frees `old` without recursion
  holder.items_.swap(old);
}

void TksXMLItem::Assign(const TksXMLItem& source) {
  if (&source == this) return;
  Clear();
  name_ = source.name_;
  text_ = source.text_;
  data_ = source.data_;
  // Copy level by level with an explicit work list.
  std::vector<std::pair<const TksXMLItem*, TksXMLItem*>> work{{&source, this}};
  while (!work.empty()) {
    auto [from, to] = work.back();
    work.pop_back();
    for (const auto& child : from->items_) {
      TksXMLItem* copy = to->Add();
      copy->name_ = child->name_;
      copy->text_ = child->text_;
      copy->data_ = child->data_;
      work.emplace_back(child.get(), copy);
    }
  }
}

namespace {

// Start of the value of attribute `name` in `text` (just after `name="`,
// preceded by a blank or the start), or -1. Attribute names are ASCII, so
// an ASCII case-insensitive search keeps offsets valid in any text.
qsizetype FindAttribute(const QString& text, const QString& name, qsizetype* attr_start) {
  const qsizetype n = name.size();
  if (n == 0) return -1;
  for (qsizetype i = 0; i + n + 2 <= text.size(); ++i) {
    if (i > 0 && text[i - 1] != u' ') continue;
    if (QStringView(text).mid(i, n).compare(name, Qt::CaseInsensitive) != 0) continue;
    if (text[i + n] != u'=' || text[i + n + 1] != u'"') continue;
    if (attr_start) *attr_start = i;
    return i + n + 2;
  }
  return -1;
}

}  // namespace

QString TksXMLItem::Prop(const QString& name) const {
  const qsizetype start = FindAttribute(text_, name, nullptr);
  if (start < 0) return QString();
  qsizetype end = text_.indexOf(u'"', start);
  if (end < 0) end = text_.size();
  return ovx::ScriptXmlUnescape(text_.mid(start, end - start));
}

void TksXMLItem::SetProp(const QString& name, const QString& value) {
  const QString attribute = name + QStringLiteral("=\"") + ovx::ScriptXmlEscape(value) + u'"';
  qsizetype attr_start = 0;
  const qsizetype start = FindAttribute(text_, name, &attr_start);
  if (start >= 0) {
    qsizetype end = text_.indexOf(u'"', start);
    end = end < 0 ? text_.size() : end + 1;
    text_.replace(attr_start, end - attr_start, attribute);
    return;
  }
  if (!text_.isEmpty() && !text_.endsWith(u' ')) text_ += u' ';
  text_ += attribute;
}

// ---------------------------------------------------------------- document

TksXMLDocument::TksXMLDocument() : root_(std::make_unique<TksXMLItem>()) {}

void TksXMLDocument::Clear() { root_ = std::make_unique<TksXMLItem>(); }

void TksXMLDocument::LoadFromStream(ovx::Stream& stream) {
  Clear();
  try {
    TksXMLReader(stream).ReadRootItem(root_.get());
  } catch (...) {
    Clear();
    throw;
  }
}

void TksXMLDocument::LoadFromString(const QString& text) {
  ovx::MemoryStream stream(text.toUtf8());
  LoadFromStream(stream);
}

void TksXMLDocument::SaveToStream(ovx::Stream& stream) const {
  TksXMLWriter writer(stream);
  writer.SetAutoIndent(auto_indent_);
  writer.WriteHeader();
  writer.WriteRootItem(root_.get());
  writer.Flush();
}

QString TksXMLDocument::SaveToString() const {
  ovx::MemoryStream stream;
  SaveToStream(stream);
  return QString::fromUtf8(stream.Data());
}

// ---------------------------------------------------------------- reader

class TksXMLReader::Decoder {
 public:
  QStringDecoder utf8{QStringDecoder::Utf8};
};

bool TksXMLReader::NextChar(QChar& c) {
  if (next_ >= chars_.size()) {
    if (ended_) return false;
    if (!decoder_) decoder_ = std::make_shared<Decoder>();
    chars_.clear();
    next_ = 0;
    while (chars_.isEmpty() && !ended_) {
      const QByteArray block = stream_.Read(ovx::kBlockSize);
      if (block.isEmpty()) {
        ended_ = true;
        break;
      }
      chars_ = decoder_->utf8.decode(block);
    }
    if (chars_.isEmpty()) return false;
  }
  c = chars_[next_++];
  return true;
}

bool TksXMLReader::ReadTag(QString& tag) {
  QChar c;
  for (;;) {
    if (!NextChar(c)) return false;
    if (c == u'<') break;
  }
  tag.clear();
  for (;;) {
    if (!NextChar(c)) ovx::ThrowInvalidFormat();
    if (c == u'>') {
      if (tag.startsWith(QStringLiteral("!--")) &&
          !(tag.size() >= 5 && tag.endsWith(QStringLiteral("--")))) {
        // A comment runs to "-->", whatever it holds.
        tag += c;
        continue;
      }
      return true;
    }
    if (c == u'<' && !tag.startsWith(QStringLiteral("!--"))) ovx::ThrowInvalidFormat();
    if (tag.size() >= ovx::kMaxTagLength) ovx::ThrowInvalidFormat();
    tag += c;
  }
}

namespace {

struct ParsedTag {
  QString name;
  QString text;
  bool empty = false;
};

ParsedTag SplitTag(const QString& tag) {
  ParsedTag parsed;
  qsizetype blank = 0;
  while (blank < tag.size() && !ovx::IsBlank(tag[blank])) ++blank;
  parsed.name = tag.left(blank);
  // Blanks between the name and the attributes are not part of the text
  // (the writer puts one back), so a tag reads the same after a round trip.
  qsizetype start = blank;
  while (start < tag.size() && ovx::IsBlank(tag[start])) ++start;
  qsizetype end = tag.size();
  while (end > start && ovx::IsBlank(tag[end - 1])) --end;
  parsed.text = tag.mid(start, end - start);
  if (parsed.name.endsWith(u'/')) {
    parsed.name.chop(1);
    parsed.empty = true;
  } else if (parsed.text.endsWith(u'/')) {
    parsed.text.chop(1);
    while (!parsed.text.isEmpty() && ovx::IsBlank(parsed.text.back())) parsed.text.chop(1);
    parsed.empty = true;
  }
  return parsed;
}

}  // namespace

void TksXMLReader::ReadRootItem(TksXMLItem* item) {
  QString tag;
  // The header, and nothing before it but text.
  if (!ReadTag(tag) || !tag.startsWith(QStringLiteral("?xml"))) ovx::ThrowInvalidFormat();
  // Open elements, innermost last; the loop replaces recursion so that
  // nesting is bounded by a count, not by the stack.
  std::vector<TksXMLItem*> open;
  bool have_root = false;
  for (;;) {
    if (!ReadTag(tag)) {
      // The input ended outside a tag: complete only after the root closed.
      if (!have_root || !open.empty()) ovx::ThrowInvalidFormat();
      return;
    }
    if (tag.startsWith(QStringLiteral("!--"))) continue;
    if (have_root && open.empty()) continue;  // after the root: ignored
    if (tag.startsWith(u'/')) {
      if (open.empty() || QStringView(tag).mid(1).trimmed().compare(open.back()->Name(),
                                                                    Qt::CaseInsensitive) != 0) {
        ovx::ThrowInvalidFormat();
      }
      open.pop_back();
      continue;
    }
    ParsedTag parsed = SplitTag(tag);
    if (parsed.name.isEmpty() || parsed.name.startsWith(u'?')) ovx::ThrowInvalidFormat();
    TksXMLItem* target;
    if (!have_root) {
      target = item;
      have_root = true;
    } else {
      target = open.back()->Add();
    }
    target->SetName(parsed.name);
    target->SetText(parsed.text);
    if (!parsed.empty) {
      if (static_cast<int>(open.size()) >= ovx::kMaxScriptXmlDepth) ovx::ThrowInvalidFormat();
      open.push_back(target);
    }
  }
}

// ---------------------------------------------------------------- writer

void TksXMLWriter::Put(const QString& text) {
  pending_ += text.toUtf8();
  if (pending_.size() > ovx::kBlockSize) Flush();
}

void TksXMLWriter::Flush() {
  if (pending_.isEmpty()) return;
  stream_.Write(pending_);
  pending_.clear();
}

void TksXMLWriter::WriteHeader() {
  Put(QStringLiteral("<?xml version=\"1.0\"?>"));
  if (auto_indent_) Put(QStringLiteral("\r\n"));
}

void TksXMLWriter::WriteRootItem(const TksXMLItem* root) {
  // (item, next child index); explicit so deep trees need no stack.
  std::vector<std::pair<const TksXMLItem*, int>> path;
  auto open_tag = [&](const TksXMLItem* item, int level) {
    QString line;
    if (auto_indent_) line.fill(u' ', level * 2);
    line += u'<' + item->Name();
    if (!item->Text().isEmpty()) {
      if (!item->Text().startsWith(u' ')) line += u' ';
      line += item->Text();
    }
    line += item->Count() == 0 ? QStringLiteral("/>") : QStringLiteral(">");
    if (auto_indent_) line += QStringLiteral("\r\n");
    Put(line);
  };
  open_tag(root, 0);
  if (root->Count() == 0) return;
  path.emplace_back(root, 0);
  while (!path.empty()) {
    auto& [item, next] = path.back();
    if (next < item->Count()) {
      const TksXMLItem* child = item->Items(next++);
      const int level = static_cast<int>(path.size());
      open_tag(child, level);
      if (child->Count() > 0) path.emplace_back(child, 0);
      continue;
    }
    QString line;
    if (auto_indent_) line.fill(u' ', (static_cast<int>(path.size()) - 1) * 2);
    line += QStringLiteral("</") + item->Name() + u'>';
    if (auto_indent_) line += QStringLiteral("\r\n");
    Put(line);
    path.pop_back();
  }
}
