// The settings of the application's two export components. The window's
// export menu and the command line's --pdf and --jpeg run the same filters
// with the same settings, so they are set in one place.
#pragma once

class TovxJPEGExport;
class TovxPDFExport;

namespace ovx::app {

// File name "velmora", file cache and progress on, no overwrite prompt, all
// objects.
void ApplyJpegExportSettings(TovxJPEGExport& jpeg);

// As above, plus embedded fonts, page background, title, author and
// subject, print/copy/annotate permissions, the hidden toolbar, PDF 1.7.
// The private font draws rare characters at the code points of a few ASCII
// signs; the file says which characters they are, so that copying text out
// of it gives the real ones.
void ApplyPdfExportSettings(TovxPDFExport& pdf);

}  // namespace ovx::app
