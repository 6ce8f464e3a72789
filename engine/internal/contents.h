// What a prepared pages store holds, as one replaceable unit: a loaded file
// is read into fresh contents and swapped in only when it loaded.
#pragma once

#include "base/class_registry.h"
#include "engine/picture_cache.h"
#include "engine/post_processor.h"
#include "engine/preview_pages.h"
#include "report/model/page.h"
#include "report/storage/xml_document.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>

#include <deque>
#include <memory>
#include <vector>

struct TovxPreviewPages::Contents {
  struct SourcePage {
    std::unique_ptr<TovxReportPage> copy;
    const TovxReportPage* template_page = nullptr;  // none after loading a file
  };
  struct Entry {
    QByteArray name;      // "m1"
    QString source_name;  // "Page0.Memo1" as a file gave it; empty: SourceName()
    TovxComponent* source = nullptr;
    int source_page = -1;

    // "Page<k>.<name of the source object>".
    QString SourceName() const;
  };

  Contents() { document.Root()->SetName("preparedreport"); }

  // Adds a dictionary entry for `source` (a copy in source page `page`).
  int AddEntry(TovxComponent& source, int page);
  const Entry* Find(const QByteArray& name) const {
    const auto it = by_name.constFind(name);
    return it == by_name.constEnd() ? nullptr : &entries[static_cast<size_t>(*it)];
  }
  // As Find; pages list their objects mostly in dictionary order, so the
  // entry after `hint` (updated to the entry found) is tried first.
  const Entry* FindAfter(const QByteArray& name, size_t& hint) const {
    if (hint + 1 < entries.size() && entries[hint + 1].name == name) return &entries[++hint];
    const auto it = by_name.constFind(name);
    if (it == by_name.constEnd()) return nullptr;
    hint = static_cast<size_t>(*it);
    return &entries[hint];
  }

  TovxXMLDocument document;
  std::vector<SourcePage> source_pages;
  // A deque: a long report has one entry per cell, and a vector would copy
  // them all at every growth and hold half again as much while it does.
  std::deque<Entry> entries;
  QHash<QByteArray, int> by_name;
  // Template object (or an object added during the run) to its entry.
  QHash<const TovxComponent*, int> by_object;
  QHash<QByteArray, int> next_number;
  // Dictionary prefixes by class (a class always gives the same one).
  QHash<const ovx::MetaClass*, QByteArray> prefixes;
  // The registry's class by an object's own class (RegisteredClass).
  QHash<const ovx::MetaClass*, const ovx::MetaClass*> registered;
  // What the store asks of an object, by its class: found by casts once,
  // as a failed dynamic_cast walks the whole hierarchy and a store meets a
  // handful of classes in a hundred thousand objects.
  struct ClassKind {
    bool component = false;
    bool report_component = false;
    bool view = false;
    bool picture_view = false;
  };
  QHash<const ovx::MetaClass*, ClassKind> kinds;
  const ClassKind& KindOf(const ovx::Persistent& object);
  TovxPictureCache pictures;
  // The deferred values of the pages' views.
  TovxPostProcessor post_processor;
  // Bytes added since the last swap to disk (an estimate).
  qint64 xml_size = 0;
  // Page items changed by hand stay in memory.
  QSet<const TovxXMLItem*> not_swappable;
  // Outline items in the order they were added during this pass, so that
  // items of a kept part can be told from items of earlier columns that
  // share its page and lie lower.
  std::vector<TovxXMLItem*> outline_added;
};

struct TovxPreviewPages::CachedPage {
  int index = -1;
  std::unique_ptr<TovxReportPage> page;
  // Each rebuilt object's item, for ModifyObject.
  QHash<const TovxComponent*, TovxXMLItem*> items;
};

namespace ovx::engine_internal {

// The stored text of an object: its serialization without the name.
QByteArray StoredTextOf(const TovxComponent& object, TovxReport* report);
// A serializer over the report's classes.
const ClassRegistry& ClassesOf(const TovxReport* report);

}  // namespace ovx::engine_internal
