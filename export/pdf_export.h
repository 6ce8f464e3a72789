// The PDF export filter: prepared pages as a PDF file.
//
// The filter holds the settings (document information, protection, viewer
// preferences, PDF/A level) and, during a run, one PdfDocument with its
// page content writer. The settings keep each other consistent the way
// the file needs it: a PDF/A level forces its PDF version, embedded fonts
// and (for PDF/A-1) no transparency; setting a forced value otherwise is
// ignored. Encryption applies when a password is set, except for PDF/A,
// which does not allow it.
//
// Fonts are always embedded: the text codes are glyph numbers of the
// embedded program, which no reader could show without it. EmbeddedFonts
// and EmbedFontsIfProtected are kept as settings (and follow their rules)
// but no longer decide that.
#pragma once

#include "base/enum_set.h"
#include "export/export_filter.h"

#include <QString>

#include <functional>
#include <memory>

OVX_ENUM(TPDFStandard, psNone, psPDFA_1a, psPDFA_1b, psPDFA_2a, psPDFA_2b, psPDFA_3a, psPDFA_3b)
OVX_ENUM(TPDFVersion, pv14, pv15, pv16, pv17)
OVX_ENUM(TovxPDFPermission, ePrint, eModify, eCopy, eAnnot)
using TovxPDFPermissions = ovx::EnumSet<TovxPDFPermission>;

namespace ovx {

class PdfDocument;
class PdfPageContent;

// "None", "PDF/A-1a", ... and "1.4" to "1.7": the names the settings
// dialog lists.
QString PdfStandardName(TPDFStandard standard);
QString PdfVersionName(TPDFVersion version);
// Throw ovx::Error for a name not in the lists.
TPDFStandard PdfStandardFromName(const QString& name);
TPDFVersion PdfVersionFromName(const QString& name);
// The PDF/A part (1 to 3), 0 for psNone.
int PdfAPart(TPDFStandard standard);

}  // namespace ovx

class TovxPDFExport : public TovxBaseDialogExportFilter {
  OVX_META_CLASS

 public:
  explicit TovxPDFExport(TovxComponent* owner = nullptr, bool registered = true);
  ~TovxPDFExport() override;

  QString GetDescription() const override;

  // --- settings -----------------------------------------------------------------------
  bool Compressed() const { return compressed_; }
  void SetCompressed(bool on) { compressed_ = on; }
  bool EmbeddedFonts() const { return embedded_fonts_; }
  // Stays true under a PDF/A level.
  void SetEmbeddedFonts(bool on);
  bool EmbedFontsIfProtected() const { return embed_fonts_if_protected_; }
  void SetEmbedFontsIfProtected(bool on) { embed_fonts_if_protected_ = on; }
  bool PrintOptimized() const { return print_optimized_; }
  void SetPrintOptimized(bool on) { print_optimized_ = on; }
  bool Outline() const { return outline_; }
  void SetOutline(bool on) { outline_ = on; }
  bool Background() const { return background_; }
  void SetBackground(bool on) { background_ = on; }
  bool HTMLTags() const { return html_tags_; }
  void SetHTMLTags(bool on) { html_tags_ = on; }
  int Quality() const { return quality_; }
  void SetQuality(int quality) { quality_ = quality; }
  bool Transparency() const { return transparency_; }
  // Stays false under PDF/A-1.
  void SetTransparency(bool on);
  const QString& Title() const { return title_; }
  void SetTitle(const QString& v) { title_ = v; }
  const QString& Author() const { return author_; }
  void SetAuthor(const QString& v) { author_ = v; }
  const QString& Subject() const { return subject_; }
  void SetSubject(const QString& v) { subject_ = v; }
  const QString& Keywords() const { return keywords_; }
  void SetKeywords(const QString& v) { keywords_ = v; }
  const QString& Creator() const { return creator_; }
  void SetCreator(const QString& v) { creator_ = v; }
  const QString& Producer() const { return producer_; }
  void SetProducer(const QString& v) { producer_ = v; }
  const QString& UserPassword() const { return user_password_; }
  void SetUserPassword(const QString& v) { user_password_ = v; }
  const QString& OwnerPassword() const { return owner_password_; }
  void SetOwnerPassword(const QString& v) { owner_password_ = v; }
  TovxPDFPermissions ProtectionFlags() const { return protection_flags_; }
  void SetProtectionFlags(TovxPDFPermissions flags);
  // The P value of the encryption dictionary the flags give.
  int Permissions() const { return permissions_; }
  bool HideToolbar() const { return hide_toolbar_; }
  void SetHideToolbar(bool on) { hide_toolbar_ = on; }
  bool HideMenubar() const { return hide_menubar_; }
  void SetHideMenubar(bool on) { hide_menubar_ = on; }
  bool HideWindowUI() const { return hide_window_ui_; }
  void SetHideWindowUI(bool on) { hide_window_ui_ = on; }
  bool FitWindow() const { return fit_window_; }
  void SetFitWindow(bool on) { fit_window_ = on; }
  bool CenterWindow() const { return center_window_; }
  void SetCenterWindow(bool on) { center_window_ = on; }
  bool PrintScaling() const { return print_scaling_; }
  void SetPrintScaling(bool on) { print_scaling_ = on; }
  // Any PDF/A level; setting true selects PDF/A-2, false none.
  bool PdfA() const { return standard_ != TPDFStandard::psNone; }
  void SetPdfA(bool on);
  TPDFStandard PDFStandard() const { return standard_; }
  // Also sets the version the level forces, embedded fonts, and for
  // PDF/A-1 clears transparency.
  void SetPDFStandard(TPDFStandard standard);
  TPDFVersion PDFVersion() const { return version_; }
  // Ignored while a PDF/A level forces the version.
  void SetPDFVersion(TPDFVersion version);
  // Encryption applies to the next run: a password is set and no PDF/A
  // level is chosen.
  bool EncryptionActive() const;

  // A fixed file identifier and date, so that two runs write the same
  // bytes (also with VELMORA_PDF_FIXED=1 in the environment).
  bool FixedOutput() const { return fixed_output_; }
  void SetFixedOutput(bool on) { fixed_output_ = on; }
  // The text that glyphs drawn from `text` in the face `face` stand for, when
  // a font draws other characters at those code points (text extraction
  // then gives the real characters); empty answers keep the text.
  std::function<QString(const QString& face, QStringView text)> actual_text;

  // --- protocol -----------------------------------------------------------------------
  bool Start() override;
  void StartPage(TovxReportPage& page, int index) override;
  void ExportObject(TovxComponent& object) override;
  void FinishPage(TovxReportPage& page, int index) override;
  void Finish() override;

 private:
  void EndRun();

  bool compressed_ = true;
  bool embedded_fonts_ = false;
  bool embed_fonts_if_protected_ = true;
  bool print_optimized_ = false;
  bool outline_ = false;
  bool background_ = false;
  bool html_tags_ = true;
  int quality_ = 95;
  bool transparency_ = false;
  QString title_;
  QString author_;
  QString subject_;
  QString keywords_;
  QString creator_;
  QString producer_;
  QString user_password_;
  QString owner_password_;
  TovxPDFPermissions protection_flags_;
  int permissions_ = -4;
  bool hide_toolbar_ = false;
  bool hide_menubar_ = false;
  bool hide_window_ui_ = false;
  bool fit_window_ = false;
  bool center_window_ = false;
  bool print_scaling_ = false;
  TPDFStandard standard_ = TPDFStandard::psNone;
  TPDFVersion version_ = TPDFVersion::pv17;
  bool fixed_output_ = false;

  // Run state.
  ovx::Stream* output_ = nullptr;
  bool own_output_ = false;
  std::unique_ptr<ovx::PdfDocument> document_;
  std::unique_ptr<ovx::PdfPageContent> content_;
  bool background_picture_visible_ = true;
};
