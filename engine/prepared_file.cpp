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
#include "report/model/report.h"
#include "report/storage/xml_document.h"
#include "report/storage/xml_error.h"
#include "report/storage/xml_escape.h"
#include "report/storage/xml_serializer.h"

#include <QFileInfo>
#include <QHash>

#include <optional>
#include <utility>
#include <vector>

using ovx::engine_internal::ClassesOf;
using ovx::engine_internal::StoredTextOf;

namespace {

// Root children in the order they are written, so that saving a loaded
// file gives the same bytes whatever order they were made in.
constexpr const char* kRootOrder[] = {"previewpages",       "outline",      "anchors",
                                      "logicalpagenumbers", "report",       "sourcepages",
                                      "dictionary",         "picturecache", "postprocessing"};

bool ValidHex(const QByteArray& text) {
  if (text.size() % 2 != 0) return false;
  for (const char ch : text) {
    if (!((ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'F') || (ch >= 'a' && ch <= 'f'))) {
      return false;
    }
  }
  return true;
}

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
  for (const auto& page : c.source_pages) {
    TovxXMLItem* element = sources->Add();
    serializer.WriteComponentTree(*page.copy, true, *element);
    // The top element of a tree carries no name; a source page needs its own.
    element->SetText("Name=\"" + ovx::XmlEscape(page.copy->Name().toUtf8()) + "\" " +
                     element->Text());
  }
  TovxXMLItem* dictionary = Child("dictionary");
  dictionary->Clear();
  for (const Contents::Entry& entry : c.entries) {
    TovxXMLItem* item = dictionary->Add();
    item->SetName(entry.name);
    item->SetProp("name", entry.source_name.toUtf8());
  }
  TovxXMLItem* pictures = Child("picturecache");
  pictures->Clear();
  for (int i = 1; i <= c.pictures.Count(); ++i) {
    TovxXMLItem* item = pictures->Add();
    item->SetName("item");
    item->SetProp("stream", c.pictures.Bytes(i).toHex().toUpper());
  }
}

void TovxPreviewPages::SaveToStream(ovx::Stream& stream) {
  WriteStateElements();
  contents_->document.SaveToStream(stream);
  // The copies are the live state; the written elements were only for the file.
  Child("sourcepages")->Clear();
  Child("picturecache")->Clear();
}

void TovxPreviewPages::SaveToFile(const QString& file_name) {
  WriteStateElements();
  contents_->document.SaveToFile(file_name);
  Child("sourcepages")->Clear();
  Child("picturecache")->Clear();
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
    for (int i = 0; i < sources->Count(); ++i) {
      const TovxXMLItem& element = *sources->Items(i);
      auto page = std::make_unique<TovxReportPage>();
      if (element.Name().compare("TovxReportPage", Qt::CaseInsensitive) == 0) {
        serializer.ReadComponentTree(*page, element);
        try {
          page->SetName(QString::fromUtf8(element.Prop("Name")));
        } catch (const ovx::Error&) {
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
    for (int i = 0; i < dictionary->Count(); ++i) {
      const TovxXMLItem& item = *dictionary->Items(i);
      const QString source_name = QString::fromUtf8(item.Prop("name"));
      const qsizetype dot = source_name.indexOf(u'.');
      bool ok = false;
      const int k =
          dot > 4 && source_name.startsWith(u"Page") ? source_name.mid(4, dot - 4).toInt(&ok) : -1;
      TovxComponent* source = nullptr;
      if (ok && k >= 0 && k < static_cast<int>(c.source_pages.size())) {
        source = find_source(static_cast<size_t>(k), source_name.mid(dot + 1));
      }
      if (!source || item.Name().isEmpty() || c.by_name.contains(item.Name())) {
        errors << QStringLiteral("Bad dictionary entry %1 %2")
                      .arg(QString::fromUtf8(item.Name()), source_name);
        continue;
      }
      c.entries.push_back({item.Name(), source_name, source, StoredTextOf(*source, report_)});
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
