// A private resource table for each test: its own language folder and
// settings file, so tests never see the user's languages or choice.
#pragma once

#include "resources/resources.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace ovx::test {

class ResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    resources_ = MakeResources();
  }

  std::unique_ptr<TovxResources> MakeResources(bool load_built_in = true) const {
    TovxResources::Options options;
    options.language_dir = dir_.path();
    options.settings_file = dir_.filePath(QStringLiteral("settings.ini"));
    options.load_built_in = load_built_in;
    return std::make_unique<TovxResources>(options);
  }

  // Writes `bytes` to `name` in the language folder; answers the path.
  QString WriteFile(const QString& name, const QByteArray& bytes) const {
    const QString path = dir_.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(bytes);
    return path;
  }

  QTemporaryDir dir_;
  std::unique_ptr<TovxResources> resources_;
};

// A resource document around `body` (StrRes elements).
inline QByteArray ResourceXml(const QByteArray& body, const QByteArray& code_page = "1252") {
  return "<?xml version=\"1.1\" encoding=\"utf-8\"?>\n<Resources CodePage=\"" + code_page +
         "\">\n" + body + "\n</Resources>\n";
}

}  // namespace ovx::test
