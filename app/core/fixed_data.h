// The application's fixed data: the body text, the title, the report
// template and the grid size the main window holds in hidden fields, the
// face names, and where the program's data files live.
//
// The body text keeps the typesetter's mark-up: "x" ends a vertical line, a
// space before a chapter's name turns the colour green until the next "x",
// and a few single-byte signs stand for rare characters that the private
// font draws at those code points (kRareCharacters).
#pragma once

#include <QString>
#include <QStringList>

#include <array>

namespace ovx::app {

// The face of the private font and of every cell the typesetter creates.
inline constexpr char16_t kPrivateFace[] = u"楷体-Velmora";
// The font holder's face before the window replaces it with kPrivateFace.
inline constexpr char16_t kHolderInitialFace[] = u"楷体";
// The title font: 48 points (height -64 at 96 dots per inch), bold.
inline constexpr int kTitlePoints = 48;
inline constexpr char kPrivateFontFile[] = "KaitiVelmora.otf";
inline constexpr char kCoverPicture[] = "bg_fm.jpg";
inline constexpr char kBodyPicture[] = "bg_zw.jpg";
inline constexpr int kDefaultLines = 15;
inline constexpr int kDefaultChars = 12;

// A single-byte sign of the body text and the rare character it stands for.
struct RareCharacter {
  char16_t sign;
  char16_t real;
};
inline constexpr std::array<RareCharacter, 5> kRareCharacters{
    {{u'\\', u'兕'}, {u']', u'埏'}, {u'^', u'毂'}, {u'_', u'牝'}, {u'`', u'籥'}}};

// The body text as the window stores it: 16 lines.
QStringList BodyTextLines();
// Three lines of one character each.
QStringList TitleLines();
// The report template, one element per line; joined with CR LF it is the
// document the print command loads.
QStringList TemplateLines();

// The folder holding the private font and the background pictures:
// $VELMORA_DATA_DIR when set, otherwise found from the program's own
// location (the installed share/velmora folder, or data/ beside the
// program in the build tree). Empty when none exists.
QString DataDirectory();

}  // namespace ovx::app
