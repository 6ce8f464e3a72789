// The scripting engine's compact XML: grammars and syntax trees.
//
// An item keeps its attributes as one raw text (`name="value" ...`, values
// escaped) and reads them on demand; trees are small and mostly walked once,
// so parsing attributes eagerly would cost more than it saves. The reader
// treats its input as hostile: nesting, tag length and malformed tags end in
// "Invalid file format", never in a crash.
#pragma once

#include <QString>

#include <memory>
#include <vector>

namespace ovx {
class Stream;

// Every LF, CR, double quote, ampersand, `<` and `>` becomes `&#N;`, so
// that unescaping gives back exactly the text.
QString ScriptXmlEscape(const QString& text);
// `&#N;` (at most 7 digits, a code point other than NUL and surrogates)
// and `&quot;` become their characters; anything else stays as written.
QString ScriptXmlUnescape(const QString& text);

// Deepest element nesting the reader accepts.
inline constexpr int kMaxScriptXmlDepth = 1000;
}  // namespace ovx

class TksXMLItem {
 public:
  TksXMLItem() = default;
  TksXMLItem(const TksXMLItem&) = delete;
  TksXMLItem& operator=(const TksXMLItem&) = delete;
  ~TksXMLItem();

  const QString& Name() const { return name_; }
  void SetName(const QString& name) { name_ = name; }
  // The raw attribute text of the tag.
  const QString& Text() const { return text_; }
  void SetText(const QString& text) { text_ = text; }
  void* Data() const { return data_; }
  void SetData(void* data) { data_ = data; }
  TksXMLItem* Parent() const { return parent_; }

  int Count() const { return static_cast<int>(items_.size()); }
  TksXMLItem* Items(int index) const { return items_[static_cast<size_t>(index)].get(); }

  TksXMLItem* Add();
  // Moves `item` (with its children) from its old parent to the end of
  // this item's children; an item without parent is taken over. This item
  // or one of its ancestors is left where it is.
  void AddItem(TksXMLItem* item);
  void InsertItem(int index, TksXMLItem* item);
  // First child whose name equals `name` ignoring case; -1 when none.
  int IndexOf(const QString& name) const;
  // The child named `name`, added when there is none.
  TksXMLItem* FindItem(const QString& name);
  TksXMLItem* Root();
  void Clear();
  // Copies name, text, data and all children of `source`.
  void Assign(const TksXMLItem& source);

  // The unescaped value of attribute `name` (ASCII, any case); empty when
  // absent.
  QString Prop(const QString& name) const;
  void SetProp(const QString& name, const QString& value);

 private:
  std::unique_ptr<TksXMLItem> Detach(TksXMLItem* item);

  QString name_;
  QString text_;
  void* data_ = nullptr;
  TksXMLItem* parent_ = nullptr;
  std::vector<std::unique_ptr<TksXMLItem>> items_;
};

class TksXMLDocument {
 public:
  TksXMLDocument();
  TksXMLItem* Root() const { return root_.get(); }
  bool AutoIndent() const { return auto_indent_; }
  void SetAutoIndent(bool on) { auto_indent_ = on; }
  void Clear();

  // Throws ovx::Error "Invalid file format" for malformed input; the
  // document is then empty.
  void LoadFromStream(ovx::Stream& stream);
  void LoadFromString(const QString& text);
  void SaveToStream(ovx::Stream& stream) const;
  QString SaveToString() const;

 private:
  std::unique_ptr<TksXMLItem> root_;
  bool auto_indent_ = false;
};

// Reads UTF-8 in blocks; a sequence split between blocks decodes whole.
class TksXMLReader {
 public:
  explicit TksXMLReader(ovx::Stream& stream) : stream_(stream) {}
  void ReadRootItem(TksXMLItem* item);

 private:
  bool NextChar(QChar& c);
  // Reads up to the next tag and answers its inside (without `<`, `>`);
  // false at the end of the input outside a tag.
  bool ReadTag(QString& tag);

  ovx::Stream& stream_;
  QString chars_;
  qsizetype next_ = 0;
  bool ended_ = false;
  class Decoder;
  std::shared_ptr<Decoder> decoder_;
};

class TksXMLWriter {
 public:
  explicit TksXMLWriter(ovx::Stream& stream) : stream_(stream) {}
  void SetAutoIndent(bool on) { auto_indent_ = on; }
  void WriteHeader();
  void WriteRootItem(const TksXMLItem* item);
  void Flush();

 private:
  void Put(const QString& text);

  ovx::Stream& stream_;
  bool auto_indent_ = false;
  QByteArray pending_;
};
