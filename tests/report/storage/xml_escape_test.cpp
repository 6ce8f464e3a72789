#include "report/storage/xml_escape.h"
#include "report/storage/xml_attributes.h"
#include "report/storage/xml_item.h"

#include <gtest/gtest.h>

namespace ovx {
namespace {

QByteArray Bytes(const char* text) { return QByteArray(text); }

TEST(XmlEscapeTest, EscapesTheSevenBytesOnly) {
  struct Case {
    QByteArray value;
    QByteArray escaped;
  };
  const Case cases[] = {
      {Bytes("plain"), Bytes("plain")},
      {Bytes("a\r\nb"), Bytes("a&#13;&#10;b")},
      {Bytes("\"<&>\""), Bytes("&#34;&#60;&#38;&#62;&#34;")},
      // A literal "&quot;" is text like any other: its "&" is escaped.
      {Bytes("say &quot;hi&quot;"), Bytes("say &#38;quot;hi&#38;quot;")},
      // NUL is a reference whatever the length of the value.
      {QByteArray("a\0b", 3), Bytes("a&#0;b")},
      {QByteArray(40, 'x') + QByteArray(1, '\0'), QByteArray(40, 'x') + "&#0;"},
      {Bytes("tab\there\x01\x1f\x7f"), Bytes("tab\there\x01\x1f\x7f")},
      {Bytes("龍飛鳳舞"), Bytes("龍飛鳳舞")},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(XmlEscape(c.value), c.escaped) << c.value.toStdString();
    EXPECT_EQ(XmlUnescape(c.escaped), c.value) << c.escaped.toStdString();
  }
}

TEST(XmlEscapeTest, EveryByteRoundTrips) {
  QByteArray all;
  for (int i = 0; i < 256; ++i) all.append(static_cast<char>(i));
  all += all;
  EXPECT_EQ(XmlUnescape(XmlEscape(all)), all);
}

TEST(XmlUnescapeTest, ReferencesAndEntities) {
  struct Case {
    const char* escaped;
    QByteArray value;
  };
  const Case cases[] = {
      {"&quot;&amp;&lt;&gt;", Bytes("\"&<>")},
      {"&#65;&#0065;&#9;", Bytes("AA\t")},
      {"&#0;", QByteArray(1, '\0')},
      // From 128 up a reference is a Unicode character, written as UTF-8.
      {"&#128;", Bytes("\xC2\x80")},
      {"&#233;", Bytes("é")},
      {"&#40845;", Bytes("龍")},
      {"&#131083;", Bytes("\xF0\xA0\x80\x8B")},
      {"&#1114111;", Bytes("\xF4\x8F\xBF\xBF")},
      // Malformed references stay exactly as they are.
      {"&#65", Bytes("&#65")},
      {"a&#6", Bytes("a&#6")},
      {"&#", Bytes("&#")},
      {"&", Bytes("&")},
      {"&#;", Bytes("&#;")},
      {"&#x41;", Bytes("&#x41;")},
      {"&#6a5;", Bytes("&#6a5;")},
      {"&#-1;", Bytes("&#-1;")},
      {"&#1114112;", Bytes("&#1114112;")},
      {"&#55296;", Bytes("&#55296;")},
      {"&#57343;", Bytes("&#57343;")},
      {"&#99999999999999999999999999;", Bytes("&#99999999999999999999999999;")},
      {"&apos;&nbsp;&quot", Bytes("&apos;&nbsp;&quot")},
      {"&&#65;", Bytes("&A")},
      {"x&#65 &#66;", Bytes("x&#65 B")},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(XmlUnescape(c.escaped), c.value) << c.escaped;
  }
}

TEST(XmlUnescapeTest, StopsAtTheEndOfTheValue) {
  // The view ends inside a reference whose ";" lies beyond it.
  const QByteArray text("v=\"&#65\" w=\"1;\"");
  EXPECT_EQ(XmlUnescape(QByteArrayView(text).sliced(3, 4)), "&#65");
}

TEST(XmlAttributeTest, PropReadsPairsNotSubstrings) {
  struct Case {
    const char* text;
    const char* name;
    QByteArray value;
  };
  const Case cases[] = {
      {R"(Name="Page1")", "name", Bytes("Page1")},
      {R"(Name="Page1" PaperSize="256")", "PAPERSIZE", Bytes("256")},
      {R"(Name="Page1")", "Nam", Bytes("")},
      {R"(Name="Page1")", "Width", Bytes("")},
      // A value that looks like an attribute must not shadow the real one.
      {R"(a="x t=" t="1")", "t", Bytes("1")},
      {R"(a="x t=")", "t", Bytes("")},
      {R"(Text="a&#13;&#10;b")", "Text", Bytes("a\r\nb")},
      {R"(Text="say &#34;hi&#34;")", "Text", Bytes("say \"hi\"")},
      {"a = \"1\"\tb='2'\r\nc=3 d", "b", Bytes("2")},
      {"a = \"1\"\tb='2'\r\nc=3 d", "c", Bytes("3")},
      {"a = \"1\"\tb='2'\r\nc=3 d", "d", Bytes("")},
      {R"(junk "quoted words" a="1")", "a", Bytes("1")},
      {R"(="x" a="1")", "a", Bytes("1")},
      {R"(a="unterminated)", "a", Bytes("unterminated")},
      {R"(a="1" a="2")", "a", Bytes("1")},
      {"", "a", Bytes("")},
  };
  for (const Case& c : cases) {
    TovxXMLItem item;
    item.SetText(c.text);
    EXPECT_EQ(item.Prop(c.name), c.value) << c.text << " [" << c.name << "]";
  }
}

TEST(XmlAttributeTest, SetPropReplacesInPlaceOrAppends) {
  struct Case {
    const char* text;
    const char* name;
    QByteArray value;
    const char* result;
  };
  const Case cases[] = {
      {"", "Name", Bytes("Page1"), R"(Name="Page1")"},
      {R"(a="1" b="2" c="3")", "B", Bytes("x"), R"(a="1" B="x" c="3")"},
      {R"(a="1")", "b", Bytes("2"), R"(a="1" b="2")"},
      {R"(a="1" )", "b", Bytes("2"), R"(a="1" b="2")"},
      {R"(a="x b=" b="1")", "b", Bytes("2"), R"(a="x b=" b="2")"},
      {R"(a="1")", "a", Bytes("<\"&\r\n>"), R"(a="&#60;&#34;&#38;&#13;&#10;&#62;")"},
      {R"(a='1' z="9")", "a", Bytes("2"), R"(a="2" z="9")"},
  };
  for (const Case& c : cases) {
    TovxXMLItem item;
    item.SetText(c.text);
    item.SetProp(c.name, c.value);
    EXPECT_EQ(item.Text(), c.result) << c.text;
    EXPECT_EQ(item.Prop(c.name), c.value) << c.text;
  }
}

TEST(XmlAttributeTest, ScannerWalksEveryPair) {
  XmlAttributeScanner scanner(R"(a="1" flag b = '2')");
  XmlAttributeSpan span;
  QList<QByteArray> seen;
  while (scanner.Next(span)) {
    seen.append(span.name.toByteArray() +
                (span.has_value ? "=" + span.raw_value.toByteArray() : ""));
  }
  EXPECT_EQ(seen, (QList<QByteArray>{"a=1", "flag", "b=2"}));
}

}  // namespace
}  // namespace ovx
