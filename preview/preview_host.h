// The preview module's side of ShowReport and ShowPrepared.
//
// The report model cannot link the preview, so the program installs it
// once at start-up (after the engine): from then on a report's ShowReport
// opens a TovxPreviewForm and prepares the report in it, and ShowPrepared
// opens one on the pages prepared already. The window is modal or not as
// the report's PreviewOptions.Modal says.
//
// A host program with a multi-document main window names its area
// (SetPreviewMdiArea): reports whose PreviewOptions.MDIChild is set then
// show their window as a subwindow of that area, never modal, since the
// area's other windows stay in use. Without an area (or once it is gone)
// the window is a normal one.
//
// A report destroyed while a window shows it takes the window with it:
// the window lets go of the report and closes, so it never paints from
// freed pages.
#pragma once

#include <vector>

class QMdiArea;
class TovxPreviewForm;
class TovxReport;

namespace ovx {

// Makes reports show their pages in the preview window (call once at
// start-up, after ovx::InstallEngine).
void InstallPreview();
// Back to no preview window (for tests).
void UninstallPreview();

// The area that previews of MDIChild reports open in (not owned); null
// for none.
void SetPreviewMdiArea(QMdiArea* area);

// The preview windows open now, oldest first.
std::vector<TovxPreviewForm*> OpenPreviewForms();

// Prepares `report` with the progress window (old-style progress: the
// preview opens only afterwards). Answers whether pages were prepared.
bool PrepareWithProgress(TovxReport& report, bool clear_last_report);

}  // namespace ovx
