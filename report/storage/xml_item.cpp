// TovxXMLItem: tree bookkeeping and attribute access.
#include "report/storage/xml_item.h"

#include "report/storage/xml_attributes.h"

#include <algorithm>

// The per-item cost the header promises; a field added here multiplies by
// the millions of items a hostile file can hold.
static_assert(sizeof(TovxXMLItem) <= 72, "keep rarely used fields in TovxXMLItem::Extra");

namespace {

bool SameName(QByteArrayView a, QByteArrayView b) {
  return a.size() == b.size() && qstrnicmp(a.data(), a.size(), b.data(), b.size()) == 0;
}

}  // namespace

TovxXMLItem::~TovxXMLItem() {
  DeleteChildren();
  Detach();
}

TovxXMLItem::Extra& TovxXMLItem::Ext() {
  if (!extra_) extra_ = std::make_unique<Extra>();
  return *extra_;
}

const QByteArray& TovxXMLItem::Value() const {
  static const QByteArray kNone;
  return extra_ ? extra_->value : kNone;
}

void TovxXMLItem::SetValue(QByteArray value) {
  if (extra_ || !value.isEmpty()) Ext().value = std::move(value);
}

void TovxXMLItem::SetData(void* data) {
  if (extra_ || data != nullptr) Ext().data = data;
}

void TovxXMLItem::SetUnloadable(bool unloadable) {
  if (extra_ || unloadable) Ext().unloadable = unloadable;
}

std::vector<TovxXMLItem*>& TovxXMLItem::Children() {
  if (!Loaded()) ForgetSwappedCopy();
  if (!items_) items_ = std::make_unique<std::vector<TovxXMLItem*>>();
  return *items_;
}

void TovxXMLItem::ForgetSwappedCopy() {
  if (!extra_) return;
  extra_->loaded = true;
  extra_->swap_place = SwapPlace::kNone;
  extra_->offset = 0;
}

void TovxXMLItem::Detach() {
  if (parent_ == nullptr) return;
  std::vector<TovxXMLItem*>& siblings = *parent_->items_;
  // Children are usually removed from the end (unwinding, moving the last
  // one), so search backwards.
  const auto it = std::find(siblings.rbegin(), siblings.rend(), this);
  siblings.erase(std::next(it).base());
  parent_ = nullptr;
}

void TovxXMLItem::DeleteChildren() {
  if (!items_) return;
  // Flatten the subtree into a work list: every item is detached from its
  // parent before deletion, so no destructor searches a sibling vector and
  // no destructor recurses.
  std::vector<TovxXMLItem*> pending = std::move(*items_);
  items_.reset();
  while (!pending.empty()) {
    TovxXMLItem* item = pending.back();
    pending.pop_back();
    if (item->items_) {
      pending.insert(pending.end(), item->items_->begin(), item->items_->end());
      item->items_.reset();
    }
    item->parent_ = nullptr;
    delete item;
  }
}

TovxXMLItem* TovxXMLItem::Add() {
  auto* item = new TovxXMLItem;
  item->parent_ = this;
  Children().push_back(item);
  return item;
}

void TovxXMLItem::AddItem(TovxXMLItem* item) { InsertItem(Count(), item); }

void TovxXMLItem::InsertItem(int index, TovxXMLItem* item) {
  Q_ASSERT(item != nullptr && item != this);
  // Moving an ancestor below its own descendant would make a cycle.
  for (const TovxXMLItem* p = parent_; p != nullptr; p = p->parent_) Q_ASSERT(p != item);
  item->Detach();
  std::vector<TovxXMLItem*>& children = Children();
  index = std::clamp(index, 0, static_cast<int>(children.size()));
  children.insert(children.begin() + index, item);
  item->parent_ = this;
}

int TovxXMLItem::IndexOf(const TovxXMLItem* item) const {
  if (!items_) return -1;
  const auto it = std::find(items_->begin(), items_->end(), item);
  return it == items_->end() ? -1 : static_cast<int>(it - items_->begin());
}

int TovxXMLItem::Find(QByteArrayView name) const {
  for (int i = 0; i < Count(); ++i) {
    if (SameName((*items_)[i]->name_, name)) return i;
  }
  return -1;
}

TovxXMLItem* TovxXMLItem::FindItem(QByteArrayView name) {
  const int index = Find(name);
  if (index >= 0) return (*items_)[index];
  TovxXMLItem* item = Add();
  item->name_ = name.toByteArray();
  return item;
}

void TovxXMLItem::Clear() {
  DeleteChildren();
  if (Unloadable()) extra_->loaded = false;
}

QByteArray TovxXMLItem::Prop(QByteArrayView name) const {
  return ovx::ReadXmlAttribute(text_, name);
}

void TovxXMLItem::SetProp(QByteArrayView name, QByteArrayView value) {
  ovx::WriteXmlAttribute(text_, name, value);
}
