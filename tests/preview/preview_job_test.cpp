// The rules of a print or an export from the preview, without a window.
#include "preview/preview_job.h"

#include <gtest/gtest.h>

namespace ovx {
namespace {

TEST(PreviewJob, OneRunAtATimeAndNothingElseWhileItRuns) {
  PreviewJob job;
  EXPECT_TRUE(job.Allows());
  EXPECT_FALSE(job.Begin(PreviewJobKind::kNone, 5));
  ASSERT_TRUE(job.Begin(PreviewJobKind::kExport, 5));
  EXPECT_TRUE(job.Busy());
  EXPECT_FALSE(job.Allows());
  // A second export or a print is refused and leaves the first alone.
  EXPECT_FALSE(job.Begin(PreviewJobKind::kExport, 9));
  EXPECT_FALSE(job.Begin(PreviewJobKind::kPrint, 9));
  EXPECT_EQ(job.Kind(), PreviewJobKind::kExport);
  EXPECT_EQ(job.Total(), 5);
  EXPECT_FALSE(job.End());
  EXPECT_TRUE(job.Allows());
  EXPECT_TRUE(job.Begin(PreviewJobKind::kPrint, 3));
}

TEST(PreviewJob, StepsCountPagesUntilACancel) {
  PreviewJob job;
  EXPECT_FALSE(job.Step(1));  // idle: nothing to count
  ASSERT_TRUE(job.Begin(PreviewJobKind::kPrint, 50));
  for (int page = 1; page <= 9; ++page) EXPECT_TRUE(job.Step(page));
  // Cancelled while page 10 goes out: it is counted, the run stops after it.
  job.Cancel();
  EXPECT_TRUE(job.CancelRequested());
  EXPECT_FALSE(job.Step(10));
  EXPECT_EQ(job.Steps(), 10);
  EXPECT_EQ(job.Page(), 10);
  (void)job.End();
  // The next run starts afresh.
  ASSERT_TRUE(job.Begin(PreviewJobKind::kPrint, 50));
  EXPECT_FALSE(job.CancelRequested());
  EXPECT_EQ(job.Steps(), 0);
  EXPECT_TRUE(job.Step(1));
}

TEST(PreviewJob, ClosingWaitsForTheRunAndStopsIt) {
  PreviewJob job;
  EXPECT_TRUE(job.RequestClose());  // idle: closes at once
  ASSERT_TRUE(job.Begin(PreviewJobKind::kExport, 4));
  EXPECT_TRUE(job.Step(1));
  EXPECT_FALSE(job.RequestClose());
  EXPECT_TRUE(job.ClosePending());
  EXPECT_TRUE(job.CancelRequested());
  EXPECT_FALSE(job.Step(2));
  EXPECT_TRUE(job.End());  // the close that waited goes ahead now
  EXPECT_FALSE(job.ClosePending());
  EXPECT_FALSE(job.End());
  job.Cancel();  // idle: ignored
  EXPECT_FALSE(job.CancelRequested());
}

}  // namespace
}  // namespace ovx
