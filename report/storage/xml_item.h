// One element of an XML document of the library's dialect.
//
// Design: an element keeps its name and its raw attribute text (values
// escaped, exactly as they stood in the tag) and parses attributes only when
// Prop is asked; the reader never splits them. Elements are created in large
// numbers (a prepared report holds ~100,000; a hostile file of empty tags
// millions), so an item is kept small: 72 bytes for the name, the attribute
// text, the parent and two pointers. The children vector exists only once a
// child is added; the element text, the user's data and the swapping state,
// which few items have, live in a side record made on first use. The reader
// shares the bytes of repeated element names between items.
//
// Ownership: a parent owns its children. Deleting an item deletes its whole
// subtree (iteratively, in linear time, whatever its depth) and removes it
// from its parent. Adding an item that already has a parent moves it.
//
// Swapping: an item marked unloadable may have its children swapped out to a
// backing stream by its TovxXMLDocument (UnloadItem) and read back later
// (LoadItem). While not loaded, Count() is 0; the writer loads such items on
// its own when the document is saved. Adding a child to an item that is not
// loaded makes the children in memory its content: it becomes loaded and
// forgets its swapped-out copy, so that copy can never be merged into (or
// replace) what the caller built.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <memory>
#include <vector>

class TovxXMLDocument;

namespace ovx::xml_internal {
class TovxXMLReader;
class TovxXMLWriter;
}  // namespace ovx::xml_internal

class TovxXMLItem {
 public:
  TovxXMLItem() = default;
  TovxXMLItem(const TovxXMLItem&) = delete;
  TovxXMLItem& operator=(const TovxXMLItem&) = delete;
  ~TovxXMLItem();

  // Children.
  TovxXMLItem* Add();                             // a new last child
  void AddItem(TovxXMLItem* item);                // moves `item` to the end
  void InsertItem(int index, TovxXMLItem* item);  // moves `item` before `index`
  int Count() const { return items_ ? static_cast<int>(items_->size()) : 0; }
  // nullptr when `index` is out of range.
  TovxXMLItem* Items(int index) const {
    return index >= 0 && index < Count() ? (*items_)[index] : nullptr;
  }
  TovxXMLItem* operator[](int index) const { return Items(index); }
  int IndexOf(const TovxXMLItem* item) const;
  // The index of the first child named `name` ignoring ASCII case, or -1.
  int Find(QByteArrayView name) const;
  // That child, or a new last child with that name.
  TovxXMLItem* FindItem(QByteArrayView name);
  // Deletes every child; an unloadable item becomes not loaded.
  void Clear();
  TovxXMLItem* Parent() const { return parent_; }

  // Element data.
  const QByteArray& Name() const { return name_; }
  void SetName(QByteArray name) { name_ = std::move(name); }
  // The raw attribute text, values escaped: `Name="Page1" PaperSize="256"`.
  const QByteArray& Text() const { return text_; }
  void SetText(QByteArray text) { text_ = std::move(text); }
  // Text written between the start and end tag of an element without
  // children (escaped by the writer). The reader never fills it.
  const QByteArray& Value() const;
  void SetValue(QByteArray value);
  // Free for the user of the tree; never read or written by the library.
  void* Data() const { return extra_ ? extra_->data : nullptr; }
  void SetData(void* data);

  // The unescaped value of attribute `name` (matched ignoring ASCII case),
  // empty when absent.
  QByteArray Prop(QByteArrayView name) const;
  // Sets attribute `name` to `value` (escaped), in place when it exists,
  // appended otherwise.
  void SetProp(QByteArrayView name, QByteArrayView value);

  // Swapping state, see the file comment.
  bool Loaded() const { return !extra_ || extra_->loaded; }
  bool Unloadable() const { return extra_ && extra_->unloadable; }
  void SetUnloadable(bool unloadable);

 private:
  friend class TovxXMLDocument;
  friend class ovx::xml_internal::TovxXMLReader;
  friend class ovx::xml_internal::TovxXMLWriter;

  // Where the swapped-out copy of this item lives.
  enum class SwapPlace : unsigned char {
    kNone,      // never swapped out
    kSource,    // in the stream the document was partially loaded from
    kSwapFile,  // in the document's own temporary file
  };

  // What few items carry; an item without one has no value and no data, is
  // loaded, not unloadable and was never swapped out.
  struct Extra {
    QByteArray value;
    void* data = nullptr;
    qint64 offset = 0;  // start tag of the swapped-out copy, see swap_place
    bool loaded = true;
    bool unloadable = false;
    SwapPlace swap_place = SwapPlace::kNone;
  };

  Extra& Ext();
  SwapPlace Place() const { return extra_ ? extra_->swap_place : SwapPlace::kNone; }
  void Detach();
  void DeleteChildren();
  void ForgetSwappedCopy();
  std::vector<TovxXMLItem*>& Children();

  QByteArray name_;
  QByteArray text_;
  TovxXMLItem* parent_ = nullptr;
  std::unique_ptr<std::vector<TovxXMLItem*>> items_;
  std::unique_ptr<Extra> extra_;
};
