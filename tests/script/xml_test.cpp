#include "script/xml.h"

#include "base/error.h"
#include "base/stream.h"
#include "tests/test_support.h"

#include <gtest/gtest.h>

namespace ovx {
namespace {

TEST(ScriptXmlTest, EscapeAndUnescapeTable) {
  struct Case {
    const char16_t* text;
    const char16_t* escaped;
  };
  const Case cases[] = {
      {u"a<b", u"a&#60;b"},
      {u"\"", u"&#34;"},
      {u"x\r\ny>&", u"x&#13;&#10;y&#62;&#38;"},
      // Every ampersand is escaped, so an entity written in a script
      // string arrives unchanged.
      {u"&quot;", u"&#38;quot;"},
      {u"\u6f22\u5b57 plain", u"\u6f22\u5b57 plain"},
  };
  for (const Case& c : cases) {
    const QString text = QString::fromUtf16(c.text);
    EXPECT_EQ(ScriptXmlEscape(text), QString::fromUtf16(c.escaped));
    EXPECT_EQ(ScriptXmlUnescape(ScriptXmlEscape(text)), text);
  }
}

TEST(ScriptXmlTest, UnescapeAcceptsOnlySoundCodes) {
  struct Case {
    const char16_t* text;
    const char16_t* plain;
  };
  const Case cases[] = {
      {u"&#65;", u"A"},
      {u"&quot;x&quot;", u"\"x\""},
      {u"&#128512;", u"\U0001F600"},  // a surrogate pair
      {u"&#99999999999;", u"&#99999999999;"},
      {u"&#1114112;", u"&#1114112;"},  // past the last code point
      {u"&#0;", u"&#0;"},
      {u"&#55296;", u"&#55296;"},  // a lone surrogate
      {u"&#65", u"&#65"},
      {u"&#;&amp;&lt;", u"&#;&amp;&lt;"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScriptXmlUnescape(QString::fromUtf16(c.text)), QString::fromUtf16(c.plain))
        << QString::fromUtf16(c.text).toStdString();
  }
}

TEST(ScriptXmlTest, PropReadsTheRightValueAfterTextThatChangesLengthInUpperCase) {
  TksXMLItem item;
  item.SetText(QString::fromUtf16(u"text=\"'Stra\u00dfe \ufb01x'\" pos=\"3:20\""));
  EXPECT_EQ(item.Prop(QStringLiteral("pos")), QStringLiteral("3:20"));
  EXPECT_EQ(item.Prop(QStringLiteral("POS")), QStringLiteral("3:20"));
  EXPECT_EQ(item.Prop(QStringLiteral("text")), QString::fromUtf16(u"'Stra\u00dfe \ufb01x'"));
  EXPECT_EQ(item.Prop(QStringLiteral("os")), QString());

  item.SetProp(QStringLiteral("pos"), QStringLiteral("4:1"));
  item.SetProp(QStringLiteral("unit"), QStringLiteral("a\"b"));
  EXPECT_EQ(item.Text(),
            QString::fromUtf16(u"text=\"'Stra\u00dfe \ufb01x'\" pos=\"4:1\" unit=\"a&#34;b\""));
  EXPECT_EQ(item.Prop(QStringLiteral("unit")), QStringLiteral("a\"b"));
}

TEST(ScriptXmlTest, TreeOperations) {
  TksXMLItem root;
  root.SetName(QStringLiteral("root"));
  TksXMLItem* a = root.Add();
  a->SetName(QStringLiteral("a"));
  TksXMLItem* b = root.FindItem(QStringLiteral("B"));
  EXPECT_EQ(root.Count(), 2);
  EXPECT_EQ(root.FindItem(QStringLiteral("b")), b);
  EXPECT_EQ(root.IndexOf(QStringLiteral("A")), 0);
  EXPECT_EQ(root.IndexOf(QStringLiteral("c")), -1);
  b->AddItem(a);  // re-parented
  EXPECT_EQ(root.Count(), 1);
  EXPECT_EQ(a->Parent(), b);
  EXPECT_EQ(a->Root(), &root);

  TksXMLItem copy;
  copy.Assign(root);
  EXPECT_EQ(copy.Items(0)->Items(0)->Name(), QStringLiteral("a"));
  root.Clear();
  EXPECT_EQ(root.Count(), 0);
  EXPECT_EQ(copy.Count(), 1);
}

TEST(ScriptXmlTest, ReaderRejectsMalformedInput) {
  const QByteArray cases[] = {
      "<a/>",                            // no header
      "<?xml version=\"1.0\"?><a <b>",   // `<` inside a tag
      "<?xml version=\"1.0\"?><a",       // ends inside a tag
      "<?xml version=\"1.0\"?><a></b>",  // wrong closing tag
      "<?xml version=\"1.0\"?><a><b>",   // never closed
      "<?xml version=\"1.0\"?>",         // no root
      "<?xml version=\"1.0\"?></a>",     // closing tag first
      // Nested deeper than any grammar or tree, and properly closed.
      "<?xml?>" + QByteArray("<a>").repeated(100000) + QByteArray("</a>").repeated(100000),
  };
  for (const QByteArray& input : cases) {
    MemoryStream stream(input);
    TksXMLDocument document;
    try {
      document.LoadFromStream(stream);
      ADD_FAILURE() << "accepted: " << input.left(60).toStdString();
    } catch (const Error& error) {
      EXPECT_EQ(error.Message(), QStringLiteral("Invalid file format"));
    }
  }
}

TEST(ScriptXmlTest, ReaderReadsTagsAcrossBlocksAndSkipsComments) {
  // A multi-byte character split by the 4096-byte blocks decodes whole.
  const QByteArray filler(4090, ' ');
  const QByteArray input = "<?xml version=\"1.0\"?>" + filler +
                           "<r a=\"\xe6\xbc\xa2\"><!-- <x> --><c/><d t=\"1\" /></r>trailing";
  MemoryStream stream(input);
  TksXMLDocument document;
  document.LoadFromStream(stream);
  TksXMLItem* root = document.Root();
  EXPECT_EQ(root->Name(), QStringLiteral("r"));
  EXPECT_EQ(root->Prop(QStringLiteral("a")), QString::fromUtf16(u"\u6f22"));
  ASSERT_EQ(root->Count(), 2);
  EXPECT_EQ(root->Items(1)->Text(), QStringLiteral("t=\"1\""));

  // Blanks between name and attributes are not kept, so what the writer
  // writes reads back the same.
  TksXMLDocument blanks;
  blanks.LoadFromString(QStringLiteral("<?xml?><s   tring a=\"1\"  />"));
  EXPECT_EQ(blanks.Root()->Text(), QStringLiteral("tring a=\"1\""));
  EXPECT_EQ(blanks.SaveToString(), QStringLiteral("<?xml version=\"1.0\"?><s tring a=\"1\"/>"));
}

TEST(ScriptXmlTest, WriterOutputMatchesGolden) {
  TksXMLDocument document;
  document.SetAutoIndent(true);
  TksXMLItem* root = document.Root();
  root->SetName(QStringLiteral("program"));
  TksXMLItem* stmt = root->Add();
  stmt->SetName(QStringLiteral("assignstmt"));
  stmt->SetProp(QStringLiteral("pos"), QStringLiteral("1:1"));
  TksXMLItem* leaf = stmt->Add();
  leaf->SetName(QStringLiteral("string"));
  leaf->SetProp(QStringLiteral("text"), QString::fromUtf16(u"'<\u6f22>&quot;'"));
  root->Add()->SetName(QStringLiteral("types"));
  MemoryStream out;
  document.SaveToStream(out);
  test::ExpectGolden(QStringLiteral("script/writer.xml"), out.Data());

  // What the writer wrote reads back to the same text, indented or not.
  for (bool indent : {true, false}) {
    document.SetAutoIndent(indent);
    const QString written = document.SaveToString();
    TksXMLDocument again;
    again.LoadFromString(written);
    again.SetAutoIndent(indent);
    EXPECT_EQ(again.SaveToString(), written);
  }
}

}  // namespace
}  // namespace ovx
