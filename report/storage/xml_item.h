// One element of an XML document of the library's dialect.
//
// Design: an element keeps its name and its raw attribute text (values
// escaped, exactly as they stood in the tag) and parses attributes only when
// Prop is asked; the reader never splits them. Elements are created in large
// numbers (a prepared report holds ~100,000), so an item is kept small: the
// children vector exists only once a child is added.
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
  const QByteArray& Value() const { return value_; }
  void SetValue(QByteArray value) { value_ = std::move(value); }
  // Free for the user of the tree; never read or written by the library.
  void* Data() const { return data_; }
  void SetData(void* data) { data_ = data; }

  // The unescaped value of attribute `name` (matched ignoring ASCII case),
  // empty when absent.
  QByteArray Prop(QByteArrayView name) const;
  // Sets attribute `name` to `value` (escaped), in place when it exists,
  // appended otherwise.
  void SetProp(QByteArrayView name, QByteArrayView value);

  // Swapping state, see the file comment.
  bool Loaded() const { return loaded_; }
  bool Unloadable() const { return unloadable_; }
  void SetUnloadable(bool unloadable) { unloadable_ = unloadable; }

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

  void Detach();
  void DeleteChildren();
  void ForgetSwappedCopy();
  std::vector<TovxXMLItem*>& Children();

  QByteArray name_;
  QByteArray text_;
  QByteArray value_;
  void* data_ = nullptr;
  TovxXMLItem* parent_ = nullptr;
  std::unique_ptr<std::vector<TovxXMLItem*>> items_;
  qint64 offset_ = 0;  // start tag of the swapped-out copy, see swap_place_
  bool loaded_ = true;
  bool unloadable_ = false;
  SwapPlace swap_place_ = SwapPlace::kNone;
};
