// textlayout: shows how the text layout wraps, measures and draws a memo
// text for a font, a width and the memo's options.
#include "tools/layout_dump.h"
#include "tools/tool_output.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

using ovx::tools::Print;

constexpr char kUsage[] =
    "Usage: textlayout (--text TEXT | --file FILE) [options]\n"
    "Lays out a memo text and prints the face used, the wrapped lines with\n"
    "their paragraph flags (1 first, 2 last line of a paragraph) and their\n"
    "advances at 600 dpi, the measurements in report units, the runs drawn\n"
    "on a target, and the text left over for a next page.\n"
    "\n"
    "  --text TEXT         the memo text; \\n separates lines\n"
    "  --file FILE         the memo text from a UTF-8 file\n"
    "  --font NAME         face name (Arial)       --size POINTS (10)\n"
    "  --style BITS        bold 1, italic 2, underline 4, strike-out 8\n"
    "  --width UNITS       text rectangle (200)    --height UNITS (100)\n"
    "  --rotation DEGREES  --paragraph-gap U  --char-spacing U  --line-spacing U (2)\n"
    "  --halign 0..3       left, right, centre, block\n"
    "  --valign 0..2       top, bottom, centre\n"
    "  --underlines 0..3   none, all, text, text and empty lines\n"
    "  --no-wrap --word-break --tags --no-wysiwyg --rtl --first-para-break\n"
    "  --dpi N             target resolution (96)  --scale S (1)\n"
    "\n"
    "Exit status: 0 on success, 2 on bad usage.\n";

}  // namespace

int Main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments().mid(1);
  if (args.size() == 1 && (args[0] == "-h" || args[0] == "--help")) {
    Print(stdout, QString::fromLatin1(kUsage));
    return 0;
  }
  ovx::LayoutRequest request;
  const QString error = ovx::ParseLayoutArguments(args, &request);
  if (!error.isEmpty()) {
    Print(stderr, QStringLiteral("textlayout: ") + error + u'\n' + QString::fromLatin1(kUsage));
    return 2;
  }
  Print(stdout, ovx::DumpLayout(request));
  return 0;
}

int main(int argc, char** argv) {
  return ovx::tools::RunMain("textlayout", [&] { return Main(argc, argv); });
}
