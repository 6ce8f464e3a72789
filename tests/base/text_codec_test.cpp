#include "base/text_codec.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace ovx {
namespace {

QByteArray Bytes(std::initializer_list<unsigned char> bytes) {
  QByteArray out;
  for (const unsigned char b : bytes) out += static_cast<char>(b);
  return out;
}

TEST(GbkTest, DecodesAndReplacesOneCharacterPerBadByte) {
  const struct {
    QByteArray bytes;
    QString expected;
  } cases[] = {
      {Bytes({0xD4, 0xA4, 0xC9, 0xE8}), QStringLiteral(u"预设")},
      {QByteArray("abc 123"), QStringLiteral("abc 123")},
      {Bytes({0x80}), QStringLiteral(u"€")},
      {Bytes({0xA1, 0xA4}), QStringLiteral(u"·")},
      {QByteArray("a\0b", 3), QString::fromUtf16(u"a\0b", 3)},
      {Bytes({0xFF}), QStringLiteral(u"\uFFFD")},
      {Bytes({'a', 0x81}), QStringLiteral(u"a\uFFFD")},         // truncated at the end
      {Bytes({0x81, 0x20, 'x'}), QStringLiteral(u"\uFFFD x")},  // bad trail byte survives
      {Bytes({0xD4, 0xA4, 0xFF, 0xFF, 0xC9, 0xE8}), QStringLiteral(u"预\uFFFD\uFFFD设")},
      // A user-defined code (no mapping) is one character; its trail byte
      // must not pair with the next byte.
      {Bytes({0xAA, 0xA1, 0xA1, 0xA1}), QStringLiteral(u"\uFFFD\u3000")},
      {Bytes({0xD4, 0xA4, 0xAA, 0xA1, 0xC9, 0xE8}), QStringLiteral(u"预\uFFFD设")},
      {QByteArray(), QString()},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FromGbk(c.bytes), c.expected) << c.bytes.toHex().toStdString();
  }
}

TEST(GbkTest, EncodesAndReportsLoss) {
  const struct {
    QString text;
    QByteArray expected;
    bool lossless;
  } cases[] = {
      {QStringLiteral(u"预设"), Bytes({0xD4, 0xA4, 0xC9, 0xE8}), true},
      {QStringLiteral(u"A€"), Bytes({'A', 0x80}), true},
      {QString(), QByteArray(), true},
      {QStringLiteral(u"a\U00020000b"), QByteArray("a?b"), false},  // one "?" per character
      {QStringLiteral(u"\U0001F600"), QByteArray("?"), false},
      {QStringLiteral(u"\u0E01预"), Bytes({'?', 0xD4, 0xA4}), false},  // Thai
      {QString(QChar(0xD800)) + u'x', QByteArray("?x"), false},        // lone surrogates
      {QString(QChar(0xDC00)) + u'x', QByteArray("?x"), false},
      {u'x' + QString(QChar(0xD800)), QByteArray("x?"), false},
  };
  for (const auto& c : cases) {
    bool lossless = !c.lossless;
    EXPECT_EQ(ToGbk(c.text, &lossless), c.expected) << c.text.toStdString();
    EXPECT_EQ(lossless, c.lossless) << c.text.toStdString();
  }
  EXPECT_EQ(ToGbk(u"预"), Bytes({0xD4, 0xA4}));  // the out-parameter is optional
}

TEST(Utf8Test, ValidatesStrictly) {
  const struct {
    QByteArray bytes;
    bool valid;
  } cases[] = {
      {QByteArray(), true},
      {QByteArray("plain"), true},
      {QStringLiteral(u"预设").toUtf8(), true},
      {Bytes({0xF0, 0xA0, 0x80, 0x80}), true},   // U+20000
      {Bytes({0xF4, 0x8F, 0xBF, 0xBF}), true},   // U+10FFFF
      {Bytes({0xD4, 0xA4, 0xC9, 0xE8}), false},  // GBK
      {Bytes({0xC0, 0x80}), false},              // overlong
      {Bytes({0xE0, 0x80, 0x80}), false},        // overlong
      {Bytes({0xF0, 0x80, 0x80, 0x80}), false},  // overlong
      {Bytes({0xED, 0xA0, 0x80}), false},        // surrogate
      {Bytes({0xF4, 0x90, 0x80, 0x80}), false},  // above U+10FFFF
      {Bytes({0xF5, 0x80, 0x80, 0x80}), false},
      {Bytes({0xE9, 0xA2}), false},  // truncated
      {Bytes({0x80}), false},        // stray continuation byte
      {Bytes({0xE9, 0x41, 0x84}), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsValidUtf8(c.bytes), c.valid) << c.bytes.toHex().toStdString();
  }
}

TEST(DecodeNarrowTest, PrefersUtf8AndFallsBackToGbk) {
  const QString text = QStringLiteral(u"预设 \U00020000\U0001F600 end");
  EXPECT_EQ(DecodeNarrow(text.toUtf8()), text);  // characters outside the BMP survive
  EXPECT_EQ(DecodeNarrow(Bytes({0xD4, 0xA4, 0xC9, 0xE8})), QStringLiteral(u"预设"));
  EXPECT_EQ(DecodeNarrow("Memo1"), QStringLiteral("Memo1"));
  EXPECT_EQ(DecodeNarrow(QByteArray()), QString());
}

TEST(GbkTest, ConvertsFromSeveralThreadsAtOnce) {
  const QByteArray gbk = Bytes({0xD4, 0xA4, 0xC9, 0xE8, 'a', 0xFF, 0x80});
  const QString text = QStringLiteral(u"预设a\uFFFD€");
  std::vector<int> failures(4, 0);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < failures.size(); ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i) {
        bool lossless = true;
        if (FromGbk(gbk) != text) ++failures[t];
        if (ToGbk(text, &lossless) != Bytes({0xD4, 0xA4, 0xC9, 0xE8, 'a', '?', 0x80})) {
          ++failures[t];
        }
        if (lossless) ++failures[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const int f : failures) EXPECT_EQ(f, 0);
}

}  // namespace
}  // namespace ovx
