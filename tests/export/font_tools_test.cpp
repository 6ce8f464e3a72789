// Subsets of real fonts checked by the tools of the trade: ttx lists their
// tables, fontTools opens them with checksum checking on, OpenType
// Sanitizer passes them, and hb-view draws the kept glyphs exactly as it
// draws them from the original font. The size is held against hb-subset
// for the same glyphs and tables. Each case skips when its font or a tool
// is missing. Also runs the font fuzz target's seeds.
#include "export/pdf_font.h"
#include "export/truetype_font.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace ovx {
namespace {

struct ToolRun {
  int exit_code = -1;
  QByteArray output;
};

ToolRun Execute(const QString& program, const QStringList& args) {
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(program, args);
  if (!process.waitForFinished(120000)) return {};
  return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
          process.readAll()};
}

bool Have(const char* program) {
  return !QStandardPaths::findExecutable(QLatin1String(program)).isEmpty();
}

QString SampleText(int characters) {
  QFile file(QStringLiteral(VELMORA_SOURCE_DIR "/app/data/body.txt"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  QString text;
  for (const QChar c : QString::fromUtf8(file.readAll())) {
    if (c.unicode() > 0x2E80 && !text.contains(c)) text += c;
    if (text.size() == characters) break;
  }
  return text;
}

struct FontCase {
  const char* name;
  const char* path;
  int face;
  QString text;
};

class FontToolsTest : public ::testing::TestWithParam<FontCase> {};

TEST_P(FontToolsTest, SubsetPassesTheToolsAndDrawsLikeTheOriginal) {
  const FontCase& c = GetParam();
  QFile source(QLatin1String(c.path));
  if (!source.open(QIODevice::ReadOnly)) GTEST_SKIP() << c.path << " not installed";
  const QByteArray data = source.readAll();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());

  TovxPDFFont font(QLatin1String(c.name), 0, data, c.face, 0);
  font.MapText(c.text, false, false);
  const QByteArray program = font.BuildSubsetFont();
  const bool cff = program.startsWith("OTTO");
  const QString subset =
      dir.filePath(cff ? QStringLiteral("subset.otf") : QStringLiteral("subset.ttf"));
  {
    QFile out(subset);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(program);
  }

  if (Have("ttx")) {
    const ToolRun ttx = Execute(QStringLiteral("ttx"), {QStringLiteral("-l"), subset});
    EXPECT_EQ(ttx.exit_code, 0) << ttx.output.toStdString();
    EXPECT_TRUE(ttx.output.contains(cff ? "CFF " : "glyf")) << ttx.output.toStdString();
  }
  if (QFile::exists(QStringLiteral("/usr/bin/python3"))) {
    const ToolRun python = Execute(QStringLiteral("/usr/bin/python3"),
                                   {QStringLiteral("-c"),
                                    QStringLiteral("import sys\n"
                                                   "from fontTools.ttLib import TTFont\n"
                                                   "f = TTFont(sys.argv[1], checkChecksums=2)\n"
                                                   "for tag in f.keys(): f[tag]\n"),
                                    subset});
    if (!python.output.contains("No module named 'fontTools'")) {
      EXPECT_EQ(python.exit_code, 0) << python.output.toStdString();
    }
  }
  if (Have("ots-sanitize")) {
    const ToolRun ots =
        Execute(QStringLiteral("ots-sanitize"), {subset, dir.filePath(QStringLiteral("ots.out"))});
    EXPECT_EQ(ots.exit_code, 0) << ots.output.toStdString();
  }
  if (Have("hb-view")) {
    QString lines;
    for (qsizetype i = 0; i < c.text.size(); i += 30) lines += c.text.mid(i, 30) + u'\n';
    QFile text_file(dir.filePath(QStringLiteral("text.txt")));
    ASSERT_TRUE(text_file.open(QIODevice::WriteOnly));
    text_file.write(lines.toUtf8());
    text_file.close();
    const auto render = [&](const QString& font_file, int face, const QString& png) {
      const ToolRun view =
          Execute(QStringLiteral("hb-view"),
                  {"--font-file=" + font_file, "--face-index=" + QString::number(face),
                   QStringLiteral("--font-size=32"), QStringLiteral("--features=-kern"),
                   "--text-file=" + text_file.fileName(), "--output-file=" + png});
      EXPECT_EQ(view.exit_code, 0) << view.output.toStdString();
      return QImage(png);
    };
    const QImage original = render(QLatin1String(c.path), c.face, dir.filePath("original.png"));
    const QImage from_subset = render(subset, 0, dir.filePath("subset.png"));
    ASSERT_FALSE(original.isNull());
    EXPECT_TRUE(original == from_subset) << "hb-view draws the subset differently";
  }
  if (Have("hb-subset")) {
    // The same glyphs and the same tables; glyph ids kept as ours are
    // (CID-keyed CFF subsets renumber, with CIDs kept).
    QStringList gids;
    for (const auto& used : font.UsedGlyphs()) gids.append(QString::number(used.glyph));
    const TrueTypeCollection collection(data);
    const TrueTypeCollection ours(program);
    QStringList dropped;
    for (const auto& table : collection.Font(c.face).Tables()) {
      if (ours.Font(0).Table(table->Tag()) == nullptr) {
        dropped.append(QString::fromLatin1(truetype::TagName(table->Tag())));
      }
    }
    const QString reference = dir.filePath(QStringLiteral("hb.font"));
    QStringList args = {"--face-index=" + QString::number(c.face),
                        "--gids=" + gids.join(u','),
                        "--drop-tables=" + dropped.join(u','),
                        QStringLiteral("--name-languages=*"),
                        "--output-file=" + reference,
                        QLatin1String(c.path)};
    if (!cff) args.prepend(QStringLiteral("--retain-gids"));
    const ToolRun hb = Execute(QStringLiteral("hb-subset"), args);
    ASSERT_EQ(hb.exit_code, 0) << hb.output.toStdString();
    const qint64 reference_size = QFileInfo(reference).size();
    std::printf("%s: %zu glyphs, subset %lld bytes, hb-subset %lld bytes\n", c.name,
                font.UsedGlyphs().size(), qint64(program.size()), reference_size);
    EXPECT_LE(program.size(), reference_size * 6 / 5);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Fonts, FontToolsTest,
    ::testing::Values(
        FontCase{"UKai", "/usr/share/fonts/truetype/arphic/ukai.ttc", 0, SampleText(300)},
        FontCase{"ZenHei", "/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc", 0, SampleText(300)},
        FontCase{"DejaVu", "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", 0,
                 QStringLiteral("\u00C0\u00C1\u00C2\u00C3\u00C4\u00C5\u00C7\u00C8\u00C9\u00CA"
                                "\u00D1\u00D6\u00DC\u00E0\u00E1\u00E2\u00E3\u00E4\u00E5\u00E7"
                                "\u00E8\u00E9\u00F1\u00F6\u00FC\u00FF\u0100\u0101\u0104\u0105"
                                "\u0106\u0107\u01C5\u1EF1\u1EAB abcdeghjkmnopqrsuvwxyz "
                                "ABCDEGHJKMNOPQRSUVXYZ 0123456789")},
        FontCase{"NotoSansCJK", "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc", 2,
                 SampleText(300)},
        FontCase{"KaitiVelmora", VELMORA_SOURCE_DIR "/app/data/KaitiVelmora.otf", 0,
                 SampleText(200)}),
    [](const ::testing::TestParamInfo<FontCase>& info) { return std::string(info.param.name); });

TEST(FontSubsetToolTest, WritesTheSubsetAndListsItsGlyphs) {
  const QString tool = QStringLiteral(VELMORA_FONTSUBSET_TOOL);
  const QString font = QStringLiteral(VELMORA_SOURCE_DIR "/app/data/KaitiVelmora.otf");
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString out = dir.filePath(QStringLiteral("out.ttf"));

  const ToolRun text = Execute(tool, {font, out, QStringLiteral("--text"), QStringLiteral("\\A")});
  ASSERT_EQ(text.exit_code, 0) << text.output.toStdString();
  // code, glyph, width, the characters: the slot gives the real character.
  const QList<QByteArray> lines = text.output.trimmed().split('\n');
  ASSERT_EQ(lines.size(), 2) << text.output.toStdString();
  EXPECT_TRUE(lines[0].endsWith(" 1000 U+5155")) << lines[0].toStdString();
  EXPECT_TRUE(lines[1].endsWith(" U+0041")) << lines[1].toStdString();
  QFile written(out);
  ASSERT_TRUE(written.open(QIODevice::ReadOnly));
  EXPECT_NO_THROW(TrueTypeCollection(written.readAll()).Font(0));

  const ToolRun glyphs =
      Execute(tool, {font, out, QStringLiteral("--glyphs"), QStringLiteral("3-4")});
  ASSERT_EQ(glyphs.exit_code, 0) << glyphs.output.toStdString();
  EXPECT_TRUE(glyphs.output.startsWith("0 ")) << glyphs.output.toStdString();
  EXPECT_EQ(glyphs.output.count('\n'), 3);

  const struct {
    QStringList args;
    int exit_code;
  } failures[] = {
      {{font, out, QStringLiteral("--glyphs"), QStringLiteral("4-3")}, 2},
      {{font, out}, 2},
      {{font, out, QStringLiteral("--glyphs"), QStringLiteral("99999")}, 2},
      {{font, out, QStringLiteral("--glyphs"), QStringLiteral("5000")}, 1},  // beyond the font
      {{tool, out, QStringLiteral("--text"), QStringLiteral("a")}, 1},       // not a font
      {{font, out, QStringLiteral("--name"), QStringLiteral("No Such Face"),
        QStringLiteral("--text"), QStringLiteral("a")},
       1},
  };
  for (const auto& failure : failures) {
    SCOPED_TRACE(failure.args.join(u' ').toStdString());
    const ToolRun run = Execute(tool, failure.args);
    EXPECT_EQ(run.exit_code, failure.exit_code) << run.output.toStdString();
  }
}

TEST(FontFuzzSeedsTest, EverySeedRunsThroughTheFuzzTarget) {
  const QDir seeds(QStringLiteral(VELMORA_FONT_SEEDS));
  const QStringList names = seeds.entryList(QDir::Files, QDir::Name);
  ASSERT_GE(names.size(), 4) << seeds.path().toStdString();
  for (const QString& name : names) {
    SCOPED_TRACE(name.toStdString());
    QFile file(seeds.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_LE(bytes.size(), 16 * 1024) << "seeds stay small";
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()), bytes.size());
  }
}

}  // namespace
}  // namespace ovx
