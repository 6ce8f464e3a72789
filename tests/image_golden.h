// Golden images, compared with a tolerance: antialiased edges of glyphs may
// move by a shade between library versions, geometry may not.
#pragma once

#include "tests/test_support.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cstdlib>

namespace ovx::test {

// Compares `actual` with the PNG tests/data/<relative>: same size, and no
// more than `max_bad_permille` per mille of pixels with a channel differing
// by more than `channel_tolerance`. VELMORA_UPDATE_GOLDENS=1 writes the
// file instead; on a mismatch the actual image is written beside it as
// <name>.actual.png for review.
inline void ExpectImageGolden(const QString& relative, const QImage& actual,
                              int channel_tolerance = 24, int max_bad_permille = 2) {
  const QString path = DataPath(relative);
  const QImage image = actual.convertToFormat(QImage::Format_RGB32);
  if (qEnvironmentVariableIntValue("VELMORA_UPDATE_GOLDENS") == 1) {
    ASSERT_TRUE(image.save(path, "PNG")) << path.toStdString();
    return;
  }
  QImage golden(path);
  ASSERT_FALSE(golden.isNull()) << path.toStdString() << " (missing golden image)";
  golden = golden.convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(golden.size(), image.size()) << path.toStdString();
  qint64 bad = 0;
  for (int y = 0; y < image.height(); ++y) {
    const auto* a = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    const auto* g = reinterpret_cast<const QRgb*>(golden.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      if (std::abs(qRed(a[x]) - qRed(g[x])) > channel_tolerance ||
          std::abs(qGreen(a[x]) - qGreen(g[x])) > channel_tolerance ||
          std::abs(qBlue(a[x]) - qBlue(g[x])) > channel_tolerance) {
        ++bad;
      }
    }
  }
  const qint64 allowed = qint64(image.width()) * image.height() * max_bad_permille / 1000;
  if (bad > allowed) image.save(path + QStringLiteral(".actual.png"), "PNG");
  EXPECT_LE(bad, allowed) << "pixels differing from " << path.toStdString();
}

}  // namespace ovx::test
