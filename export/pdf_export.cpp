// The PDF export filter and its settings; see pdf_export.h.
#include "export/pdf_export.h"

#include "base/class_builder.h"
#include "base/error.h"
#include "base/stream.h"
#include "base/units.h"
#include "engine/preview_pages.h"
#include "export/pdf_page_content.h"
#include "export/pdf_security.h"
#include "export/pdf_writer.h"
#include "report/model/page.h"
#include "report/model/report.h"
#include "report/model/view.h"
#include "report/storage/xml_document.h"
#include "resources/resources.h"

#include <QCoreApplication>

#include <array>

namespace ovx {
namespace {

struct StandardRow {
  TPDFStandard standard;
  const char* name;
  int part;
};
constexpr std::array<StandardRow, 7> kStandards{{
    {TPDFStandard::psNone, "None", 0},
    {TPDFStandard::psPDFA_1a, "PDF/A-1a", 1},
    {TPDFStandard::psPDFA_1b, "PDF/A-1b", 1},
    {TPDFStandard::psPDFA_2a, "PDF/A-2a", 2},
    {TPDFStandard::psPDFA_2b, "PDF/A-2b", 2},
    {TPDFStandard::psPDFA_3a, "PDF/A-3a", 3},
    {TPDFStandard::psPDFA_3b, "PDF/A-3b", 3},
}};

struct VersionRow {
  TPDFVersion version;
  const char* name;
};
constexpr std::array<VersionRow, 4> kVersions{{
    {TPDFVersion::pv14, "1.4"},
    {TPDFVersion::pv15, "1.5"},
    {TPDFVersion::pv16, "1.6"},
    {TPDFVersion::pv17, "1.7"},
}};

// The outline items under the outline's current item whose page is
// exported; an item whose page is not keeps its place (without a
// destination) only for the sake of exported items below it.
std::vector<PdfOutlineNode> OutlineNodes(TovxOutline& outline, const TovxCustomExportFilter& filter,
                                         int depth) {
  std::vector<PdfOutlineNode> nodes;
  // A damaged prepared report could nest without end.
  if (depth > 64) return nodes;
  const int count = outline.Count();
  for (int i = 0; i < count; ++i) {
    PdfOutlineNode node;
    int page = -1;
    int top = 0;
    outline.GetItem(i, node.title, page, top);
    TovxXMLItem* current = outline.CurrentItem();
    outline.LevelDown(i);
    node.children = OutlineNodes(outline, filter, depth + 1);
    outline.SetCurrentItem(current);
    const bool exported = filter.IsPageExported(page);
    if (!exported && node.children.empty()) continue;
    node.page = exported ? page : -1;
    node.top = top;
    nodes.push_back(std::move(node));
  }
  return nodes;
}

}  // namespace

QString PdfStandardName(TPDFStandard standard) {
  for (const StandardRow& row : kStandards) {
    if (row.standard == standard) return QString::fromLatin1(row.name);
  }
  return QStringLiteral("None");
}

QString PdfVersionName(TPDFVersion version) {
  for (const VersionRow& row : kVersions) {
    if (row.version == version) return QString::fromLatin1(row.name);
  }
  return QStringLiteral("1.7");
}

TPDFStandard PdfStandardFromName(const QString& name) {
  for (const StandardRow& row : kStandards) {
    if (name == QLatin1String(row.name)) return row.standard;
  }
  throw Error(QStringLiteral("rsPdfUnknownStandard"),
              QStringLiteral("Unknown/unsupported PDF standard: \"%s\""), {name});
}

TPDFVersion PdfVersionFromName(const QString& name) {
  for (const VersionRow& row : kVersions) {
    if (name == QLatin1String(row.name)) return row.version;
  }
  throw Error(QStringLiteral("rsPdfUnknownVersion"),
              QStringLiteral("Unknown/unsupported PDF version: \"%s\""), {name});
}

int PdfAPart(TPDFStandard standard) {
  for (const StandardRow& row : kStandards) {
    if (row.standard == standard) return row.part;
  }
  return 0;
}

}  // namespace ovx

TovxPDFExport::TovxPDFExport(TovxComponent* owner, bool registered)
    : TovxBaseDialogExportFilter(owner, registered) {
  TovxResources& resources = TovxResources::Instance();
  SetDefaultExt(resources.Get(u"8708"));
  SetFilterDesc(resources.Get(u"8707"));
  SetExportDialogClass(QStringLiteral("TovxPDFExportDialog"));
  author_ = QStringLiteral("Orvane");
  subject_ = QStringLiteral("Orvane PDF export");
  creator_ = QCoreApplication::applicationName();
  if (creator_.isEmpty()) creator_ = QStringLiteral("Velmora");
  SetProtectionFlags({TovxPDFPermission::ePrint, TovxPDFPermission::eModify,
                      TovxPDFPermission::eCopy, TovxPDFPermission::eAnnot});
}

TovxPDFExport::~TovxPDFExport() = default;

QString TovxPDFExport::GetDescription() const {
  return TovxResources::Instance().Get(u"PDFexport");
}

void TovxPDFExport::SetEmbeddedFonts(bool on) { embedded_fonts_ = on || PdfA(); }

void TovxPDFExport::SetTransparency(bool on) {
  transparency_ = on && ovx::PdfAPart(standard_) != 1;
}

void TovxPDFExport::SetProtectionFlags(TovxPDFPermissions flags) {
  protection_flags_ = flags;
  permissions_ = ovx::PdfPermissionValue(static_cast<int>(flags.Bits()));
}

void TovxPDFExport::SetPdfA(bool on) {
  SetPDFStandard(on ? TPDFStandard::psPDFA_2a : TPDFStandard::psNone);
}

void TovxPDFExport::SetPDFStandard(TPDFStandard standard) {
  standard_ = standard;
  const int part = ovx::PdfAPart(standard);
  if (part == 0) return;
  version_ = part == 1 ? TPDFVersion::pv14 : TPDFVersion::pv17;
  embedded_fonts_ = true;
  if (part == 1) transparency_ = false;
}

void TovxPDFExport::SetPDFVersion(TPDFVersion version) {
  if (!PdfA()) version_ = version;
}

bool TovxPDFExport::EncryptionActive() const {
  return !PdfA() && (!user_password_.isEmpty() || !owner_password_.isEmpty());
}

// --- the run ------------------------------------------------------------------------------

bool TovxPDFExport::Start() {
  if (FileName().isEmpty() && !Stream()) return false;
  EndRun();
  if (PdfA()) embedded_fonts_ = true;
  const bool encrypted = EncryptionActive();
  if (encrypted) embedded_fonts_ = embed_fonts_if_protected_;

  ovx::PdfDocumentOptions options;
  options.version = ovx::PdfVersionName(version_).toLatin1();
  options.pdfa_part = ovx::PdfAPart(standard_);
  options.compressed = compressed_;
  options.transparency = transparency_;
  options.outline = outline_;
  options.title = title_;
  options.author = author_;
  options.subject = subject_;
  options.keywords = keywords_;
  options.creator = creator_;
  options.producer = producer_;
  if (encrypted) {
    options.user_password = user_password_;
    options.owner_password = owner_password_;
  }
  options.protection_flags = static_cast<int>(protection_flags_.Bits());
  options.hide_toolbar = hide_toolbar_;
  options.hide_menubar = hide_menubar_;
  options.hide_window_ui = hide_window_ui_;
  options.fit_window = fit_window_;
  options.center_window = center_window_;
  options.print_scaling = print_scaling_;
  if (fixed_output_ || ovx::PdfFixedOutputRequested()) {
    options.fixed_id = ovx::PdfFixedId();
    options.fixed_time = ovx::PdfFixedTime();
  }

  if (Stream()) {
    output_ = Stream();
    own_output_ = false;
  } else {
    output_ = &BeginOutput(FileName());
    own_output_ = true;
  }
  document_ = std::make_unique<ovx::PdfDocument>(*output_, options);

  ovx::PdfContentSettings settings;
  settings.background = background_;
  settings.print_optimized = print_optimized_;
  settings.transparency = transparency_ && ovx::PdfAPart(standard_) != 1;
  settings.quality = quality_;
  settings.pdfa = PdfA();
  settings.actual_text = actual_text;
  settings.page_exported = [this](int page) { return !ExportedPages() || IsPageExported(page); };
  settings.find_anchor = [this](const QString& name) -> std::optional<std::pair<int, double>> {
    TovxPreviewPages* pages = ExportedPages();
    if (!pages || !pages->Document().Root()) return std::nullopt;
    const TovxXMLItem* root = pages->Document().Root();
    const int at = root->Find("anchors");
    const TovxXMLItem* anchors = root->Items(at);
    if (!anchors) return std::nullopt;
    // The last anchor of a name wins, as in the preview.
    for (int i = anchors->Count() - 1; i >= 0; --i) {
      const TovxXMLItem& item = *anchors->Items(i);
      if (QString::fromUtf8(item.Prop("text")).compare(name, Qt::CaseInsensitive) != 0) continue;
      bool page_ok = false;
      bool top_ok = false;
      const int page = item.Prop("page").toInt(&page_ok);
      const double top = item.Prop("top").toDouble(&top_ok);
      if (!page_ok || page < 0 || page >= pages->Count()) return std::nullopt;
      return std::make_pair(page, top_ok ? top : 0.0);
    }
    return std::nullopt;
  };
  content_ = std::make_unique<ovx::PdfPageContent>(*document_, std::move(settings));
  document_->Begin();
  return true;
}

void TovxPDFExport::StartPage(TovxReportPage& page, int index) {
  if (!content_) return;
  const bool mirrored = page.MirrorMargins() && index % 2 == 1;
  content_->BeginPage(page.Width(), page.Height(),
                      mirrored ? page.RightMargin() : page.LeftMargin(), page.TopMargin(), index);
  background_picture_visible_ = page.BackPictureVisible();
}

void TovxPDFExport::ExportObject(TovxComponent& object) {
  auto* view = dynamic_cast<TovxView*>(&object);
  if (!view || !content_) return;
  const bool exported = view->Visibility().Contains(TovxVisibilityType::vsExport) ||
                        (ExportNotPrintable() && !view->Printable());
  if (!exported) return;
  content_->WriteView(*view, background_picture_visible_);
}

void TovxPDFExport::FinishPage(TovxReportPage& page, int index) {
  if (content_) content_->EndPage();
}

void TovxPDFExport::Finish() {
  if (!document_) return;
  struct End {
    TovxPDFExport& filter;
    ~End() { filter.EndRun(); }
  } end{*this};
  std::vector<ovx::PdfOutlineNode> outline;
  if (outline_ && ExportedPages()) {
    TovxOutline& source = ExportedPages()->Outline();
    TovxXMLItem* current = source.CurrentItem();
    source.LevelRoot();
    outline = ovx::OutlineNodes(source, *this, 0);
    source.SetCurrentItem(current);
  }
  document_->Finish(outline);
  // A file asked for as PDF/A that does not conform says so in the report
  // errors (its metadata claims no level). Font problems that did not stop
  // the file go there too: the file is written, but may not look or copy as
  // the report does.
  if (Report()) {
    ovx::PdfFontList& fonts = document_->Fonts();
    for (int i = 0; i < fonts.Count(); ++i) {
      for (const QString& warning : fonts.At(i).Warnings()) Report()->AddError(warning);
    }
    for (const QString& failure : document_->PdfAFailures()) {
      Report()->AddError(QStringLiteral("PDF/A: ") + failure);
    }
  }
  if (own_output_) {
    ovx::Stream* output = output_;
    output_ = nullptr;
    own_output_ = false;
    FinishOutput(*output);
  }
}

void TovxPDFExport::EndRun() {
  content_.reset();
  document_.reset();
  // A stream of a run that failed before Finish completed holds half a
  // document: it is dropped, never completed.
  if (own_output_ && output_) {
    own_output_ = false;
    ovx::Stream* output = output_;
    output_ = nullptr;
    AbandonOutput(*output);
  }
  output_ = nullptr;
}

const ovx::MetaClass& TovxPDFExport::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxPDFExport;
    ovx::ClassBuilder<C> b("TovxPDFExport", &TovxBaseDialogExportFilter::StaticMetaClass());
    b.Bool("Compressed", &C::Compressed, &C::SetCompressed).Default(true);
    b.Bool("EmbeddedFonts", &C::EmbeddedFonts, &C::SetEmbeddedFonts).Default(false);
    b.Bool("EmbedFontsIfProtected", &C::EmbedFontsIfProtected, &C::SetEmbedFontsIfProtected)
        .Default(true);
    b.Bool("OpenAfterExport", &C::OpenAfterExport, &C::SetOpenAfterExport).Default(false);
    b.Bool("PrintOptimized", &C::PrintOptimized, &C::SetPrintOptimized).Default(false);
    b.Bool("Outline", &C::Outline, &C::SetOutline).Default(false);
    b.Bool("Background", &C::Background, &C::SetBackground).Default(false);
    b.Bool("HTMLTags", &C::HTMLTags, &C::SetHTMLTags).Default(true);
    b.Bool("OverwritePrompt", &C::OverwritePrompt, &C::SetOverwritePrompt).Default(false);
    b.Integer("Quality", &C::Quality, &C::SetQuality).Default(95);
    b.Bool("Transparency", &C::Transparency, &C::SetTransparency).Default(false);
    b.String("Title", &C::Title, &C::SetTitle, "WideString").Default("");
    b.String("Author", &C::Author, &C::SetAuthor, "WideString").Default("Orvane");
    b.String("Subject", &C::Subject, &C::SetSubject, "WideString").Default("Orvane PDF export");
    b.String("Keywords", &C::Keywords, &C::SetKeywords, "WideString").Default("");
    b.String("Creator", &C::Creator, &C::SetCreator, "WideString");
    b.String("Producer", &C::Producer, &C::SetProducer, "WideString").Default("");
    b.String("UserPassword", &C::UserPassword, &C::SetUserPassword).Default("");
    b.String("OwnerPassword", &C::OwnerPassword, &C::SetOwnerPassword).Default("");
    b.Set("ProtectionFlags", "TovxPDFPermissions", &C::ProtectionFlags, &C::SetProtectionFlags)
        .Default(TovxPDFPermissions{TovxPDFPermission::ePrint, TovxPDFPermission::eModify,
                                    TovxPDFPermission::eCopy, TovxPDFPermission::eAnnot});
    b.Bool("HideToolbar", &C::HideToolbar, &C::SetHideToolbar).Default(false);
    b.Bool("HideMenubar", &C::HideMenubar, &C::SetHideMenubar).Default(false);
    b.Bool("HideWindowUI", &C::HideWindowUI, &C::SetHideWindowUI).Default(false);
    b.Bool("FitWindow", &C::FitWindow, &C::SetFitWindow).Default(false);
    b.Bool("CenterWindow", &C::CenterWindow, &C::SetCenterWindow).Default(false);
    b.Bool("PrintScaling", &C::PrintScaling, &C::SetPrintScaling).Default(false);
    // The level decides it; stored as the level only.
    b.Bool("PdfA", &C::PdfA, &C::SetPdfA).Stored(false);
    b.Enum("PDFStandard", &C::PDFStandard, &C::SetPDFStandard).Default(TPDFStandard::psNone);
    b.Enum("PDFVersion", &C::PDFVersion, &C::SetPDFVersion).Default(TPDFVersion::pv17);
    b.Creatable([](ovx::Persistent* owner) -> ovx::Persistent* {
      return new TovxPDFExport(dynamic_cast<TovxComponent*>(owner));
    });
    return b.Build();
  }();
  return meta;
}
