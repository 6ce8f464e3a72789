#include "app/core/export_settings.h"

#include "app/core/fixed_data.h"
#include "export/image_export.h"
#include "export/pdf_export.h"

namespace ovx::app {

namespace {

template <typename Filter>
void ApplyCommonSettings(Filter& filter) {
  filter.SetFileName(QStringLiteral("velmora"));
  filter.SetUseFileCache(true);
  filter.SetShowProgress(true);
  filter.SetOverwritePrompt(false);
  filter.SetDataOnly(false);
}

}  // namespace

void ApplyJpegExportSettings(TovxJPEGExport& jpeg) { ApplyCommonSettings(jpeg); }

void ApplyPdfExportSettings(TovxPDFExport& pdf) {
  ApplyCommonSettings(pdf);
  pdf.SetEmbeddedFonts(true);
  pdf.SetOpenAfterExport(false);
  pdf.SetPrintOptimized(false);
  pdf.SetOutline(false);
  pdf.SetBackground(true);
  pdf.SetHTMLTags(true);
  pdf.SetQuality(95);
  pdf.SetTransparency(false);
  pdf.SetTitle(QStringLiteral("Velmora"));
  pdf.SetAuthor(QStringLiteral("Ilmar"));
  pdf.SetSubject(QStringLiteral("Velmora"));
  pdf.SetProtectionFlags(
      {TovxPDFPermission::ePrint, TovxPDFPermission::eCopy, TovxPDFPermission::eAnnot});
  pdf.SetHideToolbar(true);
  pdf.SetHideMenubar(false);
  pdf.SetHideWindowUI(false);
  pdf.SetFitWindow(false);
  pdf.SetCenterWindow(false);
  pdf.SetPrintScaling(false);
  pdf.SetPdfA(false);
  pdf.SetPDFStandard(TPDFStandard::psNone);
  pdf.SetPDFVersion(TPDFVersion::pv17);
  pdf.actual_text = [](const QString& face, QStringView text) {
    if (face != QStringView(kPrivateFace) || text.size() != 1) return QString();
    for (const RareCharacter& rare : kRareCharacters) {
      if (text[0] == QChar(rare.sign)) return QString(QChar(rare.real));
    }
    return QString();
  };
}

}  // namespace ovx::app
