// The prepared pages store: adding, rebuilding, caching, drawing and
// changing pages. The file format is in prepared_file.cpp.
#include "engine/preview_pages.h"

#include "base/number_format.h"
#include "base/paper_sizes.h"
#include "base/rounding.h"
#include "base/units.h"
#include "engine/engine.h"
#include "engine/internal/contents.h"
#include "render/canvas.h"
#include "report/model/band.h"
#include "report/model/classes.h"
#include "report/model/memo_view.h"
#include "report/model/page.h"
#include "report/model/picture_view.h"
#include "report/model/report.h"
#include "report/model/view.h"
#include "report/storage/xml_escape.h"
#include "report/storage/xml_serializer.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace ovx::engine_internal {

const ClassRegistry& ClassesOf(const TovxReport* report) {
  return report ? report->Classes() : ReportClasses();
}

QByteArray StoredTextOf(const TovxComponent& object, TovxReport* report) {
  TovxXMLSerializer serializer(ClassesOf(report), nullptr);
  QByteArray text = serializer.ObjectToString(object);
  // The name goes: a rebuilt object takes its source's name only where the
  // page has no object of that name yet.
  const qsizetype at = text.indexOf(" Name=\"");
  if (at >= 0) {
    const qsizetype end = text.indexOf('"', at + 7);
    if (end > at) text.remove(at, end - at + 1);
  }
  return text;
}

}  // namespace ovx::engine_internal

using ovx::engine_internal::ClassesOf;
using ovx::engine_internal::StoredTextOf;

namespace {

constexpr qint64 kItemOverhead = 32;

QByteArray NumberText(double value) { return ovx::FormatFloat(value).toLatin1(); }

double NumberProp(const TovxXMLItem& item, const char* name, double fallback) {
  const QByteArray text = item.Prop(name);
  if (text.isEmpty()) return fallback;
  const std::optional<double> value = ovx::ParseFloat(QString::fromLatin1(text));
  return value && std::isfinite(*value) ? *value : fallback;
}

int IntProp(const TovxXMLItem& item, const char* name, int fallback) {
  bool ok = false;
  const int value = item.Prop(name).toInt(&ok);
  return ok ? value : fallback;
}

QByteArray DictionaryPrefix(const TovxComponent& object) {
  if (dynamic_cast<const TovxBand*>(&object)) return "b";
  const QString base = object.BaseName();
  return base.isEmpty() ? QByteArray("o") : base.left(1).toLower().toUtf8();
}

// Pixels from a value that may come from a hostile file: kept inside int.
int Pixels(double value) {
  if (!std::isfinite(value)) return 0;
  return static_cast<int>(ovx::Round(std::clamp(value, -1e9, 1e9)));
}

bool IsWholePageName(const QByteArray& name) {
  return name.compare("TovxReportPage", Qt::CaseInsensitive) == 0;
}

// A saved file finds each copy again by its name, so a copy whose source has
// no name (or a name its page cannot take) gets a fresh one of its own.
void NameSourceCopy(TovxComponent& copy, const QString& name) {
  if (!name.isEmpty()) {
    try {
      copy.SetName(name);
      return;
    } catch (const ovx::Error&) {
    }
  }
  copy.CreateUniqueName();
}

}  // namespace

QString TovxPreviewPages::Contents::Entry::SourceName() const {
  if (!source_name.isEmpty() || !source) return source_name;
  return QStringLiteral("Page%1.%2").arg(source_page).arg(source->Name());
}

int TovxPreviewPages::Contents::AddEntry(TovxComponent& source, int page) {
  auto known = prefixes.constFind(&source.GetMetaClass());
  if (known == prefixes.constEnd()) {
    known = prefixes.insert(&source.GetMetaClass(), DictionaryPrefix(source));
  }
  const QByteArray& prefix = *known;
  int& number = next_number[prefix];
  QByteArray name;
  do {
    name = prefix + QByteArray::number(++number);
  } while (by_name.contains(name));
  // The source's name is spelled out only when a file is written.
  entries.push_back({name, QString(), &source, page});
  const int index = static_cast<int>(entries.size()) - 1;
  by_name.insert(name, index);
  return index;
}

const TovxPreviewPages::Contents::ClassKind& TovxPreviewPages::Contents::KindOf(
    const ovx::Persistent& object) {
  const ovx::MetaClass* meta = &object.GetMetaClass();
  auto known = kinds.constFind(meta);
  if (known == kinds.constEnd()) {
    const auto* component = dynamic_cast<const TovxComponent*>(&object);
    known = kinds.insert(
        meta, {component != nullptr, dynamic_cast<const TovxReportComponent*>(component) != nullptr,
               dynamic_cast<const TovxView*>(component) != nullptr,
               dynamic_cast<const TovxPictureView*>(component) != nullptr});
  }
  return *known;
}

// --- outline -------------------------------------------------------------------------

const ovx::MetaClass& TovxOutline::StaticMetaClass() {
  static const ovx::MetaClass meta(QStringLiteral("TovxOutline"), nullptr, {}, nullptr);
  return meta;
}

TovxXMLItem* TovxOutline::Current() const {
  TovxXMLItem* root = pages_.Root()->FindItem("outline");
  if (!current_) return root;
  // The current item must still be inside the outline.
  for (const TovxXMLItem* p = current_; p; p = p->Parent()) {
    if (p == root) return current_;
  }
  return root;
}

TovxXMLItem* TovxOutline::CurrentItem() const { return Current(); }

void TovxOutline::AddItem(const QString& text, int top) {
  TovxXMLItem* item = Current()->Add();
  item->SetName("item");
  item->SetProp("text", text.toUtf8());
  item->SetProp("page", QByteArray::number(pages_.CurPage()));
  item->SetProp("top", QByteArray::number(top));
  current_ = item;
  pages_.contents_->outline_added.push_back(item);
}

void TovxOutline::LevelRoot() { current_ = nullptr; }

void TovxOutline::LevelUp() {
  TovxXMLItem* root = pages_.Root()->FindItem("outline");
  TovxXMLItem* current = Current();
  if (current != root) current_ = current->Parent() == root ? nullptr : current->Parent();
}

void TovxOutline::LevelDown(int index) {
  if (TovxXMLItem* child = Current()->Items(index)) current_ = child;
}

int TovxOutline::Count() const { return Current()->Count(); }

void TovxOutline::GetItem(int index, QString& text, int& page, int& top) const {
  const TovxXMLItem* item = Current()->Items(index);
  if (!item) return;
  text = QString::fromUtf8(item->Prop("text"));
  page = IntProp(*item, "page", 0);
  top = IntProp(*item, "top", 0);
}

// --- store -----------------------------------------------------------------------------

const ovx::MetaClass& TovxPreviewPages::StaticMetaClass() {
  static const ovx::MetaClass meta(QStringLiteral("TovxPreviewPages"), nullptr, {}, nullptr);
  return meta;
}

TovxPreviewPages::TovxPreviewPages(TovxReport* report)
    : report_(report), contents_(std::make_unique<Contents>()), outline_(*this) {}

TovxPreviewPages::~TovxPreviewPages() {
  // Cached pages go before the contents whose document they point into.
  cache_.clear();
}

TovxXMLDocument& TovxPreviewPages::Document() { return contents_->document; }
TovxPostProcessor& TovxPreviewPages::PostProcessor() { return contents_->post_processor; }
TovxXMLItem* TovxPreviewPages::Root() const { return contents_->document.Root(); }
TovxXMLItem* TovxPreviewPages::Child(const char* name) const { return Root()->FindItem(name); }
TovxXMLItem* TovxPreviewPages::PagesItem() const { return Child("previewpages"); }
int TovxPreviewPages::Count() const { return PagesItem()->Count(); }
qint64 TovxPreviewPages::XmlSize() const { return contents_->xml_size; }

// The engine works on the last page, which a loaded file may have left on
// disk; a damaged one fails the run with the file's error.
TovxXMLItem* TovxPreviewPages::CurrentPageItem() const {
  TovxXMLItem* item = PagesItem()->Items(cur_page_);
  if (item && !item->Loaded()) contents_->document.LoadItem(item);
  return item;
}

TovxXMLItem* TovxPreviewPages::PageItem(int index) {
  TovxXMLItem* item = PagesItem()->Items(index);
  if (!item || item->Loaded()) return item;
  try {
    contents_->document.LoadItem(item);
    return item;
  } catch (const ovx::Error& error) {
    const QString line = QStringLiteral("Damaged page %1: %2").arg(index + 1).arg(error.Message());
    if (!load_errors_.contains(line)) {
      load_errors_ << line;
      if (report_) report_->AddError(line);
    }
    return nullptr;
  }
}

// The registry's class for the class of `object`, remembered: a store
// meets few classes and copies every object through one.
const ovx::MetaClass* TovxPreviewPages::RegisteredClass(const TovxComponent& object) const {
  const ovx::MetaClass* own = &object.GetMetaClass();
  auto& registered = contents_->registered;
  auto known = registered.constFind(own);
  if (known == registered.constEnd()) {
    known = registered.insert(own, ClassesOf(report_).Find(own->ClassName()));
  }
  return *known;
}

bool TovxPreviewPages::EngineRunning() const { return engine_ && engine_->Running(); }

QByteArray TovxPreviewPages::SourceText(const QByteArray& dictionary_name) const {
  const Contents::Entry* entry = contents_->Find(dictionary_name);
  return entry ? StoredTextOf(*entry->source, report_) : QByteArray();
}

void TovxPreviewPages::Clear() {
  cache_.clear();
  running_page_.reset();
  contents_ = std::make_unique<Contents>();
  outline_.LevelRoot();
  cur_page_ = -1;
  first_page_ = 0;
  overwrite_ = false;
  logical_counter_ = 0;
  last_y_ = 0;
  pass_page_ = -1;
  pass_objects_ = 0;
  pass_started_empty_ = true;
  last_mouse_object_ = nullptr;
  locked_page_ = -1;
}

void TovxPreviewPages::Initialize() {
  if (!report_) return;
  contents_->pictures.SetInFile(report_->PreviewOptions().PictureCacheInFile(),
                                report_->EngineOptions().TempDir());
  contents_->document.SetTempDir(report_->EngineOptions().TempDir());
  if (report_->on_progress_start) report_->on_progress_start();
}

void TovxPreviewPages::AddSourcePage(const TovxReportPage& page) {
  Contents& c = *contents_;
  const int k = static_cast<int>(c.source_pages.size());
  auto copy = std::make_unique<TovxReportPage>();
  copy->Assign(page);
  try {
    copy->SetName(page.Name());
  } catch (const ovx::Error&) {
  }
  // Copies the printable objects below `from` under `to`, property by
  // property through the metadata.
  const std::function<void(const TovxComponent&, TovxComponent&)> copy_children =
      [&](const TovxComponent& from, TovxComponent& to) {
        for (TovxComponent* child : from.Objects()) {
          if (!c.KindOf(*child).report_component) continue;
          const ovx::MetaClass* meta = RegisteredClass(*child);
          if (!meta || !meta->CanCreate()) continue;
          ovx::Persistent* made = meta->Create(&to);
          if (!made) continue;
          const Contents::ClassKind& kind = c.KindOf(*made);
          if (!kind.component) {
            delete made;
            continue;
          }
          auto* object = static_cast<TovxComponent*>(made);
          object->Assign(*child);
          NameSourceCopy(*object, child->Name());
          if (kind.view) {
            auto* view = static_cast<TovxView*>(object);
            view->SetDataSetName(QString());
            view->SetDataField(QString());
          }
          // Pictures go to the picture cache, once per printed use.
          if (kind.picture_view) static_cast<TovxPictureView*>(object)->SetPicture(TovxPicture());
          const int entry = c.AddEntry(*object, k);
          c.by_object.insert(child, entry);
          c.by_object.insert(object, entry);
          copy_children(*child, *object);
        }
      };
  copy_children(page, *copy);
  c.source_pages.push_back({std::move(copy), &page});
}

void TovxPreviewPages::AddToSourcePage(const TovxComponent& object) {
  Contents& c = *contents_;
  if (c.source_pages.empty() || c.by_object.contains(&object)) return;
  const int k = static_cast<int>(c.source_pages.size()) - 1;
  TovxReportPage& page = *c.source_pages.back().copy;
  const ovx::MetaClass* meta = RegisteredClass(object);
  if (!meta || !meta->CanCreate()) return;
  auto* copy = dynamic_cast<TovxComponent*>(meta->Create(&page));
  if (!copy) return;
  copy->Assign(object);
  NameSourceCopy(*copy, object.Name());
  const int entry = c.AddEntry(*copy, k);
  c.by_object.insert(&object, entry);
  c.by_object.insert(copy, entry);
}

void TovxPreviewPages::SwapOutOldPages() {
  Contents& c = *contents_;
  if (!report_ || !report_->EngineOptions().UseFileCache()) return;
  const qint64 limit = qint64{std::max(report_->EngineOptions().MaxMemSize(), 0)} * 1048576;
  if (c.xml_size <= limit) return;
  TovxXMLItem* pages = PagesItem();
  for (int i = pages->Count() - 2; i >= 0; --i) {
    TovxXMLItem* item = pages->Items(i);
    if (!item->Loaded()) break;
    if (c.not_swappable.contains(item)) continue;
    item->SetUnloadable(true);
    c.document.UnloadItem(item);
  }
  c.xml_size = 0;
}

void TovxPreviewPages::AddPage(const TovxReportPage& page) {
  SwapOutOldPages();
  ++cur_page_;
  if (overwrite_ && cur_page_ < Count()) return;
  Contents& c = *contents_;
  int k = -1;
  for (size_t i = 0; i < c.source_pages.size(); ++i) {
    if (c.source_pages[i].template_page == &page) k = static_cast<int>(i);
  }
  TovxXMLItem* item = PagesItem()->Add();
  // The first two pages stay in memory: the preview opens on them.
  if (PagesItem()->Count() > 2) item->SetUnloadable(true);
  if (k < 0) {
    // A page that was never registered is stored whole.
    TovxXMLSerializer serializer(ClassesOf(report_), nullptr);
    serializer.WriteComponentTree(page, false, *item);
  } else {
    item->SetName("page" + QByteArray::number(k));
  }
  c.xml_size += kItemOverhead;
  cur_page_ = Count() - 1;
  if (report_ && report_->on_progress) report_->on_progress(cur_page_ + 1);
  CountLogicalPage();
}

void TovxPreviewPages::AddPicture(TovxPictureView& view) { contents_->pictures.AddPicture(view); }

void TovxPreviewPages::ShareSource(const TovxComponent& copy, const TovxComponent& source) {
  Contents& c = *contents_;
  const auto found = c.by_object.constFind(&source);
  if (found == c.by_object.constEnd()) return;
  // Taken by value: the insertion may grow the table under the iterator.
  const int entry = *found;
  c.by_object.insert(&copy, entry);
}

void TovxPreviewPages::ForgetCopy(const TovxComponent& copy) { contents_->by_object.remove(&copy); }

void TovxPreviewPages::AddObject(const TovxComponent& object, double offset_y) {
  TovxXMLItem* page = CurrentPageItem();
  if (!page) return;
  if (!page->Loaded()) contents_->document.LoadItem(page);
  AddObjectItem(object, *page, offset_y);
}

void TovxPreviewPages::AddObjectPart(const TovxComponent& object, double offset_y,
                                     const std::vector<TovxComponent*>& children) {
  TovxXMLItem* page = CurrentPageItem();
  if (!page) return;
  if (!page->Loaded()) contents_->document.LoadItem(page);
  AddObjectItem(object, *page, offset_y, &children);
}

void TovxPreviewPages::AddObjectItem(const TovxComponent& object, TovxXMLItem& parent,
                                     double offset_y, const std::vector<TovxComponent*>* children) {
  if (!object.Visible()) return;
  Contents& c = *contents_;
  // A deferred view is stored with the index of its value instead of its
  // text; the template memo keeps its own text. A view without a name could
  // never find its value again, so it is stored as shown.
  const auto* view = dynamic_cast<const TovxView*>(&object);
  std::optional<QStringList> registered_lines;
  auto* memo = dynamic_cast<TovxCustomMemoView*>(const_cast<TovxComponent*>(&object));
  struct PutBack {
    TovxCustomMemoView* memo;
    std::optional<QStringList>& lines;
    ~PutBack() {
      if (memo && lines) memo->SetLines(*lines);
    }
  } put_back{memo, registered_lines};
  if (view && !view->Name().isEmpty() && view->NeedsPostProcessing()) {
    if (memo) registered_lines = memo->Lines();
    const_cast<TovxView*>(view)->RegisterDeferred(c.post_processor);
  }
  TovxXMLItem* item = parent.Add();
  const auto found = c.by_object.constFind(&object);
  if (found != c.by_object.constEnd()) {
    const Contents::Entry& entry = c.entries[static_cast<size_t>(*found)];
    if (auto* view = dynamic_cast<const TovxPictureView*>(&object)) {
      // The stored ImageIndex names the cached copy of this picture.
      auto& writable = const_cast<TovxPictureView&>(*view);
      const int saved = writable.ImageIndex();
      c.pictures.AddPicture(writable);
      item->SetName(entry.name);
      item->SetText(object.DifferenceText(*entry.source) +
                    (writable.ImageIndex()
                         ? " ImageIndex=\"" + QByteArray::number(writable.ImageIndex()) + '"'
                         : QByteArray()));
      writable.SetImageIndex(saved);
    } else {
      // The full difference in every pass: pages of a first pass that was
      // cancelled stay in the store and must show what was printed.
      item->SetName(entry.name);
      item->SetText(object.DifferenceText(*entry.source));
    }
  } else {
    TovxXMLSerializer serializer(ClassesOf(report_), nullptr);
    const QByteArray record = serializer.ObjectToString(object);
    const qsizetype space = record.indexOf(' ');
    item->SetName(space < 0 ? record : record.left(space));
    item->SetText(space < 0 ? QByteArray() : record.mid(space + 1));
  }
  if (offset_y != 0) item->SetProp("t", NumberText(object.Top() + offset_y));
  c.xml_size += item->Name().size() + item->Text().size() + kItemOverhead;
  for (const TovxComponent* child : children ? *children : object.Objects()) {
    AddObjectItem(*child, *item, 0);
  }
}

int TovxPreviewPages::ObjectPosition() const {
  const TovxXMLItem* page = CurrentPageItem();
  return page ? page->Count() : 0;
}

int TovxPreviewPages::CutObjects(int position) {
  TovxXMLItem* page = CurrentPageItem();
  TovxXMLItem* cut = Child("cutted");
  if (!page) return 0;
  while (page->Count() > std::max(position, 0)) cut->AddItem(page->Items(std::max(position, 0)));
  return cut->Count();
}

void TovxPreviewPages::RemoveObjectsFrom(int position) {
  TovxXMLItem* page = CurrentPageItem();
  if (!page) return;
  while (page->Count() > std::max(position, 0)) delete page->Items(page->Count() - 1);
}

// The source value of `l` or `t` for an item that leaves it out.
static double SourceOrOwn(const TovxPreviewPages::Contents& c, const TovxXMLItem& item,
                          const char* name, bool left) {
  if (!item.Prop(name).isEmpty()) return NumberProp(item, name, 0);
  if (const TovxPreviewPages::Contents::Entry* entry = c.Find(item.Name())) {
    return left ? entry->source->Left() : entry->source->Top();
  }
  return 0;
}

void TovxPreviewPages::PasteObjects(double x, double y) {
  TovxXMLItem* cut = Child("cutted");
  TovxXMLItem* page = CurrentPageItem();
  if (cut->Count() > 0 && page) {
    const Contents& c = *contents_;
    const TovxXMLItem& first = *cut->Items(0);
    double dx = x - SourceOrOwn(c, first, "l", true);
    if (dx < 0 && x == 0) dx = 0;
    const double dy = y - SourceOrOwn(c, first, "t", false);
    while (cut->Count() > 0) {
      TovxXMLItem* item = cut->Items(0);
      if (dx != 0) item->SetProp("l", NumberText(SourceOrOwn(c, *item, "l", true) + dx));
      item->SetProp("t", NumberText(SourceOrOwn(c, *item, "t", false) + dy));
      page->AddItem(item);
    }
  }
  delete cut;
}

void TovxPreviewPages::SetPageSize(double width_mm, double height_mm) {
  TovxXMLItem* page = CurrentPageItem();
  if (!page || !std::isfinite(width_mm) || !std::isfinite(height_mm)) return;
  page->SetProp("PaperSize", QByteArray::number(ovx::kPaperCustom));
  page->SetProp("PaperWidth", NumberText(width_mm));
  page->SetProp("PaperHeight", NumberText(height_mm));
}

void TovxPreviewPages::SetPageColumn(int column, double x) {
  TovxXMLItem* page = CurrentPageItem();
  if (!page || !std::isfinite(x)) return;
  page->SetProp("c", QByteArray::number(column));
  page->SetProp("cp", NumberText(x));
}

bool TovxPreviewPages::PageColumn(int index, int& column, double& x) const {
  const TovxXMLItem* page = PagesItem()->Items(index);
  if (!page || page->Prop("c").isEmpty()) return false;
  column = IntProp(*page, "c", 0);
  x = NumberProp(*page, "cp", std::nan(""));
  return column >= 1 && std::isfinite(x);
}

double TovxPreviewPages::LastUsedY(double x) const {
  const TovxXMLItem* page = CurrentPageItem();
  double result = -1;
  if (page) {
    for (int i = 0; i < page->Count(); ++i) {
      const TovxXMLItem& item = *page->Items(i);
      const Contents::Entry* entry = contents_->Find(item.Name());
      const auto* band = entry ? dynamic_cast<const TovxBand*>(entry->source) : nullptr;
      if (!band || dynamic_cast<const TovxPageFooter*>(band) ||
          dynamic_cast<const TovxOverlay*>(band)) {
        continue;
      }
      const double top = SourceOrOwn(*contents_, item, "t", false);
      const double height = NumberProp(item, "h", band->Height());
      const double left = SourceOrOwn(*contents_, item, "l", true);
      if (x == 0 || std::abs(left - x) < 0.001 || dynamic_cast<const TovxPageHeader*>(band) ||
          dynamic_cast<const TovxReportTitle*>(band)) {
        result = std::max(result, top + height);
      }
    }
  }
  return result < 0 ? last_y_ : result;
}

// --- passes ------------------------------------------------------------------------------

void TovxPreviewPages::BeginPass() {
  pass_started_empty_ = Count() == 0;
  pass_page_ = cur_page_;
  pass_objects_ = ObjectPosition();
  pass_outline_items_ = Child("outline")->Count();
  contents_->outline_added.clear();
  ResetLogicalPages();
  logical_counter_ = 0;
}

void TovxPreviewPages::DiscardFirstPass() {
  ClearCache();
  contents_->outline_added.clear();
  if (pass_started_empty_) {
    // Anchors and page totals of the first pass stay for the second.
    TovxXMLItem* root = Root();
    for (int i = root->Count() - 1; i >= 0; --i) {
      TovxXMLItem* child = root->Items(i);
      if (child->Name() != "anchors" && child->Name() != "logicalpagenumbers") child->Clear();
    }
    outline_.LevelRoot();
  } else {
    TovxXMLItem* pages = PagesItem();
    while (pages->Count() > pass_page_ + 1) delete pages->Items(pages->Count() - 1);
    if (TovxXMLItem* page = pages->Items(pass_page_)) {
      while (page->Count() > pass_objects_) delete page->Items(page->Count() - 1);
    }
    TovxXMLItem* outline = Child("outline");
    while (outline->Count() > pass_outline_items_) delete outline->Items(outline->Count() - 1);
    outline_.LevelRoot();
  }
  // The first pass's values went with its pages; values of a report the
  // pass was appended to stay, but nothing waits for the first pass's
  // events any more.
  if (pass_started_empty_) {
    contents_->post_processor.Clear();
  } else {
    contents_->post_processor.EndRun();
    contents_->post_processor.MarkBandRestart(QString());
  }
  logical_counter_ = 0;
  cur_page_ = pass_page_;
  overwrite_ = false;
  contents_->xml_size = 0;
}

void TovxPreviewPages::Finish() {
  ClearCache();
  running_page_.reset();
  // The template objects are the run's; files and later runs know only the
  // copies.
  for (auto& page : contents_->source_pages) page.template_page = nullptr;
  QHash<const TovxComponent*, int> kept;
  for (const Contents::Entry& entry : contents_->entries) {
    kept.insert(entry.source, contents_->by_name.value(entry.name));
  }
  contents_->by_object = kept;
  contents_->post_processor.EndRun();
  overwrite_ = false;
  if (report_ && report_->on_progress_stop) report_->on_progress_stop();
}

// --- logical page numbers and anchors -------------------------------------------

void TovxPreviewPages::CountLogicalPage() {
  if (double_pass_ && final_pass_) return;
  ++logical_counter_;
  TovxXMLItem* item = Child("logicalpagenumbers")->Add();
  item->SetName("page");
  item->SetProp("n", QByteArray::number(logical_counter_));
}

void TovxPreviewPages::ResetLogicalPages() {
  if (double_pass_ && final_pass_) return;
  TovxXMLItem* numbers = Child("logicalpagenumbers");
  for (int i = std::min(cur_page_, numbers->Count() - 1); i > pass_page_ && i >= 0; --i) {
    TovxXMLItem* item = numbers->Items(i);
    item->SetProp("t", QByteArray::number(logical_counter_));
    if (item->Prop("n") == "1") break;
  }
  logical_counter_ = 0;
}

int TovxPreviewPages::LogicalPageNo() const {
  const TovxXMLItem* item = Child("logicalpagenumbers")->Items(cur_page_);
  return item ? IntProp(*item, "n", 0) : cur_page_ - first_page_ + 1;
}

int TovxPreviewPages::LogicalTotalPages() const {
  const TovxXMLItem* item = Child("logicalpagenumbers")->Items(cur_page_);
  if (item) return IntProp(*item, "t", 0);
  return (engine_ ? engine_->TotalPages() : Count()) - first_page_;
}

void TovxPreviewPages::AddAnchor(const QString& text, int top) {
  TovxXMLItem* item = Child("anchors")->Add();
  item->SetName("item");
  item->SetProp("text", text.toUtf8());
  item->SetProp("page", QByteArray::number(cur_page_));
  item->SetProp("top", QByteArray::number(top));
}

int TovxPreviewPages::GetAnchorPage(const QString& text) const {
  const TovxXMLItem* anchors = Child("anchors");
  for (int i = anchors->Count() - 1; i >= 0; --i) {
    const TovxXMLItem& item = *anchors->Items(i);
    if (QString::fromUtf8(item.Prop("text")).compare(text, Qt::CaseInsensitive) == 0) {
      return IntProp(item, "page", 0) + 1;
    }
  }
  return 1;
}

int TovxPreviewPages::AnchorPosition() const { return Child("anchors")->Count() - 1; }

void TovxPreviewPages::RemoveAnchorsAfter(int index) {
  TovxXMLItem* anchors = Child("anchors");
  while (anchors->Count() > std::max(index + 1, 0)) delete anchors->Items(anchors->Count() - 1);
}

int TovxPreviewPages::OutlinePosition() const {
  return static_cast<int>(contents_->outline_added.size());
}

void TovxPreviewPages::MoveOutlineItems(int position, int to_page, int shift) {
  std::vector<TovxXMLItem*>& added = contents_->outline_added;
  for (size_t i = static_cast<size_t>(std::max(position, 0)); i < added.size(); ++i) {
    TovxXMLItem& item = *added[i];
    item.SetProp("page", QByteArray::number(to_page));
    item.SetProp("top", QByteArray::number(IntProp(item, "top", 0) + shift));
  }
}

void TovxPreviewPages::MoveAnchors(int from, int to_page, int shift) {
  TovxXMLItem* anchors = Child("anchors");
  for (int i = std::max(from + 1, 0); i < anchors->Count(); ++i) {
    TovxXMLItem& item = *anchors->Items(i);
    item.SetProp("page", QByteArray::number(to_page));
    item.SetProp("top", QByteArray::number(IntProp(item, "top", 0) + shift));
  }
}

// Outline items, anchors and logical page numbers name pages by index: a
// page inserted or deleted before them moves them along.
void TovxPreviewPages::ShiftPageReferences(int from_page, int delta) {
  const std::function<void(TovxXMLItem&)> shift_outline = [&](TovxXMLItem& parent) {
    for (int i = 0; i < parent.Count(); ++i) {
      TovxXMLItem& item = *parent.Items(i);
      const int page = IntProp(item, "page", 0);
      if (page >= from_page) item.SetProp("page", QByteArray::number(std::max(page + delta, 0)));
      shift_outline(item);
    }
  };
  shift_outline(*Child("outline"));
  TovxXMLItem* anchors = Child("anchors");
  for (int i = 0; i < anchors->Count(); ++i) {
    TovxXMLItem& item = *anchors->Items(i);
    const int page = IntProp(item, "page", 0);
    if (page >= from_page) item.SetProp("page", QByteArray::number(std::max(page + delta, 0)));
  }
}

// --- rebuilding ------------------------------------------------------------------------

void TovxPreviewPages::RebuildChildren(const TovxXMLItem& item, TovxComponent& parent,
                                       CachedPage& cached) {
  Contents& c = *contents_;
  const ovx::ClassRegistry& classes = ClassesOf(report_);
  TovxXMLSerializer serializer(classes, nullptr);
  size_t hint = c.entries.size();
  for (int i = 0; i < item.Count(); ++i) {
    TovxXMLItem* child = item.Items(i);
    const Contents::Entry* entry = c.FindAfter(child->Name(), hint);
    TovxComponent* object = nullptr;
    if (entry) {
      // The source object, then the item's own values over it.
      const ovx::MetaClass* meta = RegisteredClass(*entry->source);
      ovx::Persistent* made = meta && meta->CanCreate() ? meta->Create(&parent) : nullptr;
      if (!made) continue;
      if (!c.KindOf(*made).component) {
        delete made;
        continue;
      }
      object = static_cast<TovxComponent*>(made);
      object->Assign(*entry->source);
      if (!child->Text().isEmpty()) {
        object->SetLoading(true);
        serializer.ReadProperties(child->Text(), *object);
        object->SetLoading(false);
      }
      object->Loaded();
    } else {
      ovx::StoredObject* stored =
          serializer.ReadObjectRecord(child->Name() + ' ' + child->Text(), &parent);
      object = dynamic_cast<TovxComponent*>(stored);
      if (!object) {
        delete stored;
        continue;
      }
    }
    if (entry && object->Name().isEmpty()) {
      try {
        object->SetName(entry->source->Name());
      } catch (const ovx::Error&) {
        // The same source object shown twice on one page: one keeps the name.
      }
    }
    // The view takes its deferred value; one standing for a repeat of the
    // view before it leaves the page.
    const Contents::ClassKind& kind = c.KindOf(*object);
    if (kind.view && c.post_processor.RestoreView(static_cast<TovxView&>(*object))) {
      delete object;
      continue;
    }
    if (kind.picture_view) {
      auto* picture = static_cast<TovxPictureView*>(object);
      if (picture->Picture().IsEmpty()) c.pictures.GetPicture(*picture);
    }
    cached.items.insert(object, child);
    RebuildChildren(*child, *object, cached);
  }
}

std::unique_ptr<TovxReportPage> TovxPreviewPages::Rebuild(int index, CachedPage& cached) {
  Contents& c = *contents_;
  TovxXMLItem* item = PageItem(index);
  if (!item) return nullptr;
  auto page = std::make_unique<TovxReportPage>();
  if (IsWholePageName(item->Name())) {
    TovxXMLSerializer serializer(ClassesOf(report_), nullptr);
    serializer.ReadComponentTree(*page, *item);
    try {
      page->SetName(QString::fromUtf8(item->Prop("Name")));
    } catch (const ovx::Error&) {
    }
    return page;
  }
  bool ok = false;
  const int k = item->Name().mid(4).toInt(&ok);
  if (!ok || k < 0 || k >= static_cast<int>(c.source_pages.size())) return page;
  const TovxReportPage& source = *c.source_pages[static_cast<size_t>(k)].copy;
  page->Assign(source);
  try {
    page->SetName(source.Name());
  } catch (const ovx::Error&) {
  }
  if (item->Text().size() > 10) {
    TovxXMLSerializer serializer(ClassesOf(report_), nullptr);
    serializer.ReadProperties(item->Text(), *page);
  }
  // Repeats are merged, cleared or hidden within one page: the next page
  // shows its first copy again. Also when a rebuild throws.
  struct Reset {
    TovxPostProcessor& processor;
    ~Reset() { processor.ResetRunState(); }
  } reset{c.post_processor};
  RebuildChildren(*item, *page, cached);
  return page;
}

TovxReportPage* TovxPreviewPages::GetPage(int index) {
  if (index < 0 || index >= Count()) return nullptr;
  if (EngineRunning()) {
    running_page_ = std::make_unique<CachedPage>();
    running_page_->index = index;
    running_page_->page = Rebuild(index, *running_page_);
    return running_page_->page.get();
  }
  const auto front = [&]() -> size_t {
    return !cache_.empty() && cache_.front()->index == locked_page_ && locked_page_ != index ? 1
                                                                                             : 0;
  };
  for (size_t i = 0; i < cache_.size(); ++i) {
    if (cache_[i]->index != index) continue;
    std::unique_ptr<CachedPage> hit = std::move(cache_[i]);
    cache_.erase(cache_.begin() + static_cast<std::ptrdiff_t>(i));
    TovxReportPage* page = hit->page.get();
    cache_.insert(cache_.begin() + static_cast<std::ptrdiff_t>(std::min(front(), cache_.size())),
                  std::move(hit));
    return page;
  }
  auto cached = std::make_unique<CachedPage>();
  cached->index = index;
  cached->page = Rebuild(index, *cached);
  TovxReportPage* page = cached->page.get();
  cache_.insert(cache_.begin() + static_cast<std::ptrdiff_t>(std::min(front(), cache_.size())),
                std::move(cached));
  const size_t capacity =
      static_cast<size_t>(std::max(report_ ? report_->PreviewOptions().PagesInCache() : 50, 1));
  // Never the page just rebuilt, never the locked one.
  for (size_t i = cache_.size(); cache_.size() > capacity && i-- > 0;) {
    if (cache_[i]->index == index || cache_[i]->index == locked_page_) continue;
    ReleaseItem(PagesItem()->Items(cache_[i]->index));
    cache_.erase(cache_.begin() + static_cast<std::ptrdiff_t>(i));
  }
  return page;
}

void TovxPreviewPages::ReleaseItem(TovxXMLItem* item) {
  if (!item || !report_ || !report_->EngineOptions().UseFileCache()) return;
  if (!item->Unloadable() || contents_->not_swappable.contains(item)) return;
  contents_->document.UnloadItem(item);
}

void TovxPreviewPages::ClearCache() {
  for (size_t i = cache_.size(); i-- > 0;) {
    if (cache_[i]->index == locked_page_) continue;
    ReleaseItem(PagesItem()->Items(cache_[i]->index));
    cache_.erase(cache_.begin() + static_cast<std::ptrdiff_t>(i));
  }
  last_mouse_object_ = nullptr;
}

QSize TovxPreviewPages::GetPageSize(int index) {
  TovxXMLItem* item = PagesItem()->Items(index);
  if (!item) return {0, 0};
  const auto pixels = [](double mm) { return Pixels(mm * ov01cm); };
  if (IsWholePageName(item->Name())) {
    const TovxReportPage* page = GetPage(index);
    return page ? QSize(pixels(page->PaperWidth()), pixels(page->PaperHeight())) : QSize();
  }
  bool ok = false;
  const int k = item->Name().mid(4).toInt(&ok);
  const auto& sources = contents_->source_pages;
  if (!ok || k < 0 || k >= static_cast<int>(sources.size())) return {0, 0};
  const TovxReportPage& source = *sources[static_cast<size_t>(k)].copy;
  return {pixels(NumberProp(*item, "PaperWidth", source.PaperWidth())),
          pixels(NumberProp(*item, "PaperHeight", source.PaperHeight()))};
}

// --- drawing ------------------------------------------------------------------------------

namespace {

constexpr ovx::Color kEditHighlightColor = clBlue;

// An object the user may edit in the preview gets a dotted outline over
// whatever it drew, so that its own frame and text stay readable.
void DrawEditHighlight(ovx::Canvas& canvas, const ovx::PixelRect& rect) {
  const ovx::CanvasPen pen = canvas.Pen();
  const ovx::CanvasBrush brush = canvas.Brush();
  canvas.Pen() = ovx::CanvasPen{};
  canvas.Pen().color = kEditHighlightColor;
  canvas.Pen().style = ovx::PenStyle::kDot;
  canvas.Brush().style = TovxBrushStyle::bsClear;
  canvas.Rectangle(rect);
  canvas.Pen() = pen;
  canvas.Brush() = brush;
}

}  // namespace

void TovxPreviewPages::DrawPage(int index, ovx::Canvas& canvas, double scale_x, double scale_y,
                                double offset_x, double offset_y, bool highlight) {
  TovxReportPage* page = GetPage(index);
  if (!page) return;
  const int saved_lock = locked_page_;
  locked_page_ = index;  // drawing may rebuild nothing else, but stay safe
  const bool mirror = page->MirrorMargins() && index % 2 == 1;
  if (mirror) {
    const double left = page->LeftMargin();
    page->SetLeftMargin(page->RightMargin());
    page->SetRightMargin(left);
  }
  const bool printing = canvas.IsPrinter();
  std::optional<QRegion> saved_clip;
  if (!printing) {
    saved_clip = canvas.ClipRegion();
    canvas.IntersectClipRect(
        ovx::PixelRect{Pixels(offset_x), Pixels(offset_y),
                       Pixels(page->PaperWidth() * ov01cm * scale_x + offset_x - 1),
                       Pixels(page->PaperHeight() * ov01cm * scale_y + offset_y - 1)});
  }
  page->Draw(canvas, scale_x, scale_y, offset_x, offset_y);
  TovxCustomMemoView::PrintState print_state{Count(), copy_no_, std::nullopt, print_scale_};
  print_state.copy_name = ovx::CopyNameVariable(report_ ? &report_->Variables() : nullptr);
  const double x = offset_x + page->LeftMargin() * ov01cm * scale_x;
  const double y = offset_y + page->TopMargin() * ov01cm * scale_y;
  for (TovxComponent* object : page->AllObjects()) {
    auto* view = dynamic_cast<TovxView*>(object);
    if (!view) continue;
    const double left = view->AbsLeft() * scale_x + x;
    const double top = view->AbsTop() * scale_y + y;
    const ovx::PixelRect grown{Pixels(left - 20), Pixels(top - 20),
                               Pixels(left + view->Width() * scale_x + 20),
                               Pixels(top + view->Height() * scale_y + 20)};
    if (!canvas.RectVisible(grown)) continue;
    const TovxVisibilityType needed =
        printing ? TovxVisibilityType::vsPrint : TovxVisibilityType::vsPreview;
    if (!view->Visibility().Contains(needed)) continue;
    // Memo views drawn inside another view (its cells) take the same state.
    std::vector<TovxCustomMemoView*> memos;
    if (auto* memo = dynamic_cast<TovxCustomMemoView*>(view)) memos.push_back(memo);
    for (TovxComponent* inner : view->AllObjects()) {
      if (auto* memo = dynamic_cast<TovxCustomMemoView*>(inner)) memos.push_back(memo);
    }
    // The memos point at this function's state: taken back even on a throw.
    struct Unmark {
      TovxView* view;
      const std::vector<TovxCustomMemoView*>& memos;
      ~Unmark() {
        view->SetPrinting(false);
        for (TovxCustomMemoView* memo : memos) memo->SetPrintState(nullptr);
      }
    } unmark{view, memos};
    for (TovxCustomMemoView* memo : memos) memo->SetPrintState(&print_state);
    view->SetPrinting(printing);
    view->Draw(canvas, scale_x, scale_y, x, y);
    if (highlight && !view->Restrictions().Contains(TovxRestriction::rfDontEditInPreview)) {
      DrawEditHighlight(
          canvas, ovx::PixelRect{Pixels(left), Pixels(top), Pixels(left + view->Width() * scale_x),
                                 Pixels(top + view->Height() * scale_y)});
    }
  }
  if (mirror) {
    const double left = page->LeftMargin();
    page->SetLeftMargin(page->RightMargin());
    page->SetRightMargin(left);
  }
  if (!printing) canvas.SelectClipRegion(saved_clip);
  locked_page_ = saved_lock;
}

// --- changing pages -------------------------------------------------------------------------

void TovxPreviewPages::ModifyObject(const TovxComponent& object) {
  for (auto& cached : cache_) {
    const auto it = cached->items.constFind(&object);
    if (it == cached->items.constEnd()) continue;
    TovxXMLItem* item = *it;
    const Contents::Entry* entry = contents_->Find(item->Name());
    // A view with a value list keeps an index in its item: its text
    // becomes a new entry for the time of writing.
    auto* memo = dynamic_cast<TovxCustomMemoView*>(const_cast<TovxComponent*>(&object));
    std::optional<QStringList> lines;
    if (memo && memo->NeedsPostProcessing() && !memo->Name().isEmpty()) {
      QString text = memo->Text();
      if (text.endsWith(QStringLiteral("\r\n"))) text.chop(2);
      const int index = contents_->post_processor.AddEntry(memo->Name(), text);
      if (index >= 0) {
        lines = memo->Lines();
        memo->SetText(QString::number(index));
      }
    }
    struct PutBack {
      TovxCustomMemoView* memo;
      std::optional<QStringList>& lines;
      ~PutBack() {
        if (lines) memo->SetLines(*lines);
      }
    } put_back{memo, lines};
    if (entry && !dynamic_cast<const TovxPictureView*>(&object)) {
      item->SetText(object.DifferenceText(*entry->source));
    } else {
      TovxXMLSerializer serializer(ClassesOf(report_), nullptr);
      const QByteArray record = serializer.ObjectToString(object);
      const qsizetype space = record.indexOf(' ');
      item->SetName(space < 0 ? record : record.left(space));
      item->SetText(space < 0 ? QByteArray() : record.mid(space + 1));
    }
    contents_->not_swappable.insert(PagesItem()->Items(cached->index));
    return;
  }
}

void TovxPreviewPages::ModifyPage(int index, const TovxReportPage& page) {
  TovxXMLItem* item = PagesItem()->Items(index);
  if (!item) return;
  // `page` may be a page of the cache: written out before the cache goes.
  auto whole = std::make_unique<TovxXMLItem>();
  TovxXMLSerializer serializer(ClassesOf(report_), nullptr);
  serializer.WriteComponentTree(page, true, *whole);
  ClearCache();
  item->Clear();
  item->SetName(whole->Name());
  item->SetText(whole->Text());
  while (whole->Count() > 0) item->AddItem(whole->Items(0));
  contents_->not_swappable.insert(item);
}

void TovxPreviewPages::InsertEmptyPage(int index) {
  TovxXMLItem* pages = PagesItem();
  const TovxXMLItem* like = pages->Items(index);
  if (!like) return;
  ClearCache();
  auto* item = new TovxXMLItem();
  item->SetName(IsWholePageName(like->Name()) ? QByteArray("page0") : like->Name());
  if (IsWholePageName(like->Name()) && contents_->source_pages.empty()) {
    item->SetName(like->Name());
    item->SetText(like->Text());
  }
  pages->InsertItem(index, item);
  ShiftPageReferences(index, 1);
  TovxXMLItem* numbers = Child("logicalpagenumbers");
  if (index <= numbers->Count()) {
    auto* number = new TovxXMLItem();
    number->SetName("page");
    number->SetProp("n", "1");
    number->SetProp("t", "1");
    numbers->InsertItem(index, number);
  }
}

void TovxPreviewPages::DeletePage(int index) {
  TovxXMLItem* pages = PagesItem();
  if (pages->Count() < 2 || !pages->Items(index)) return;
  ClearCache();
  contents_->not_swappable.remove(pages->Items(index));
  delete pages->Items(index);
  // References to the deleted page go to the page that takes its place.
  ShiftPageReferences(index + 1, -1);
  TovxXMLItem* numbers = Child("logicalpagenumbers");
  if (TovxXMLItem* number = numbers->Items(index)) delete number;
  if (cur_page_ >= Count()) cur_page_ = Count() - 1;
}

void TovxPreviewPages::AppendReport(TovxPreviewPages& other) {
  ClearCache();
  const int shift = Count();
  TovxXMLSerializer serializer(ClassesOf(report_), nullptr);
  for (int i = 0; i < other.Count(); ++i) {
    const TovxReportPage* page = other.GetPage(i);
    TovxXMLItem* item = PagesItem()->Add();
    if (page) serializer.WriteComponentTree(*page, true, *item);
    if (item->Name().isEmpty()) item->SetName("TovxReportPage");
    contents_->not_swappable.insert(item);
  }
  other.ClearCache();
  TovxXMLItem* anchors = Child("anchors");
  const TovxXMLItem* their_anchors = other.Child("anchors");
  for (int i = 0; i < their_anchors->Count(); ++i) {
    const TovxXMLItem& from = *their_anchors->Items(i);
    TovxXMLItem* item = anchors->Add();
    item->SetName("item");
    item->SetText(from.Text());
    item->SetProp("page", QByteArray::number(IntProp(from, "page", 0) + shift));
  }
  const std::function<void(const TovxXMLItem&, TovxXMLItem&)> copy_outline =
      [&](const TovxXMLItem& from, TovxXMLItem& to) {
        for (int i = 0; i < from.Count(); ++i) {
          const TovxXMLItem& source = *from.Items(i);
          TovxXMLItem* item = to.Add();
          item->SetName("item");
          item->SetText(source.Text());
          item->SetProp("page", QByteArray::number(IntProp(source, "page", 0) + shift));
          copy_outline(source, *item);
        }
      };
  copy_outline(*other.Child("outline"), *outline_.CurrentItem());
  TovxXMLItem* numbers = Child("logicalpagenumbers");
  const TovxXMLItem* their_numbers = other.Child("logicalpagenumbers");
  for (int i = 0; i < their_numbers->Count(); ++i) {
    TovxXMLItem* item = numbers->Add();
    item->SetName("page");
    item->SetText(their_numbers->Items(i)->Text());
  }
  last_y_ = other.last_y_;
  cur_page_ = Count() - 1;
}

// --- mouse ---------------------------------------------------------------------------------------

TovxPreviewPages::MouseResult TovxPreviewPages::HandleMouse(int index, MouseEvent event, double x,
                                                            double y, double scale) {
  MouseResult result;
  if (EngineRunning() || scale <= 0) return result;
  locked_page_ = index;
  TovxReportPage* page = GetPage(index);
  if (!page) return result;
  const double px = x / scale - page->LeftMargin() * ov01cm;
  const double py = y / scale - page->TopMargin() * ov01cm;
  TovxView* found = nullptr;
  const TovxGroupHeader* drill = nullptr;
  for (TovxComponent* object : page->AllObjects()) {
    if (auto* header = dynamic_cast<const TovxGroupHeader*>(object)) {
      const double left = header->AbsLeft();
      const double top = header->AbsTop();
      if (header->DrillDown() && !header->DrillName().isEmpty() && px >= left &&
          px < left + header->Width() && py >= top && py < top + header->Height()) {
        drill = header;
      }
      continue;
    }
    auto* view = dynamic_cast<TovxView*>(object);
    if (!view) continue;
    const double left = view->AbsLeft();
    const double top = view->AbsTop();
    if (px >= left && px < left + view->Width() && py >= top && py < top + view->Height()) {
      found = view;  // the last one drawn is on top
    }
  }
  last_mouse_object_ = found;
  result.object = found;
  if (drill) result.drill_name = drill->DrillName();
  if (!found) return result;
  if (preview_click && (event == MouseEvent::kClick || event == MouseEvent::kDoubleClick)) {
    if (preview_click(*found, event == MouseEvent::kDoubleClick)) {
      ModifyObject(*found);
      result.modified = true;
    }
  }
  const TovxHyperlink& link = found->Hyperlink();
  result.cursor = found->Cursor();
  if (!link.Value().isEmpty()) result.hand = true;
  if (event != MouseEvent::kClick || link.Value().isEmpty()) return result;
  const QString value = link.Value();
  switch (link.Kind()) {
    case TovxHyperlinkKind::hkURL: {
      const QString lower = value.trimmed().toLower();
      const bool web = lower.startsWith(u"http://") || lower.startsWith(u"https://") ||
                       lower.startsWith(u"mailto:");
      // Anything else may start a program or open a local file.
      if (!web && !(confirm_open && confirm_open(value))) break;
      if (open_url) open_url(value);
      break;
    }
    case TovxHyperlinkKind::hkAnchor: {
      const TovxXMLItem* anchors = Child("anchors");
      for (int i = anchors->Count() - 1; i >= 0; --i) {
        const TovxXMLItem& item = *anchors->Items(i);
        if (QString::fromUtf8(item.Prop("text")).compare(value, Qt::CaseInsensitive) == 0) {
          const int target = IntProp(item, "page", 0);
          // An anchor from a file may name a page that is not there.
          if (target >= 0 && target < Count()) {
            result.go_to_page = target;
            result.go_to_top = IntProp(item, "top", 0);
          }
          break;
        }
      }
      break;
    }
    case TovxHyperlinkKind::hkPageNumber: {
      bool ok = false;
      const int number = value.toInt(&ok);
      if (ok && number >= 1 && number <= Count()) result.go_to_page = number - 1;
      break;
    }
    default:
      // Detail reports and pages open in the preview, which comes later.
      break;
  }
  return result;
}

// --- export -------------------------------------------------------------------------------

namespace {
ovx::PagesExporter pages_exporter = nullptr;
}  // namespace

void ovx::SetPagesExporter(PagesExporter exporter) { pages_exporter = exporter; }

bool TovxPreviewPages::Export(TovxCustomExportFilter& filter) {
  if (!pages_exporter) {
    throw ovx::Error("", "No export filters are installed in this program");
  }
  return pages_exporter(*this, filter);
}

// --- printing -----------------------------------------------------------------------------

namespace {
ovx::PagesPrinter pages_printer = nullptr;
}  // namespace

void ovx::SetPagesPrinter(PagesPrinter printer) { pages_printer = printer; }

bool ovx::PrintingInstalled() { return pages_printer != nullptr; }

bool TovxPreviewPages::Print() {
  if (!pages_printer) throw ovx::Error("", "No printing is installed in this program");
  return pages_printer(*this);
}
