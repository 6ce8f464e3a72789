// The fuzz seeds (and inputs the fuzzer once found) run as ordinary tests:
// each loads or fails with the format error, and passes the fuzz target's
// own checks.
#include "report/storage/xml_document.h"

#include "base/stream.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace ovx {
namespace {

TEST(XmlSeedTest, EverySeedLoadsOrFailsCleanly) {
  const QDir dir(QStringLiteral(VELMORA_XML_SEEDS));
  const QStringList names = dir.entryList(QDir::Files, QDir::Name);
  ASSERT_GE(names.size(), 5) << dir.path().toStdString();
  int loaded = 0;
  for (const QString& name : names) {
    SCOPED_TRACE(name.toStdString());
    QFile file(dir.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    TovxXMLDocument document;
    MemoryStream stream(bytes);
    try {
      document.LoadFromStream(stream, true);
      ++loaded;
    } catch (const TovxInvalidXMLException&) {
    }
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()), bytes.size());
  }
  EXPECT_GT(loaded, 0);
}

}  // namespace
}  // namespace ovx
