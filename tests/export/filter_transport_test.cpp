// Output transports: files appear only when complete, names resolve
// against the base folder, and the file-dialog transport asks the host's
// save dialog (or fails clearly without one).
#include "base/error.h"
#include "base/stream.h"
#include "export/image_export.h"
#include "export/output_transport.h"
#include "export/pdf_export.h"
#include "report/model/report.h"
#include "resources/resources.h"
#include "tests/export/filter_fixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace ovx::test {
namespace {

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(TransportTest, FilesAppearOnlyWhenTheirStreamIsGivenBack) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  {
    QFile old(dir.filePath("kept.bin"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
  }
  TovxFileTransport transport;
  transport.SetBasePath(dir.path());
  ASSERT_TRUE(transport.OpenFilter());

  Stream& done = transport.GetStream(QStringLiteral("done.bin"));
  done.Write(QByteArray("done"));
  EXPECT_FALSE(QFile::exists(dir.filePath("done.bin")));
  transport.FreeStream(done);
  EXPECT_EQ(ReadAll(dir.filePath("done.bin")), "done");

  // A run that fails halfway leaves the file it was replacing alone.
  Stream& broken = transport.GetStream(QStringLiteral("kept.bin"));
  broken.Write(QByteArray("half"));
  EXPECT_EQ(transport.OpenStreamCount(), 1);
  transport.CloseFilter();
  EXPECT_EQ(ReadAll(dir.filePath("kept.bin")), "old");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
            (QStringList{"done.bin", "kept.bin"}));

  Stream& replace = transport.GetStream(QStringLiteral("kept.bin"));
  replace.Write(QByteArray("new"));
  transport.FreeStream(replace);
  EXPECT_EQ(ReadAll(dir.filePath("kept.bin")), "new");

  EXPECT_THROW(transport.GetStream(dir.filePath("missing/x.bin")), Error);
}

// A filter of `Base` that fails on one object, as a damaged font or a full
// disk would in the middle of a run.
template <class Base>
class FailingFilter : public Base {
 public:
  FailingFilter() : Base(nullptr, false) {}
  void ExportObject(TovxComponent& object) override {
    if (object.Name() == fail_at) throw Error(QString(), QStringLiteral("disk on fire"));
    Base::ExportObject(object);
  }
  QString fail_at;
};

// An export run that fails or is cancelled halfway leaves every file it
// would have replaced as it was (the PDF and all JPEG pages, also those
// written before the failure); a run that ends well replaces them all.
TEST(TransportTest, AFailedOrCancelledRunLeavesTheFilesItWouldReplace) {
  enum class Ending { kFails, kCancelled, kGoesWell };
  for (const Ending ending : {Ending::kFails, Ending::kCancelled, Ending::kGoesWell}) {
    for (const bool pdf : {true, false}) {
      SCOPED_TRACE(testing::Message() << "pdf " << pdf << " ending " << static_cast<int>(ending));
      QTemporaryDir dir;
      const QStringList targets =
          pdf ? QStringList{dir.filePath("out.pdf")}
              : QStringList{dir.filePath("out.1.jpg"), dir.filePath("out.2.jpg"),
                            dir.filePath("out.3.jpg")};
      for (const QString& target : targets) {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
      }
      auto report = PreparedReport(3);
      FailingFilter<TovxPDFExport> pdf_filter;
      FailingFilter<TovxJPEGExport> jpeg_filter;
      TovxCustomExportFilter& filter =
          pdf ? static_cast<TovxCustomExportFilter&>(pdf_filter) : jpeg_filter;
      filter.SetShowDialog(false);
      filter.SetFileName(dir.filePath(pdf ? "out.pdf" : "out.jpg"));
      if (ending == Ending::kFails) (pdf ? pdf_filter.fail_at : jpeg_filter.fail_at) = "P3A";
      if (ending == Ending::kCancelled) {
        report->on_progress = [&](int page) {
          if (page == 3) report->SetTerminated(true);
        };
        filter.SetShowProgress(true);
      }
      const bool exported = PreparedPages(*report)->Export(filter);
      EXPECT_EQ(exported, ending != Ending::kFails);
      for (const QString& target : targets) {
        if (ending == Ending::kGoesWell) {
          EXPECT_NE(ReadAll(target), "old") << target.toStdString();
        } else {
          EXPECT_EQ(ReadAll(target), "old") << target.toStdString();
        }
      }
      EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), targets.size());
    }
  }
}

TEST(TransportTest, TakesTheFiltersSettingsAndItsFolder) {
  struct Case {
    const char* file_name;
    const char* default_path;
    const char* base_path;
  };
  const Case cases[] = {
      {"velmora", "/srv/out", "/srv/out"},
      {"/data/velmora", "/srv/out", "/data"},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file_name);
    TovxJPEGExport filter(nullptr, false);
    filter.SetFileName(QString::fromUtf8(c.file_name));
    filter.SetDefaultPath(QString::fromUtf8(c.default_path));
    filter.SetOverwritePrompt(true);
    TovxFileTransport transport;
    transport.TakeSettingsFrom(filter);
    EXPECT_EQ(transport.BasePath(), QString::fromUtf8(c.base_path));
    EXPECT_EQ(transport.FileName(), QString::fromUtf8(c.file_name));
    EXPECT_EQ(transport.DefaultExt(), ".jpg");
    EXPECT_EQ(transport.FilterString(), filter.FilterDesc());
    EXPECT_TRUE(transport.OverwritePrompt());
  }
}

TEST(TransportTest, QtFileFilterFromFilterDescriptions) {
  EXPECT_EQ(QtFileFilter(QStringLiteral("Jpeg 图 (*.jpg)|*.jpg")), "Jpeg 图 (*.jpg)");
  EXPECT_EQ(QtFileFilter(QStringLiteral("Pictures|*.jpg;*.jpeg|All|*")),
            "Pictures (*.jpg *.jpeg);;All (*)");
  EXPECT_EQ(QtFileFilter(QStringLiteral("Odd")), "Odd (*)");
  EXPECT_EQ(QtFileFilter(QString()), "");
}

// A settings dialog that accepts without showing anything.
class AcceptingDialog : public ExportSettingsDialog {
 public:
  void FillFrom(TovxCustomExportFilter&) override {}
  ModalResult Execute() override { return ModalResult::kOk; }
  void CopyTo(TovxCustomExportFilter&) override {}
};

class FileDialogTransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterExportDialog(QStringLiteral("TovxIMGExportDialog"),
                         [] { return std::make_unique<AcceptingDialog>(); });
    report_ = PreparedReport(2);
    filter_.SetFileName(QStringLiteral("velmora"));
    filter_.SetSeparateFiles(false);
  }
  void TearDown() override {
    SetSaveDialogHook(nullptr);
    RegisterExportDialog(QStringLiteral("TovxIMGExportDialog"), nullptr);
  }

  std::unique_ptr<TovxReport> report_;
  TovxJPEGExport filter_{nullptr, false};
};

TEST_F(FileDialogTransportTest, TheChosenNameIsWrittenAndDoesNotStayOnTheFilter) {
  QTemporaryDir dir;
  SaveDialogRequest asked;
  SetSaveDialogHook([&](const SaveDialogRequest& request) -> std::optional<QString> {
    asked = request;
    return dir.filePath("chosen.jpg");
  });
  EXPECT_TRUE(PagesOf(*report_).Export(filter_));
  EXPECT_TRUE(QFile::exists(dir.filePath("chosen.jpg")));
  EXPECT_EQ(asked.initial_name, "velmora");
  EXPECT_EQ(asked.default_ext, ".jpg");
  EXPECT_TRUE(asked.filter.endsWith(u"(*.jpg)")) << asked.filter.toStdString();
  EXPECT_EQ(filter_.FileName(), "velmora");
  // The transport is kept for the next run until the dialog setting changes.
  ASSERT_NE(filter_.DialogTransport(), nullptr);
  filter_.SetShowDialog(true);
  EXPECT_EQ(filter_.DialogTransport(), nullptr);
}

TEST_F(FileDialogTransportTest, CancellingTheSaveDialogWritesNothing) {
  QTemporaryDir dir;
  SetSaveDialogHook([](const SaveDialogRequest&) { return std::optional<QString>(); });
  filter_.SetDefaultPath(dir.path());
  EXPECT_FALSE(PagesOf(*report_).Export(filter_));
  EXPECT_TRUE(QDir(dir.path()).isEmpty());
  EXPECT_TRUE(report_->Errors().isEmpty());
}

TEST_F(FileDialogTransportTest, WithoutASaveDialogTheExportFailsWithAMessage) {
  EXPECT_FALSE(PagesOf(*report_).Export(filter_));
  ASSERT_EQ(report_->Errors().size(), 1);
  EXPECT_EQ(report_->Errors()[0],
            TovxResources::Instance().Message(Error(QStringLiteral("rsExportNoSaveDialog"), "")));
}

}  // namespace
}  // namespace ovx::test
