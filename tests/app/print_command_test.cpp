// The print command with the built-in data, seen through its JSON dump:
// the cover, the geometry of the first body page, the page limits, and the
// background pictures (including missing and damaged ones).
#include "app/core/print_command.h"
#include "app/core/fixed_data.h"
#include "app/core/report_dump.h"
#include "base/error.h"
#include "report/model/report.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace ovx::app {
namespace {

PrintSettings BuiltIn() {
  PrintSettings settings;
  settings.body_lines = BodyTextLines();
  settings.title_lines = TitleLines();
  settings.data_directory = QStringLiteral(VELMORA_APP_DATA_DIR);
  return settings;
}

QByteArray Dump(const PrintSettings& settings) {
  TovxReport report;
  Typesetter typesetter;
  BuildReport(report, settings, typesetter);
  return DumpReportJson(report);
}

TEST(PrintCommandTest, BuiltInReport) {
  const QByteArray dump = Dump(BuiltIn());
  QJsonParseError error;
  const QJsonArray pages = QJsonDocument::fromJson(dump, &error).object()["pages"].toArray();
  ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
  ASSERT_GT(pages.size(), 30);
  EXPECT_EQ(pages[0]["class"], "TovxDataPage");
  EXPECT_EQ(pages[0]["name"], "Data");

  const QJsonObject cover = pages[1].toObject();
  EXPECT_EQ(cover["name"], "Page1");
  EXPECT_EQ(cover["orientation"], "poLandscape");
  EXPECT_EQ(cover["backPicture"], true);
  const QJsonObject title = cover["objects"][0].toObject();
  EXPECT_EQ(title["name"], "title");
  EXPECT_EQ(title["text"], "道\n德\n经");
  EXPECT_EQ(
      title["font"].toObject(),
      (QJsonObject{{"name", "楷体-Velmora"}, {"size", 48}, {"color", -16777208}, {"style", 1}}));

  int cells = 0;
  for (qsizetype p = 2; p < pages.size(); ++p) {
    const QJsonObject page = pages[p].toObject();
    EXPECT_EQ(page["class"], "TovxReportPage");
    EXPECT_EQ(page["name"], "");
    EXPECT_EQ(page["orientation"], "poPortrait");
    EXPECT_EQ(page["paperSize"], 256);
    EXPECT_EQ(page["paperWidth"], cover["paperWidth"]);
    EXPECT_EQ(page["paperHeight"], cover["paperHeight"]);
    EXPECT_EQ(page["leftMargin"], 5);
    EXPECT_EQ(page["backPicture"], true);
    int grid_cells = 0;
    for (const QJsonValue& object : page["objects"].toArray()) {
      EXPECT_EQ(object["name"], QStringLiteral("F%1").arg(cells++));
      if (object["width"].toDouble() > 20) ++grid_cells;
    }
    EXPECT_LE(grid_cells, 15 * 12);
  }

  const QJsonArray first = pages[2]["objects"].toArray();
  const QJsonObject f0 = first[0].toObject();
  EXPECT_NEAR(f0["left"].toDouble(), 436.85, 0.005);
  EXPECT_EQ(f0["top"], 0);
  EXPECT_NEAR(f0["width"].toDouble(), 29.92, 0.005);
  EXPECT_EQ(f0["width"], f0["height"]);
  EXPECT_EQ(f0["font"]["size"], 15);
  EXPECT_EQ(f0["text"], "道");
  // Page one: a single digit in the strip right of the grid.
  const QJsonObject digit = first.last().toObject();
  EXPECT_EQ(digit["text"], "1");
  EXPECT_NEAR(digit["left"].toDouble(), 474.25, 0.005);
  EXPECT_NEAR(digit["top"].toDouble(), 344.09, 0.005);
  EXPECT_NEAR(digit["width"].toDouble(), 14.96, 0.005);
  EXPECT_EQ(digit["font"]["size"], 7);
  // Page ten: two digits, the second a quarter cell further right.
  const QJsonArray tenth = pages[11]["objects"].toArray();
  EXPECT_EQ(tenth[tenth.size() - 2]["text"], "1");
  EXPECT_EQ(tenth.last()["text"], "0");
  EXPECT_NEAR(tenth.last()["left"].toDouble(), 481.73, 0.005);
}

TEST(PrintCommandTest, RunningTwiceGivesTheSameReport) {
  TovxReport report;
  Typesetter typesetter;
  BuildReport(report, BuiltIn(), typesetter);
  const QByteArray once = DumpReportJson(report);
  BuildReport(report, BuiltIn(), typesetter);
  EXPECT_EQ(DumpReportJson(report), once);
  EXPECT_EQ(Dump(BuiltIn()), once);
}

TEST(PrintCommandTest, OptionsCleared) {
  PrintSettings settings = BuiltIn();
  settings.cover_background = false;
  settings.body_background = false;
  // No picture file is touched: a folder without them works.
  settings.data_directory = QStringLiteral("/nonexistent");
  settings.remove_punctuation = false;
  TovxReport report;
  Typesetter typesetter;
  const BuildResult kept = BuildReport(report, settings, typesetter);
  const QJsonArray pages =
      QJsonDocument::fromJson(DumpReportJson(report)).object()["pages"].toArray();
  for (const QJsonValue& page : pages) {
    if (page["class"] == "TovxReportPage") {
      EXPECT_EQ(page["backPicture"], false);
    }
  }
  settings.remove_punctuation = true;
  const BuildResult removed = BuildReport(report, settings, typesetter);
  EXPECT_GT(kept.cells, removed.cells + 1000);
}

TEST(PrintCommandTest, BadPicturesStopWithTheFileName) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  PrintSettings settings = BuiltIn();
  settings.data_directory = dir.path();
  TovxReport report;
  Typesetter typesetter;
  struct Case {
    const char* file;
    QByteArray content;  // empty: missing
  };
  for (const Case& c : {Case{"bg_fm.jpg", {}}, Case{"bg_fm.jpg", "\xFF\xD8\xFF garbage"},
                        Case{"bg_zw.jpg", {}}, Case{"bg_zw.jpg", "not a picture"}}) {
    QFile::remove(dir.filePath(QStringLiteral("bg_fm.jpg")));
    QFile::remove(dir.filePath(QStringLiteral("bg_zw.jpg")));
    if (QByteArrayView(c.file) == "bg_zw.jpg") {
      QFile::copy(QStringLiteral(VELMORA_APP_DATA_DIR "/bg_fm.jpg"),
                  dir.filePath(QStringLiteral("bg_fm.jpg")));
    }
    if (!c.content.isEmpty()) {
      QFile file(dir.filePath(QLatin1String(c.file)));
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
      file.write(c.content);
    }
    try {
      BuildReport(report, settings, typesetter);
      ADD_FAILURE() << c.file << " should not load";
    } catch (const ovx::Error& e) {
      EXPECT_TRUE(e.Message().contains(QLatin1String(c.file))) << e.Message().toStdString();
    }
  }
  // A second press without the pictures works and starts from scratch.
  settings.cover_background = false;
  settings.body_background = false;
  BuildReport(report, settings, typesetter);
  settings.data_directory = QStringLiteral(VELMORA_APP_DATA_DIR);
  EXPECT_EQ(DumpReportJson(report), Dump(settings));
}

TEST(PrintCommandTest, BadGridNumbers) {
  for (const char* text : {"", "abc", "0", "-3", "51", "1.5", "99999999999"}) {
    PrintSettings settings = BuiltIn();
    settings.chars = QLatin1String(text);
    TovxReport report;
    Typesetter typesetter;
    EXPECT_THROW(BuildReport(report, settings, typesetter), ovx::Error) << text;
  }
  EXPECT_EQ(ReadGridNumber(QStringLiteral(" 50 "), QStringLiteral("lines")), 50);
}

}  // namespace
}  // namespace ovx::app
