// fontsubset: makes the subset a PDF would embed and tells what went in.
//
//   fontsubset FONT OUT [--index N | --name NAME]
//              (--text TEXT | --text-file FILE | --glyphs LIST)
//
// With text, the text is shaped with HarfBuzz as the PDF export shapes it
// and each glyph it used is printed as "code glyph width U+XXXX..." (the
// code the content stream shows, the glyph id, the advance in 1/1000 em and
// the Unicode values ToUnicode gives it). With --glyphs ("3,5,10-20") the
// glyphs are kept as given and each kept glyph is printed as "glyph width
// U+XXXX..." with the code points the font maps to it. OUT is the
// standalone font: TrueType for glyf fonts, OpenType with CFF for CFF fonts
// (also from collections).
#include "base/error.h"
#include "export/cff_font.h"
#include "export/pdf_font.h"
#include "export/truetype_font.h"
#include "tools/tool_output.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <map>

namespace {

constexpr qint64 kMaxTextFileBytes = qint64{16} << 20;

int Usage() {
  std::fputs(
      "usage: fontsubset FONT OUT [--index N | --name NAME]\n"
      "                  (--text TEXT | --text-file FILE | --glyphs LIST)\n",
      stderr);
  return 2;
}

QString Unicodes(const QString& text) {
  QStringList values;
  for (const char32_t c : text.toUcs4()) {
    values.append(QStringLiteral("U+%1").arg(uint(c), 4, 16, QChar('0')).toUpper());
  }
  return values.join(u' ');
}

// "3,5,10-20"; nullopt for anything else.
std::optional<std::vector<uint16_t>> ParseGlyphList(const QString& list) {
  std::vector<uint16_t> glyphs;
  for (const QString& item : list.split(u',', Qt::SkipEmptyParts)) {
    const QStringList range = item.split(u'-');
    bool ok_first = false, ok_last = false;
    const uint first = range[0].trimmed().toUInt(&ok_first);
    const uint last = range.size() == 2 ? range[1].trimmed().toUInt(&ok_last) : first;
    if (!ok_first || (range.size() == 2 && !ok_last) || range.size() > 2 || last < first ||
        last > 0xFFFF) {
      return std::nullopt;
    }
    for (uint glyph = first; glyph <= last; ++glyph) glyphs.push_back(uint16_t(glyph));
  }
  return glyphs;
}

void Write(const QString& file_name, const QByteArray& bytes) {
  ovx::WriteFileSafely(file_name, bytes);
}

}  // namespace

int Main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments().mid(1);
  if (args.size() < 2 || args[0].startsWith(u"--") || args[1].startsWith(u"--")) return Usage();
  int index = 0;
  QString face_name, text, glyph_list;
  bool have_text = false, have_glyphs = false;
  for (qsizetype i = 2; i < args.size(); ++i) {
    bool ok = true;
    if (args[i] == u"--index" && i + 1 < args.size()) {
      index = args[++i].toInt(&ok);
      ok = ok && index >= 0;
    } else if (args[i] == u"--name" && i + 1 < args.size()) {
      face_name = args[++i];
    } else if (args[i] == u"--text" && i + 1 < args.size()) {
      text = args[++i];
      have_text = true;
    } else if (args[i] == u"--text-file" && i + 1 < args.size()) {
      text = QString::fromUtf8(
          ovx::ReadFileBounded(args[++i], kMaxTextFileBytes, QStringLiteral("text file")));
      have_text = true;
    } else if (args[i] == u"--glyphs" && i + 1 < args.size()) {
      glyph_list = args[++i];
      have_glyphs = true;
    } else {
      return Usage();
    }
    if (!ok) return Usage();
  }
  if (have_text == have_glyphs) return Usage();

  try {
    const QByteArray data =
        ovx::ReadFileBounded(args[0], ovx::kMaxFontFileBytes, QStringLiteral("font file"));
    const ovx::TrueTypeCollection collection(data);
    if (!face_name.isEmpty()) {
      index = collection.FindFont(face_name);
      if (index < 0) throw ovx::Error("", "No face named %s in %s", {face_name, args[0]});
    }
    const ovx::TrueTypeFont& font = collection.Font(index);

    if (have_text) {
      TovxPDFFont pdf_font(font.FamilyName(), 0, data, index, 0);
      text.remove(u'\n');
      text.remove(u'\r');
      pdf_font.MapText(text, false, false);
      Write(args[1], pdf_font.BuildSubsetFont());
      for (const TovxPDFFont::UsedGlyph& used : pdf_font.UsedGlyphs()) {
        ovx::tools::Print(stdout, QStringLiteral("%1 %2 %3 %4\n")
                                      .arg(used.code)
                                      .arg(used.glyph)
                                      .arg(used.width)
                                      .arg(Unicodes(used.text)));
      }
      for (const QString& warning : pdf_font.Warnings()) {
        ovx::tools::Print(stderr, "fontsubset: " + warning + '\n');
      }
      return 0;
    }

    const auto glyphs = ParseGlyphList(glyph_list);
    if (!glyphs) return Usage();
    std::vector<uint16_t> kept;
    const auto* cmap = font.Get<ovx::CmapTableClass>(ovx::truetype::MakeTag('c', 'm', 'a', 'p'));
    if (font.IsCff()) {
      const auto* cff = font.Table(ovx::truetype::MakeTag('C', 'F', 'F', ' '));
      if (cff == nullptr) throw ovx::Error("", "No CFF table in %s", {args[0]});
      const ovx::CffProgram program(cff->Data());
      std::vector<std::pair<char32_t, uint16_t>> none;
      Write(args[1],
            ovx::SubsetOpenTypeCff(data, index, *glyphs, cmap != nullptr ? cmap->Mapping() : none,
                                   !program.CidKeyed()));
      kept = *glyphs;
      kept.push_back(0);
      std::sort(kept.begin(), kept.end());
      kept.erase(std::unique(kept.begin(), kept.end()), kept.end());
    } else {
      ovx::TrueTypeSubset subset = ovx::SubsetTrueTypeFont(font, *glyphs);
      Write(args[1], subset.font);
      kept = subset.kept_glyphs;
    }
    std::map<uint16_t, QString> characters;
    if (cmap != nullptr) {
      for (const auto& [code_point, glyph] : cmap->Mapping()) {
        characters[glyph] += QString::fromUcs4(&code_point, 1);
      }
    }
    for (const uint16_t glyph : kept) {
      ovx::tools::Print(stdout, QStringLiteral("%1 %2 %3\n")
                                    .arg(glyph)
                                    .arg(font.AdvanceThousandths(glyph))
                                    .arg(Unicodes(characters[glyph])));
    }
  } catch (const ovx::Error& e) {
    ovx::tools::Print(stderr, "fontsubset: " + e.Message() + '\n');
    return 1;
  }
  return 0;
}

int main(int argc, char** argv) {
  return ovx::tools::RunMain("fontsubset", [&] { return Main(argc, argv); });
}
