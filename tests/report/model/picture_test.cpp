// Pictures: recognition by content, refusal of damaged files, and the
// stored record that must give back the original bytes.
#include "report/model/picture.h"

#include "base/error.h"
#include "base/stream.h"
#include "report/storage/property_record.h"

#include <QBuffer>
#include <QImage>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

namespace {

using ovx::PictureKind;

QByteArray Encode(const QImage& image, const char* format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  EXPECT_TRUE(image.save(&buffer, format)) << format;
  return bytes;
}

// Noise compresses badly, so a cut lands inside the image data.
QImage Noise(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  quint32 state = 12345;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      state = state * 1103515245u + 12345u;
      image.setPixel(x, y, state >> 8);
    }
  }
  return image;
}

void Put16(QByteArray& d, int at, quint16 v) { qToLittleEndian(v, d.data() + at); }
void Put32(QByteArray& d, int at, quint32 v) { qToLittleEndian(v, d.data() + at); }

// A placeable metafile 200 x 100 units at 1440 per inch with only the
// end-of-file record.
QByteArray PlaceableMetafile() {
  QByteArray d(22 + 18 + 6, '\0');
  Put32(d, 0, 0x9AC6CDD7u);
  Put16(d, 10, 1440);  // right
  Put16(d, 12, 720);   // bottom
  Put16(d, 14, 1440);  // units per inch
  Put16(d, 22, 1);     // in memory
  Put16(d, 24, 9);     // header words
  Put16(d, 26, 0x0300);
  Put32(d, 28, 12);  // total words
  Put32(d, 40, 3);   // end record: size 3 words, function 0
  return d;
}

// An enhanced metafile header (108 bytes) and its end record, with a
// frame of 25.4 x 12.7 mm.
QByteArray EnhancedMetafile() {
  QByteArray d(108 + 20, '\0');
  Put32(d, 0, 1);
  Put32(d, 4, 108);
  Put32(d, 32, 2540);  // frame right, 0.01 mm
  Put32(d, 36, 1270);  // frame bottom
  d.replace(40, 4, " EMF");
  Put32(d, 44, 0x10000);
  Put32(d, 48, 128);
  Put32(d, 52, 2);
  Put32(d, 108, 14);  // EMR_EOF
  Put32(d, 112, 20);
  return d;
}

QByteArray WithOlderHeader(const QByteArray& bytes) {
  QByteArray d(8, '\0');
  Put16(d, 0, 1);
  Put16(d, 2, 256);
  Put32(d, 4, static_cast<quint32>(bytes.size()));
  return d + bytes;
}

struct RecognitionCase {
  const char* name;
  QByteArray data;
  PictureKind kind;  // kNone: must be refused
  QSize size;
};

TEST(PictureTest, RecognisesByContentAndRefusesWhatDoesNotDecode) {
  const QImage small = Noise(4, 3);
  const QByteArray jpeg = Encode(Noise(64, 64), "JPEG");
  const QByteArray png = Encode(Noise(64, 64), "PNG");
  const QByteArray bmp = Encode(small, "BMP");
  const RecognitionCase cases[] = {
      {"bitmap", bmp, PictureKind::kBitmap, {4, 3}},
      {"jpeg", jpeg, PictureKind::kJpeg, {64, 64}},
      {"png", png, PictureKind::kPng, {64, 64}},
      {"icon", Encode(QImage(16, 16, QImage::Format_ARGB32), "ICO"), PictureKind::kIcon, {16, 16}},
      {"placeable metafile", PlaceableMetafile(), PictureKind::kMetafile, {96, 48}},
      {"enhanced metafile", EnhancedMetafile(), PictureKind::kEnhancedMetafile, {96, 48}},
      {"older header", WithOlderHeader(png), PictureKind::kPng, {64, 64}},
      {"garbage", QByteArray("no picture in here"), PictureKind::kNone, {}},
      {"empty", QByteArray(), PictureKind::kNone, {}},
      {"jpeg cut in the scan", jpeg.left(jpeg.size() * 2 / 3), PictureKind::kNone, {}},
      {"jpeg cut in the header", jpeg.left(40), PictureKind::kNone, {}},
      {"jpeg signature only", QByteArray("\xFF\xD8"), PictureKind::kNone, {}},
      {"png cut before its end", png.left(png.size() - 12), PictureKind::kNone, {}},
      {"png signature only", png.left(8), PictureKind::kNone, {}},
      {"bitmap cut", bmp.left(20), PictureKind::kNone, {}},
      {"icon lookalike", QByteArray("\0\0\1\0\1\0garbage", 13), PictureKind::kNone, {}},
      {"metafile cut", PlaceableMetafile().left(30), PictureKind::kNone, {}},
      {"emf cut", EnhancedMetafile().left(110), PictureKind::kNone, {}},
  };
  for (const RecognitionCase& c : cases) {
    SCOPED_TRACE(c.name);
    TovxPicture picture;
    ASSERT_TRUE(picture.LoadFromData(bmp));  // something to clear
    const bool loaded = picture.LoadFromData(c.data);
    EXPECT_EQ(loaded, c.kind != PictureKind::kNone);
    EXPECT_EQ(picture.Kind(), c.kind);
    EXPECT_EQ(picture.PixelSize(), c.size);
    if (!loaded) {
      EXPECT_TRUE(picture.IsEmpty());
      EXPECT_TRUE(picture.Data().isEmpty());
      EXPECT_TRUE(picture.Image().isNull());
    }
  }
}

TEST(PictureTest, RecognitionAloneFollowsTheSignatureOrder) {
  EXPECT_EQ(ovx::RecognizePicture("BM").kind, PictureKind::kNone);  // shorter than 14
  EXPECT_EQ(ovx::RecognizePicture(QByteArray("BM") + QByteArray(12, '\0')).kind,
            PictureKind::kBitmap);
  const ovx::PictureRecognition older = ovx::RecognizePicture(WithOlderHeader(PlaceableMetafile()));
  EXPECT_EQ(older.kind, PictureKind::kMetafile);
  EXPECT_EQ(older.offset, 8);
  // The older header counts only when its length matches the rest exactly.
  QByteArray wrong_length = WithOlderHeader(PlaceableMetafile()) + "x";
  EXPECT_EQ(ovx::RecognizePicture(wrong_length).offset, 0);
}

TEST(PictureTest, KeepsTheOriginalBytesWithoutTheOlderHeader) {
  const QByteArray jpeg = Encode(Noise(8, 8), "JPEG");
  TovxPicture picture;
  ASSERT_TRUE(picture.LoadFromData(WithOlderHeader(jpeg)));
  EXPECT_EQ(picture.Data(), jpeg);
}

TEST(PictureTest, FileContentDecidesTheKindNotItsName) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath(QStringLiteral("背景.jpg"));
  {
    ovx::FileStream file(path, ovx::FileStream::Mode::kWrite);
    file.Write(Encode(Noise(5, 5), "BMP"));
  }
  TovxPicture picture;
  ASSERT_TRUE(picture.LoadFromFile(path));
  EXPECT_EQ(picture.Kind(), PictureKind::kBitmap);
  EXPECT_EQ(picture.PixelSize(), QSize(5, 5));
  EXPECT_THROW((void)picture.LoadFromFile(dir.filePath(QStringLiteral("missing.jpg"))), ovx::Error);
}

TEST(PictureTest, StreamLoadsFromTheStartOrFromThePosition) {
  const QByteArray png = Encode(Noise(3, 2), "PNG");
  ovx::MemoryStream stream(QByteArray("junk") + png);
  TovxPicture picture;
  EXPECT_FALSE(picture.LoadFromStream(stream, true));
  stream.Seek(4);
  ASSERT_TRUE(picture.LoadFromStream(stream, false));
  EXPECT_EQ(picture.Data(), png);
}

TEST(PictureTest, DefinedDataRoundTripKeepsTheBytesExactly) {
  const QByteArray inputs[] = {Encode(Noise(7, 5), "JPEG"), Encode(Noise(7, 5), "BMP"),
                               PlaceableMetafile(), EnhancedMetafile()};
  for (const QByteArray& bytes : inputs) {
    TovxPicture picture;
    ASSERT_TRUE(picture.LoadFromData(bytes));
    const QByteArray record = picture.DefinedData();
    ovx::PropertyRecordReader reader(record);
    const ovx::RecordValue value = reader.Next();
    EXPECT_EQ(value.name, "Data");
    EXPECT_EQ(value.type, ovx::RecordValueType::kBinary);
    const QByteArray class_name = TovxPicture::KindClassName(picture.Kind());
    EXPECT_EQ(value.bytes, char(class_name.size()) + class_name + bytes);
    EXPECT_TRUE(reader.AtEnd());

    TovxPicture copy;
    copy.ReadDefinedData(record);
    EXPECT_TRUE(copy.SameAs(picture));
    EXPECT_EQ(copy.DefinedData(), record);
  }
  EXPECT_TRUE(TovxPicture().DefinedData().isEmpty());
}

TEST(PictureTest, DamagedRecordsThrowAndLeaveThePictureEmpty) {
  const QByteArray png = Encode(Noise(3, 3), "PNG");
  auto record = [](const QByteArray& payload) {
    ovx::PropertyRecordWriter writer;
    writer.WriteBinary("Data", payload);
    return writer.Data();
  };
  TovxPicture good;
  ASSERT_TRUE(good.LoadFromData(png));
  const QByteArray full = good.DefinedData();
  const QByteArray damaged[] = {
      full.left(full.size() - 1),                          // binary length beyond the end
      record(QByteArray()),                                // no class name
      record(QByteArray("\x20TPng", 5)),                   // class name cut off
      record(QByteArray("\x08TUnknown") + png),            // unknown class
      record(QByteArray("\x09TPngImage") + png.left(30)),  // picture cut off
      record(QByteArray("\x07TBitmap") + png),             // class and content disagree
  };
  for (const QByteArray& bytes : damaged) {
    TovxPicture picture;
    ASSERT_TRUE(picture.LoadFromData(png));
    EXPECT_THROW(picture.ReadDefinedData(bytes), ovx::Error);
    EXPECT_TRUE(picture.IsEmpty());
  }
}

TEST(PictureTest, EqualContentSharesOneDecodedImage) {
  const QByteArray jpeg = Encode(Noise(32, 32), "JPEG");
  TovxPicture a;
  TovxPicture b;
  ASSERT_TRUE(a.LoadFromData(jpeg));
  ASSERT_TRUE(b.LoadFromData(QByteArray(jpeg.constData(), jpeg.size())));  // a separate buffer
  EXPECT_EQ(a.Image().constBits(), b.Image().constBits());
  EXPECT_EQ(a.Data().constData(), b.Data().constData());
}

}  // namespace
