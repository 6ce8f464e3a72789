// The prepared report format (".op3"): the store's document with the source
// pages, the dictionary and the pictures written beside the pages.
//
// Reading treats the file as hostile. It goes into fresh contents; page
// elements naming a source page that is not there, dictionary entries whose
// page index or object is missing, duplicate names and picture items whose
// hexadecimal is damaged are reported and skipped (a damaged picture keeps
// its number, empty, so later numbers still match their views). Only a
// document that loaded replaces the store's contents.
#include "base/stream.h"
#include "engine/internal/contents.h"
#include "engine/preview_pages.h"
#include "platform/safe_file.h"
#include "report/model/page.h"
#include "report/model/picture.h"
#include "report/model/report.h"
#include "report/storage/xml_attributes.h"
#include "report/storage/xml_document.h"
#include "report/storage/xml_error.h"
#include "report/storage/xml_escape.h"
#include "report/storage/xml_serializer.h"

#include <QFileInfo>
#include <QHash>

#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

using ovx::engine_internal::ClassesOf;

namespace {

// Root children in the order they are written, so that saving a loaded
// file gives the same bytes whatever order they were made in.
constexpr const char* kRootOrder[] = {"previewpages",       "outline",      "anchors",
                                      "logicalpagenumbers", "report",       "sourcepages",
                                      "dictionary",         "picturecache", "postprocessing"};

// Data at least this long (in hexadecimal digits) is written once.
constexpr qsizetype kShareAbove = 256;
constexpr const char* kSharedData = "SharedData";
// The element name of an object of its previous sibling's class, stored as
// its differences from that sibling.
constexpr const char* kLikePrevious = "like";
// Marks source pages written as differences (fresh objects, siblings).
constexpr const char* kDifferencesForm = "differences";

bool ValidHex(const QByteArray& text) {
  if (text.size() % 2 != 0) return false;
  for (const char ch : text) {
    if (!((ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'F') || (ch >= 'a' && ch <= 'f'))) {
      return false;
    }
  }
  return true;
}

// Writes source pages compactly: every object as its differences from a
// fresh object of its class (which is what reading starts from), and data
// that an earlier source page already holds (the same background picture
// on every body page) as a reference to that page instead of its bytes.
class SourceWriter {
 public:
  SourceWriter(const ovx::ClassRegistry& classes, TovxXMLSerializer& serializer)
      : classes_(classes), serializer_(serializer) {}

  // `previous` is the sibling written just before, if any.
  void Write(const TovxComponent& object, bool is_page, TovxXMLItem& element,
             const TovxComponent* previous = nullptr) {
    QByteArray text = " Name=\"" + ovx::XmlEscape(object.StoredName().toUtf8()) + '"';
    if (const std::optional<QByteArray> raw = object.RawAttributes()) {
      element.SetName(object.StoredClassName().toUtf8());
      if (!raw->isEmpty()) text += ' ' + *raw;
    } else if (previous && LikePrevious(object, *previous)) {
      // A cell like the one before it: only what differs from that one.
      element.SetName(kLikePrevious);
      text += serializer_.WriteProperties(object, {}, previous);
    } else {
      element.SetName(object.StoredClassName().toUtf8());
      QByteArray attributes = serializer_.WriteProperties(object, {}, Fresh(object));
      if (is_page) attributes = ShareData(attributes);
      text += attributes;
    }
    element.SetText(text.trimmed());
    object.WriteCollections(element, serializer_);
    const TovxComponent* before = nullptr;
    for (const ovx::StoredObject* child : object.StoredChildren()) {
      if (const auto* component = dynamic_cast<const TovxComponent*>(child)) {
        Write(*component, false, *element.Add(), before);
        before = component;
      }
    }
    if (is_page) ++page_;
  }

 private:
  // A fresh object of the class, or null when the class cannot be made
  // (then every property is written).
  const ovx::Persistent* Fresh(const TovxComponent& object) {
    const QString& name = object.GetMetaClass().ClassName();
    auto it = fresh_.find(name);
    if (it == fresh_.end()) {
      const ovx::MetaClass* meta = classes_.Find(name);
      std::unique_ptr<ovx::Persistent> made;
      if (meta && meta->CanCreate()) made.reset(meta->Create(nullptr));
      it = fresh_.emplace(name, std::move(made)).first;
    }
    return it->second.get();
  }

  // Replaces large "...PropData" values seen on an earlier page by
  // "...SharedData" naming that page.
  QByteArray ShareData(const QByteArray& attributes) {
    QByteArray out;
    ovx::XmlAttributeScanner scanner(attributes);
    ovx::XmlAttributeSpan span;
    while (scanner.Next(span)) {
      if (!span.has_value) continue;
      const QByteArray name = span.name.toByteArray();
      const QByteArray value = span.raw_value.toByteArray();
      if (name.endsWith("PropData") && value.size() >= kShareAbove) {
        const QByteArray key = name + '=' + value;
        const auto seen = shared_.constFind(key);
        if (seen != shared_.constEnd()) {
          out += ' ' + name.left(name.size() - 8) + kSharedData + "=\"" +
                 QByteArray::number(*seen) + '"';
          continue;
        }
        shared_.insert(key, page_);
      }
      out += ' ' + name + "=\"" + value + '"';
    }
    return out;
  }

  // Reading an object like its previous sibling starts from a copy of that
  // sibling, so everything a difference cannot express must be absent:
  // nested lists and data (an empty picture is not written as a difference).
  bool LikePrevious(const TovxComponent& object, const TovxComponent& previous) {
    if (&object.GetMetaClass() != &previous.GetMetaClass() || previous.RawAttributes()) {
      return false;
    }
    for (const TovxComponent* one : {&object, &previous}) {
      TovxXMLItem lists;
      one->WriteCollections(lists, serializer_);
      if (lists.Count() > 0 || HoldsData(*one)) return false;
    }
    return true;
  }

  static bool HoldsData(const ovx::Persistent& object) {
    if (!object.DefinedData().isEmpty()) return true;
    auto& reachable = const_cast<ovx::Persistent&>(object);
    for (const ovx::PropertyInfo* p : object.GetMetaClass().Properties()) {
      if (p->kind != ovx::PropertyKind::kObject || !p->object) continue;
      if (const ovx::Persistent* nested = p->object(reachable); nested && HoldsData(*nested)) {
        return true;
      }
    }
    return false;
  }

  const ovx::ClassRegistry& classes_;
  TovxXMLSerializer& serializer_;
  std::map<QString, std::unique_ptr<ovx::Persistent>> fresh_;
  QHash<QByteArray, int> shared_;
  int page_ = 0;
};

QByteArray BoolText(bool on) { return on ? "True" : "False"; }

// Only page elements may stay on disk. Anything else a file marks swappable
// (by hand or with intent) is read now, so that a partial load never sees
// less than a full one; a damaged part fails the load like malformed XML.
void LoadAllButPages(TovxXMLDocument& document) {
  TovxXMLItem* root = document.Root();
  const int pages_at = root->Find("previewpages");
  const TovxXMLItem* pages = pages_at >= 0 ? root->Items(pages_at) : nullptr;
  std::vector<std::pair<TovxXMLItem*, bool>> todo{{root, false}};
  while (!todo.empty()) {
    const auto [item, is_page] = todo.back();
    todo.pop_back();
    if (!item->Loaded()) {
      if (is_page) continue;
      document.LoadItem(item);
    }
    for (int i = 0; i < item->Count(); ++i) todo.emplace_back(item->Items(i), item == pages);
  }
}

// Takes the "...SharedData" attributes out of a source page element: the
// dotted path of the nested object and the page that holds its data.
std::vector<std::pair<QByteArray, int>> TakeSharedData(TovxXMLItem& element) {
  std::vector<std::pair<QByteArray, int>> shared;
  const QByteArray text = element.Text();
  if (!text.contains(kSharedData)) return shared;
  QByteArray rest;
  ovx::XmlAttributeScanner scanner(text);
  ovx::XmlAttributeSpan span;
  while (scanner.Next(span)) {
    const QByteArray name = span.name.toByteArray();
    if (span.has_value && name.endsWith(kSharedData)) {
      bool ok = false;
      const int page = span.raw_value.toByteArray().toInt(&ok);
      shared.emplace_back(name.left(name.size() - qsizetype{sizeof "SharedData"} + 1),
                          ok ? page : -1);
      continue;
    }
    rest += ' ' + text.mid(span.begin, span.end - span.begin);
  }
  element.SetText(rest.trimmed());
  return shared;
}

// Copies the data (a picture) of the nested object at `path` ("BackPicture."
// or "" for the object itself) from one page to another.
bool CopyData(const TovxReportPage& from, TovxReportPage& to, const QByteArray& path) {
  ovx::Persistent* source = const_cast<TovxReportPage*>(&from);
  ovx::Persistent* target = &to;
  for (const QByteArray& part : path.split('.')) {
    if (part.isEmpty()) continue;
    const ovx::PropertyInfo* p = source->GetMetaClass().FindProperty(QString::fromLatin1(part));
    const ovx::PropertyInfo* q = target->GetMetaClass().FindProperty(QString::fromLatin1(part));
    if (!p || !q || p->kind != ovx::PropertyKind::kObject || q->kind != p->kind || !p->object ||
        !q->object) {
      return false;
    }
    source = p->object(*source);
    target = q->object(*target);
    if (!source || !target) return false;
  }
  if (auto* picture = dynamic_cast<const TovxPicture*>(source)) {
    auto* picture_to = dynamic_cast<TovxPicture*>(target);
    if (!picture_to) return false;
    *picture_to = *picture;
    return true;
  }
  const QByteArray data = source->DefinedData();
  if (data.isEmpty()) return false;
  try {
    target->ReadDefinedData(data);
  } catch (const ovx::Error&) {
    return false;
  }
  return true;
}

// Reads `element` into `object` and its child elements into new children:
// each starts from a fresh object of its class, or, for a "like" element,
// from a copy of the sibling read just before it.
void ReadSourceObject(TovxComponent& object, const TovxXMLItem& element,
                      const ovx::ClassRegistry& classes, TovxXMLSerializer& serializer,
                      std::vector<TovxComponent*>& read) {
  object.SetLoading(true);
  read.push_back(&object);
  QByteArray attributes = element.Text();
  ovx::XmlAttributeSpan span;
  if (ovx::FindXmlAttribute(attributes, "Name", span)) {
    const QString name = QString::fromUtf8(ovx::XmlUnescape(span.raw_value));
    ovx::RemoveXmlAttribute(attributes, span);
    if (!name.isEmpty() && &object != read.front()) {
      try {
        object.SetName(name);
      } catch (const ovx::Error& error) {
        serializer.AddError(error.Message());
      }
    }
  }
  if (object.RawAttributes()) {
    object.SetRawAttributes(attributes.trimmed());
  } else {
    serializer.ReadProperties(attributes, object);
  }
  TovxComponent* previous = nullptr;
  for (int i = 0; i < element.Count(); ++i) {
    const TovxXMLItem& child = *element.Items(i);
    if (object.ReadCollection(child, serializer)) continue;
    const ovx::MetaClass* meta = nullptr;
    const bool like = child.Name() == kLikePrevious;
    if (like) {
      meta = previous ? &previous->GetMetaClass() : nullptr;
    } else {
      meta = classes.Find(QString::fromUtf8(child.Name()));
    }
    if (!meta || !meta->CanCreate() || !object.CanContain(*meta)) {
      serializer.AddError(QStringLiteral("不明的类别 ") + QString::fromUtf8(child.Name()));
      continue;
    }
    auto* created = dynamic_cast<TovxComponent*>(meta->Create(&object));
    if (!created) continue;
    if (like) created->Assign(*previous);
    ReadSourceObject(*created, child, classes, serializer, read);
    previous = created;
  }
}

void ReadSourceTree(TovxReportPage& page, const TovxXMLItem& element,
                    const ovx::ClassRegistry& classes, TovxXMLSerializer& serializer) {
  std::vector<TovxComponent*> read;
  ReadSourceObject(page, element, classes, serializer, read);
  serializer.ResolveReferences();
  for (TovxComponent* object : read) {
    object->SetLoading(false);
    if (object != &page) object->Loaded();
  }
}
}  // namespace

void TovxPreviewPages::WriteStateElements() {
  Contents& c = *contents_;
  TovxXMLItem* root = Root();
  if (const int cut = root->Find("cutted"); cut >= 0) delete root->Items(cut);
  for (const char* name : kRootOrder) root->AddItem(root->FindItem(name));

  TovxXMLItem* report = Child("report");
  report->Clear();
  TovxXMLItem* element = report->Add();
  element->SetName(report_ ? report_->GetMetaClass().ClassName().toUtf8()
                           : QByteArray("TovxReport"));
  if (report_) {
    element->SetProp("DotMatrixReport", BoolText(report_->DotMatrixReport()));
    element->SetProp("PreviewOptions.OutlineVisible",
                     BoolText(report_->PreviewOptions().OutlineVisible()));
    element->SetProp("PreviewOptions.OutlineWidth",
                     QByteArray::number(report_->PreviewOptions().OutlineWidth()));
    element->SetProp("ReportOptions.Name", report_->ReportOptions().Name().toUtf8());
  }

  TovxXMLSerializer serializer(ClassesOf(report_), nullptr);
  TovxXMLItem* sources = Child("sourcepages");
  sources->Clear();
  sources->SetProp("form", kDifferencesForm);
  SourceWriter writer(ClassesOf(report_), serializer);
  for (const auto& page : c.source_pages) {
    TovxXMLItem* element = sources->Add();
    writer.Write(*page.copy, true, *element);
  }
  TovxXMLItem* dictionary = Child("dictionary");
  dictionary->Clear();
  for (const Contents::Entry& entry : c.entries) {
    TovxXMLItem* item = dictionary->Add();
    item->SetName(entry.name);
    item->SetProp("name", entry.SourceName().toUtf8());
  }
  TovxXMLItem* pictures = Child("picturecache");
  pictures->Clear();
  for (int i = 1; i <= c.pictures.Count(); ++i) {
    TovxXMLItem* item = pictures->Add();
    item->SetName("item");
    item->SetProp("stream", c.pictures.Bytes(i).toHex().toUpper());
  }
  c.post_processor.WriteTo(*Child("postprocessing"));
}

void TovxPreviewPages::SaveToStream(ovx::Stream& stream) {
  WriteStateElements();
  contents_->document.SaveToStream(stream);
  // The copies are the live state; the written elements were only for the file.
  Child("sourcepages")->Clear();
  Child("picturecache")->Clear();
  Child("postprocessing")->Clear();
}

void TovxPreviewPages::SaveToFile(const QString& file_name) {
  WriteStateElements();
  contents_->document.SaveToFile(file_name);
  Child("sourcepages")->Clear();
  Child("picturecache")->Clear();
  Child("postprocessing")->Clear();
}

bool TovxPreviewPages::LoadFromFile(const QString& file_name, bool exception_if_not_found) {
  if (!QFileInfo::exists(file_name) && !exception_if_not_found) return false;
  ovx::CheckReadableFile(file_name, ovx::kMaxDocumentFileBytes, QStringLiteral("prepared report"));
  ovx::FileStream stream(file_name, ovx::FileStream::Mode::kRead);
  LoadFromStream(stream);
  return true;
}

void TovxPreviewPages::LoadFromStream(ovx::Stream& stream, bool allow_partial_loading) {
  auto fresh = std::make_unique<Contents>();
  fresh->document.LoadFromStream(stream, allow_partial_loading);
  if (allow_partial_loading) LoadAllButPages(fresh->document);
  if (fresh->document.Root()->Name() != "preparedreport") {
    throw TovxInvalidXMLException(QStringLiteral("not a prepared report"));
  }
  QStringList errors;
  ReadContents(*fresh, errors);

  // Loaded: the new contents replace the old ones.
  cache_.clear();
  running_page_.reset();
  contents_ = std::move(fresh);
  outline_.LevelRoot();
  cur_page_ = Count() - 1;
  first_page_ = 0;
  overwrite_ = false;
  logical_counter_ = 0;
  last_mouse_object_ = nullptr;
  locked_page_ = -1;
  load_errors_ = errors;
  if (report_) {
    if (const TovxXMLItem* report = Child("report")->Items(0)) {
      TovxXMLSerializer serializer(ClassesOf(report_), nullptr);
      QByteArray text;
      for (const char* name : {"DotMatrixReport", "PreviewOptions.OutlineVisible",
                               "PreviewOptions.OutlineWidth", "ReportOptions.Name"}) {
        const int at = report->Text().indexOf(QByteArray(name) + "=\"");
        if (at >= 0) {
          const int end = report->Text().indexOf('"', at + static_cast<int>(strlen(name)) + 2);
          if (end > at) text += ' ' + report->Text().mid(at, end - at + 1);
        }
      }
      serializer.ReadProperties(text, *report_);
    }
    for (const QString& line : errors) report_->AddError(line);
  }
}

void TovxPreviewPages::ReadContents(Contents& c, QStringList& errors) {
  TovxXMLItem* root = c.document.Root();
  TovxXMLSerializer serializer(ClassesOf(report_), nullptr);

  // Source pages, each read whole; a bad one stays as an empty page so the
  // indexes of the others keep their meaning.
  if (const int at = root->Find("sourcepages"); at >= 0) {
    TovxXMLItem* sources = root->Items(at);
    const bool differences = sources->Prop("form") == kDifferencesForm;
    for (int i = 0; i < sources->Count(); ++i) {
      TovxXMLItem& element = *sources->Items(i);
      auto page = std::make_unique<TovxReportPage>();
      if (element.Name().compare("TovxReportPage", Qt::CaseInsensitive) == 0) {
        const std::vector<std::pair<QByteArray, int>> shared = TakeSharedData(element);
        if (differences) {
          ReadSourceTree(*page, element, ClassesOf(report_), serializer);
        } else {
          serializer.ReadComponentTree(*page, element);
        }
        try {
          page->SetName(QString::fromUtf8(element.Prop("Name")));
        } catch (const ovx::Error&) {
        }
        for (const auto& [path, from] : shared) {
          if (from < 0 || from >= i ||
              !CopyData(*c.source_pages[static_cast<size_t>(from)].copy, *page, path)) {
            errors << QStringLiteral("Bad shared data %1 of source page %2")
                          .arg(QString::fromLatin1(path))
                          .arg(i);
          }
        }
      } else {
        errors << QStringLiteral("Unknown source page %1").arg(QString::fromUtf8(element.Name()));
      }
      c.source_pages.push_back({std::move(page), nullptr});
    }
    delete sources;
  }
  errors << serializer.Errors();

  if (const int at = root->Find("dictionary"); at >= 0) {
    TovxXMLItem* dictionary = root->Items(at);
    // Each source page's objects by name (the first in tree order, as
    // FindObject answers), made when a page is first named: a page outside a
    // report has no name index, and a lookup per entry would walk it whole.
    std::vector<std::optional<QHash<QString, TovxComponent*>>> page_names(c.source_pages.size());
    const auto find_source = [&](size_t page, const QString& name) -> TovxComponent* {
      std::optional<QHash<QString, TovxComponent*>>& names = page_names[page];
      if (!names) {
        names.emplace();
        const std::vector<TovxComponent*> all = c.source_pages[page].copy->AllObjects();
        for (auto it = all.rbegin(); it != all.rend(); ++it) {
          if (!(*it)->Name().isEmpty()) names->insert((*it)->Name().toCaseFolded(), *it);
        }
      }
      return names->value(name.toCaseFolded(), nullptr);
    };
    // Files written before every copy was named list an unnamed object as
    // "Page<k>." only; such entries follow the page's unnamed objects in
    // tree order, the order in which they were listed.
    std::vector<std::optional<std::vector<TovxComponent*>>> unnamed(c.source_pages.size());
    std::vector<size_t> unnamed_used(c.source_pages.size(), 0);
    const auto next_unnamed = [&](size_t page) -> TovxComponent* {
      std::optional<std::vector<TovxComponent*>>& list = unnamed[page];
      if (!list) {
        list.emplace();
        for (TovxComponent* object : c.source_pages[page].copy->AllObjects()) {
          if (object->Name().isEmpty()) list->push_back(object);
        }
      }
      size_t& used = unnamed_used[page];
      if (used >= list->size()) return nullptr;
      // Named now, so that saving the pages again writes an entry that
      // names it.
      TovxComponent* object = (*list)[used++];
      object->CreateUniqueName();
      return object;
    };
    for (int i = 0; i < dictionary->Count(); ++i) {
      const TovxXMLItem& item = *dictionary->Items(i);
      const QString source_name = QString::fromUtf8(item.Prop("name"));
      const qsizetype dot = source_name.indexOf(u'.');
      bool ok = false;
      const int k =
          dot > 4 && source_name.startsWith(u"Page") ? source_name.mid(4, dot - 4).toInt(&ok) : -1;
      TovxComponent* source = nullptr;
      if (ok && k >= 0 && k < static_cast<int>(c.source_pages.size())) {
        source = dot + 1 == source_name.size()
                     ? next_unnamed(static_cast<size_t>(k))
                     : find_source(static_cast<size_t>(k), source_name.mid(dot + 1));
      }
      if (!source || item.Name().isEmpty() || c.by_name.contains(item.Name())) {
        errors << QStringLiteral("Bad dictionary entry %1 %2")
                      .arg(QString::fromUtf8(item.Name()), source_name);
        continue;
      }
      // An unnamed object has just been named: its entry takes that name.
      const bool unnamed = dot + 1 == source_name.size();
      c.entries.push_back({item.Name(), unnamed ? QString() : source_name, source, k});
      const int index = static_cast<int>(c.entries.size()) - 1;
      c.by_name.insert(item.Name(), index);
      c.by_object.insert(source, index);
      // New names after loading continue past the loaded ones.
      qsizetype digits = item.Name().size();
      while (digits > 0 && std::isdigit(static_cast<unsigned char>(item.Name()[digits - 1]))) {
        --digits;
      }
      const int number = item.Name().mid(digits).toInt();
      int& next = c.next_number[item.Name().left(digits)];
      next = std::max(next, number);
    }
    delete dictionary;
  }

  if (const int at = root->Find("picturecache"); at >= 0) {
    TovxXMLItem* pictures = root->Items(at);
    for (int i = 0; i < pictures->Count(); ++i) {
      const QByteArray hex = pictures->Items(i)->Prop("stream");
      if (!ValidHex(hex)) {
        errors << QStringLiteral("Damaged picture %1").arg(i + 1);
        c.pictures.AddBytes({});
        continue;
      }
      c.pictures.AddBytes(QByteArray::fromHex(hex));
    }
    delete pictures;
  }

  if (const int at = root->Find("postprocessing"); at >= 0) {
    TovxXMLItem* lists = root->Items(at);
    c.post_processor.ReadFrom(*lists, errors);
    // The lists are the live state; the element is written afresh on saving.
    lists->Clear();
  }

  // Pages must name a source page that exists, or be stored whole.
  TovxXMLItem* pages = root->FindItem("previewpages");
  for (int i = pages->Count() - 1; i >= 0; --i) {
    TovxXMLItem* item = pages->Items(i);
    const QByteArray& name = item->Name();
    if (name.compare("TovxReportPage", Qt::CaseInsensitive) == 0) continue;
    bool ok = false;
    const int k = name.startsWith("page") ? name.mid(4).toInt(&ok) : -1;
    if (ok && k >= 0 && k < static_cast<int>(c.source_pages.size())) continue;
    errors << QStringLiteral("Bad page %1 %2").arg(i + 1).arg(QString::fromUtf8(name));
    delete item;
  }
  errors.removeDuplicates();
}
