// The prepared pages store: the finished pages of a prepared report.
//
// Design: everything lives in one XML document (root "preparedreport").
// Data flow of a run:
//  - AddSourcePage copies every template page the engine uses once into a
//    source page, object by object through the property metadata (Assign,
//    never a text round trip). Each copy gets a short dictionary name ("m1",
//    "b3"); `by_object` maps the template object (and its copy) to its entry.
//    The registry class of each object class is looked up once per store
//    (RegisteredClass).
//  - AddObject writes a prepared object as an element named by its
//    dictionary name whose attributes are only its differences from the
//    source copy (DifferenceText), so a body page of 180 cells costs a few
//    kilobytes; objects without an entry are written whole.
//  - GetPage rebuilds a page as page objects only when asked for: each
//    object is created, assigned from its source copy and given the item's
//    own values; a bounded number of rebuilt pages is cached, most recently
//    used first. While the engine runs, a rebuilt page is never cached.
//  - Finish forgets the template objects: files and later runs know only
//    the source copies.
//
// With the file cache, page elements are swapped out to the document's
// temporary file once more than MaxMemSize megabytes were added, and read
// back when a page is rebuilt. Pages after the second are marked swappable
// in the file too, so that a partial load leaves their objects in the file
// until the page is used; nothing but page elements is ever left there.
//
// Loading a prepared report (".op3") treats the file as hostile: it is read
// into a fresh set of contents, every index and name in it is checked (bad
// entries are skipped and reported), and the store's contents are replaced
// only when the document loaded.
#pragma once

#include "base/meta_class.h"
#include "engine/picture_cache.h"
#include "report/storage/xml_document.h"

#include <QByteArray>
#include <QHash>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class TovxComponent;
class TovxCustomExportFilter;
class TovxEngine;
class TovxPictureView;
class TovxPostProcessor;
class TovxView;
class TovxReport;
class TovxReportPage;

namespace ovx {
class Canvas;
class MetaClass;
class Stream;
}  // namespace ovx

class TovxPreviewPages;

// The outline (table of contents) kept in the store's "outline" element.
// Scripts reach it (and the store) through handles.
class TovxOutline : public ovx::Persistent {
  OVX_META_CLASS

 public:
  explicit TovxOutline(TovxPreviewPages& pages) : pages_(pages) {}

  // Adds a child of the current item at the store's current page and makes
  // it current.
  void AddItem(const QString& text, int top);
  void LevelRoot();
  void LevelUp();
  void LevelDown(int index);
  // Children of the current item.
  int Count() const;
  void GetItem(int index, QString& text, int& page, int& top) const;
  TovxXMLItem* CurrentItem() const;
  void SetCurrentItem(TovxXMLItem* item) { current_ = item; }
  TovxPreviewPages& Pages() const { return pages_; }

 private:
  TovxXMLItem* Current() const;

  TovxPreviewPages& pages_;
  TovxXMLItem* current_ = nullptr;
};

class TovxPreviewPages : public ovx::Persistent {
  OVX_META_CLASS

 public:
  explicit TovxPreviewPages(TovxReport* report);
  ~TovxPreviewPages();
  TovxPreviewPages(const TovxPreviewPages&) = delete;
  TovxPreviewPages& operator=(const TovxPreviewPages&) = delete;

  TovxReport* Report() const { return report_; }
  void SetEngine(TovxEngine* engine) { engine_ = engine; }
  TovxEngine* Engine() const { return engine_; }

  // --- reading ------------------------------------------------------------------
  int Count() const;
  // The rebuilt page, owned by the page cache: valid until the cache drops
  // it (the page just returned and a locked page are never dropped by the
  // next call). Null for an index outside the pages.
  TovxReportPage* GetPage(int index);
  // Pixels at 96 per inch; 0 x 0 outside the pages.
  QSize GetPageSize(int index);
  // Draws a page (background, then every visible view) with its top-left
  // paper corner at the offset.
  void DrawPage(int index, ovx::Canvas& canvas, double scale_x, double scale_y, double offset_x,
                double offset_y, bool highlight = false);

  // The copy being printed (0 outside printing) and the factor of the page
  // being printed (1 unless it is scaled to the sheet); printing sets them,
  // memo views drawn by DrawPage take them.
  int CopyNo() const { return copy_no_; }
  void SetCopyNo(int copy_no) { copy_no_ = copy_no; }
  double PrintScale() const { return print_scale_; }
  void SetPrintScale(double print_scale) { print_scale_ = print_scale; }

  // The page a preview shows (from 1), which it sets; 0 while no preview
  // shows the pages. Exporting the current page reads it.
  int CurPreviewPage() const { return cur_preview_page_; }
  void SetCurPreviewPage(int page) { cur_preview_page_ = page; }
  // Runs `filter` over the pages: true when the run reached its end or the
  // user cancelled it, false when a dialog was cancelled or it failed (the
  // errors are in the report's list). The export module installs the run
  // (ovx::InstallExport), as the engine cannot see filters; without it
  // this throws ovx::Error.
  [[nodiscard]] bool Export(TovxCustomExportFilter& filter);
  // Prints the pages with the report's print options (printer, dialog,
  // mode, copies, ranges): true when the job ran, also when the user
  // cancelled it on the way; false when nothing was printed because no
  // printer is installed, a dialog was cancelled or the job failed (the
  // error went to the report's ShowErrorText). The print module installs
  // the job (ovx::InstallPrinting); without it this throws ovx::Error.
  [[nodiscard]] bool Print();

  // --- building (the engine) ------------------------------------------------------
  void Clear();
  // Takes the picture cache mode and temporary folder from the report.
  void Initialize();
  void AddSourcePage(const TovxReportPage& page);
  // Registers an object created during the run in the last source page.
  void AddToSourcePage(const TovxComponent& object);
  void AddPage(const TovxReportPage& page);
  // Adds a shown object (with its children) to the current page, moved down
  // by `offset_y`. The objects of a null band are added on their own, at
  // the band's position.
  void AddObject(const TovxComponent& object, double offset_y = 0);
  // Adds one part of a band split over pages: the band moved down by
  // `offset_y` with only `children` of its objects; the band itself keeps
  // all of them.
  void AddObjectPart(const TovxComponent& object, double offset_y,
                     const std::vector<TovxComponent*>& children);
  void AddPicture(TovxPictureView& view);
  // A copy the engine made of `source` during the run is stored, like its
  // source, as its differences from the source's source object; ForgetCopy
  // before the copy is freed.
  void ShareSource(const TovxComponent& copy, const TovxComponent& source);
  void ForgetCopy(const TovxComponent& copy);
  // How AddPage goes on from a page that is not the last: append a page
  // at the end (the default), or overwrite, reusing the next existing page
  // (output that returns to an earlier page and runs on over pages made
  // already). Clear, DiscardFirstPass and Finish return to appending.
  enum class AddMode { kAppend, kOverwrite };
  AddMode GetAddMode() const { return overwrite_ ? AddMode::kOverwrite : AddMode::kAppend; }
  void SetAddMode(AddMode mode) { overwrite_ = mode == AddMode::kOverwrite; }
  void BeginPass();
  void DiscardFirstPass();
  void Finish();
  // Pass state of the run: in a double-pass run logical page numbers are
  // counted in the first pass only, so the second sees the totals.
  bool FinalPass() const { return final_pass_; }
  void SetFinalPass(bool final_pass) { final_pass_ = final_pass; }
  void SetDoublePass(bool double_pass) { double_pass_ = double_pass; }
  // The paper size of the current page when it is not its source page's
  // (an endless page gets the size it used), in millimetres.
  void SetPageSize(double width_mm, double height_mm);
  // Where output stopped on the current page of a page with columns: the
  // column (from 1) and its x. A report page printed on the previous page
  // goes on there.
  void SetPageColumn(int column, double x);
  // The column and x recorded for page `index`; false when none is (or
  // what a file holds there is unreadable).
  bool PageColumn(int index, int& column, double& x) const;
  int ObjectPosition() const;
  int CutObjects(int position);
  void RemoveObjectsFrom(int position);
  void PasteObjects(double x, double y);
  double LastUsedY(double x) const;

  int CurPage() const { return cur_page_; }
  void SetCurPage(int page) { cur_page_ = page; }
  int FirstPage() const { return first_page_; }
  void SetFirstPage(int page) { first_page_ = page; }

  // The values of views filled in after the run (post_processor.h); part of
  // the contents, so Clear and loading a file replace it.
  TovxPostProcessor& PostProcessor();

  // --- outline, anchors, page numbers ---------------------------------------------
  TovxOutline& Outline() { return outline_; }
  void AddAnchor(const QString& text, int top);
  int GetAnchorPage(const QString& text) const;
  // Index of the last anchor (-1 for none).
  int AnchorPosition() const;
  void RemoveAnchorsAfter(int index);
  // Moves the anchors after index `from` to `to_page`, down by `shift`
  // (objects cut and pasted elsewhere).
  void MoveAnchors(int from, int to_page, int shift);
  // Outline items added so far in this pass; MoveOutlineItems moves those
  // added after `position` as MoveAnchors moves anchors.
  int OutlinePosition() const;
  void MoveOutlineItems(int position, int to_page, int shift);
  void CountLogicalPage();
  void ResetLogicalPages();
  int LogicalPageNo() const;
  int LogicalTotalPages() const;

  // --- changing pages -------------------------------------------------------------
  // Rewrites the item of an object of a rebuilt page from its current state.
  void ModifyObject(const TovxComponent& object);
  void ModifyPage(int index, const TovxReportPage& page);
  void InsertEmptyPage(int index);
  void DeletePage(int index);
  void AppendReport(TovxPreviewPages& other);
  void ClearCache();

  // --- mouse ------------------------------------------------------------------------
  enum class MouseEvent { kMove, kClick, kDoubleClick, kDown, kUp };
  struct MouseResult {
    TovxComponent* object = nullptr;  // under the mouse, or null
    int cursor = 0;                   // the object's Cursor; -21 (hand) for links
    bool hand = false;
    QString hint;
    int go_to_page = -1;  // a link asks the preview to show this page (0-based)
    int go_to_top = 0;
    // The DrillName of a drill-down group header under the mouse (or of
    // the header the object lies on); a click asks to toggle it.
    QString drill_name;
    // A click event changed the object.
    bool modified = false;
  };
  // `x`, `y` in pixels of the page drawn at `scale` with its corner at 0, 0.
  MouseResult HandleMouse(int index, MouseEvent event, double x, double y, double scale);
  // A click or double click on a prepared view, for the report's script;
  // answers whether the view was changed (its page item is then rewritten).
  std::function<bool(TovxView& view, bool double_click)> preview_click;
  // Opens an address with the system shell (the host's).
  std::function<void(const QString&)> open_url;
  // Asks the user before anything other than a web or mail address is
  // opened; answering false keeps it closed.
  std::function<bool(const QString&)> confirm_open;
  void LockPage(int index) { locked_page_ = index; }

  // --- files ------------------------------------------------------------------------
  // Replaces the contents with a prepared report. Throws (and keeps the
  // current contents) when the document is malformed; bad entries of a
  // well-formed document are skipped and listed in LoadErrors().
  // With `allow_partial_loading`, the objects of pages marked swappable stay
  // in `stream` until their page is used: the stream must then stay open and
  // unchanged until the store is cleared, loaded again or destroyed. A page
  // whose part of the stream turns out damaged then is reported (LoadErrors,
  // the report's errors) and gives no page.
  void LoadFromStream(ovx::Stream& stream, bool allow_partial_loading = false);
  void SaveToStream(ovx::Stream& stream);
  // False for a missing file (or the file error with `exception_if_not_found`).
  bool LoadFromFile(const QString& file_name, bool exception_if_not_found = false);
  // Writes a temporary file beside the target and renames it into place.
  void SaveToFile(const QString& file_name);
  const QStringList& LoadErrors() const { return load_errors_; }

  // The item of page `index` with its objects in memory (read back from the
  // file or the swap file when needed); null outside the pages or when that
  // part is damaged, which is reported as for partial loading.
  TovxXMLItem* PageItem(int index);

  // The document, for tools and tests that look at the stored items.
  TovxXMLDocument& Document();
  // The stored text of a source object by dictionary name (empty if none).
  QByteArray SourceText(const QByteArray& dictionary_name) const;
  // Bytes of the page items in memory (the swap estimate), for tests.
  qint64 XmlSize() const;

  // Internal: the stored contents and a rebuilt page of the cache.
  struct Contents;
  struct CachedPage;

 private:
  friend class TovxOutline;

  TovxXMLItem* Root() const;
  TovxXMLItem* PagesItem() const;
  TovxXMLItem* Child(const char* name) const;
  TovxXMLItem* CurrentPageItem() const;
  bool EngineRunning() const;
  const ovx::MetaClass* RegisteredClass(const TovxComponent& object) const;
  void AddObjectItem(const TovxComponent& object, TovxXMLItem& parent, double offset_y,
                     const std::vector<TovxComponent*>* children = nullptr);
  void RebuildChildren(const TovxXMLItem& item, TovxComponent& parent, CachedPage& page);
  std::unique_ptr<TovxReportPage> Rebuild(int index, CachedPage& cached);
  void SwapOutOldPages();
  void ReleaseItem(TovxXMLItem* item);
  void ShiftPageReferences(int from_page, int delta);
  void WriteStateElements();
  void ReadContents(Contents& into, QStringList& errors);

  TovxReport* report_;
  TovxEngine* engine_ = nullptr;
  std::unique_ptr<Contents> contents_;
  std::vector<std::unique_ptr<CachedPage>> cache_;
  // The page rebuilt while the engine runs (never cached then).
  std::unique_ptr<CachedPage> running_page_;
  TovxOutline outline_;
  int cur_page_ = -1;
  int first_page_ = 0;
  bool overwrite_ = false;
  bool final_pass_ = true;
  bool double_pass_ = false;
  int locked_page_ = -1;
  int logical_counter_ = 0;
  double last_y_ = 0;
  int copy_no_ = 0;
  double print_scale_ = 1;
  int cur_preview_page_ = 0;
  // Pass bookkeeping: the page before the pass, its object count.
  int pass_page_ = -1;
  int pass_objects_ = 0;
  int pass_outline_items_ = 0;
  bool pass_started_empty_ = true;
  TovxComponent* last_mouse_object_ = nullptr;
  QStringList load_errors_;
};

namespace ovx {

// The run behind TovxPreviewPages::Export, installed by the export module.
using PagesExporter = bool (*)(TovxPreviewPages& pages, TovxCustomExportFilter& filter);
void SetPagesExporter(PagesExporter exporter);

// The job behind TovxPreviewPages::Print, installed by the print module.
using PagesPrinter = bool (*)(TovxPreviewPages& pages);
void SetPagesPrinter(PagesPrinter printer);
// Whether a print job is installed (the preview disables printing without).
bool PrintingInstalled();

}  // namespace ovx
