#include "report/storage/xml_document.h"

#include "base/stream.h"
#include "xml_test_util.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace ovx {
namespace {

using test::Dump;
using test::LoadBytes;
using test::SaveToBytes;

const QByteArray kHeader = R"(<?xml version="1.0" encoding="utf-8"?>)";

TEST(XmlDocumentTest, EveryByteAndCjkTextRoundTrip) {
  QByteArray all_bytes;
  for (int i = 0; i < 256; ++i) all_bytes.append(static_cast<char>(i));
  const QByteArray values[] = {
      all_bytes,
      QByteArray("\0\n\r\"&<>", 7),
      QByteArray("\t\x01\x02\x1b\x7f tab and controls"),
      QByteArray("天地玄黃，宇宙洪荒。𠀋 &quot; &#34;"),
      QByteArray(5000, '&'),
  };
  TovxXMLDocument document;
  TovxXMLItem* root = document.Root();
  root->SetName("report");
  for (int i = 0; i < static_cast<int>(std::size(values)); ++i) {
    TovxXMLItem* item = root->Add();
    item->SetName("TovxMemoView");
    item->SetProp("Name", "Memo" + QByteArray::number(i));
    item->SetProp("Text", values[i]);
  }
  const QByteArray first = SaveToBytes(document);

  TovxXMLDocument reread;
  ASSERT_EQ(LoadBytes(reread, first), "");
  ASSERT_EQ(reread.Root()->Count(), static_cast<int>(std::size(values)));
  for (int i = 0; i < static_cast<int>(std::size(values)); ++i) {
    EXPECT_EQ(reread.Root()->Items(i)->Prop("text"), values[i]) << i;
    EXPECT_EQ(reread.Root()->Items(i)->Text(), root->Items(i)->Text()) << i;
  }
  EXPECT_EQ(SaveToBytes(reread), first);
  EXPECT_EQ(SaveToBytes(reread, true), SaveToBytes(document, true));
}

TEST(XmlDocumentTest, ReaderCases) {
  struct Case {
    const char* name;
    QByteArray input;
    QByteArray tree;    // Dump of the root after loading
    const char* error;  // reason of the exception, nullptr for none
    bool old_version = true;
  };
  QByteArray deep_ok = kHeader;
  QByteArray deep_bad = kHeader;
  for (int i = 0; i < 256; ++i) deep_ok += "<e>";
  for (int i = 0; i < 257; ++i) deep_bad += "<e>";
  for (int i = 0; i < 256; ++i) deep_ok += "</e>";
  for (int i = 0; i < 257; ++i) deep_bad += "</e>";
  const Case cases[] = {
      {"plain", kHeader + R"(<a Name="Page1"><b/></a>)", R"(a[Name="Page1"](b))", nullptr},
      {"comment before declaration", "<!-- c -->" + kHeader + "<a/>", "a", nullptr},
      {"comments anywhere, holding < and >",
       kHeader + "<!-- <x> --><a><!-- a -- > b --><b/><!----></a><!--tail-->", "a(b)", nullptr},
      {"first tag not the declaration", "<a/>", "", "first tag is not the XML declaration"},
      {"comment then no declaration", "<!-- x --><a/>", "", "first tag is not the XML declaration"},
      {"empty input", "", "", "no XML declaration"},
      {"declaration only", kHeader, "", "no root element"},
      {"root is an end tag", kHeader + "</a>", "", "end tag without start tag"},
      {"version 1.0 with standalone", R"(<?xml version="1.0" standalone="yes"?><a/>)", "a", nullptr,
       false},
      {"version 1.1", R"(<?xml version="1.1" encoding="utf-8"?><a/>)", "a", nullptr, false},
      {"no version", "<?xml?><a/>", "a", nullptr, false},
      {"mismatched end tag", kHeader + "<a><b></c></a>", "a(b)",
       "end tag does not match its start tag"},
      {"end tags match ignoring case", kHeader + "<a><B></b></A>", "a(B)", nullptr},
      {"< inside a tag", kHeader + "<a <b/></a>", "", "\"<\" inside a tag"},
      {"< inside a long tag", kHeader + "<a x=\"" + QByteArray(5000, 'x') + "<\"/>", "",
       "\"<\" inside a tag"},
      {"end of data inside a tag", kHeader + "<a><b x=\"1\"", "a", "end of data inside a tag"},
      {"comment never closed", kHeader + "<a><b/><!-- <c/> -", "a(b)", "comment not closed"},
      {"truncated keeps what was read", kHeader + R"(<a><b x="1"/><c><d/>)", R"(a(b[x="1"],c(d)))",
       "document ends before its end tags"},
      {"256 levels", deep_ok, "", nullptr},
      {"257 levels", deep_bad, "", "elements nested too deeply"},
      {"text between tags is skipped", kHeader + "<a>hello<b>x &amp; y</b> > </a>", "a(b)",
       nullptr},
      {"empty element forms", kHeader + R"(<a><b/><c /><d x="1"/><e x="1" /><f/ ><g// x="1"></a>)",
       R"(a(b,c,d[x="1"],e[x="1"],f,g[x="1"]))", nullptr},
      {"white space separates the name", kHeader + "<a\r\n  x=\"1\"\t/>", "a[x=\"1\"]", nullptr},
      {"swap marker without partial loading",
       kHeader + R"(<a><p ld="0"><q/></p><r x="1" LD="0"/></a>)", R"(a(p*(q),r*[x="1"]))", nullptr},
      {"marker inside a value is text", kHeader + R"(<a v=" ld=&#34;0&#34;"/>)",
       R"(a[v=" ld=&#34;0&#34;"])", nullptr},
      {"white space around the text is dropped", kHeader + "<a  x=\"1\"  ><b\ty=\"2\" /></a>",
       "a[x=\"1\"](b[y=\"2\"])", nullptr},
      {"element without a name", kHeader + "<a>< x=\"1\"/></a>", "a", "element without a name"},
      {"content after the root is ignored", kHeader + "<a/><b><<<", "a", nullptr},
      // The writer escapes every NUL: one in the input (a device full of
      // zeros) is no document, wherever it stands.
      {"zeros only", QByteArray(100000, '\0'), "", "NUL byte in the document"},
      {"NUL between tags", kHeader + "<a><b/>" + QByteArray("x\0y", 3) + "</a>", "a(b)",
       "NUL byte in the document"},
      {"NUL inside a tag", kHeader + "<a><b x=\"" + QByteArray(1, '\0') + "\"/></a>", "a",
       "NUL byte in the document"},
      {"NUL at the start of a tag", kHeader + "<a><" + QByteArray(1, '\0') + "/></a>", "a",
       "NUL byte in the document"},
      {"NUL inside a comment", kHeader + "<a><!-- " + QByteArray(1, '\0') + " --></a>", "a",
       "NUL byte in the document"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TovxXMLDocument document;
    const QString error = LoadBytes(document, c.input);
    EXPECT_EQ(error, c.error ? QString::fromUtf8(c.error) : QString());
    if (QByteArray(c.name).contains("levels")) continue;
    EXPECT_EQ(Dump(document.Root()), c.tree);
    if (!c.error) {
      EXPECT_EQ(document.OldVersion(), c.old_version);
    }
  }
}

// A document of a million items of one name holds the name's bytes once,
// and attribute texts are not kept inside a larger buffer.
TEST(XmlDocumentTest, RepeatedElementNamesShareTheirBytes) {
  TovxXMLDocument document;
  EXPECT_EQ(LoadBytes(document, kHeader + R"(<a><item x="1"/><item/><b><item y="22"/></b></a>)"),
            QString());
  const TovxXMLItem* root = document.Root();
  ASSERT_EQ(root->Count(), 3);
  const TovxXMLItem* nested = root->Items(2)->Items(0);
  EXPECT_EQ(root->Items(0)->Name().constData(), root->Items(1)->Name().constData());
  EXPECT_EQ(root->Items(0)->Name().constData(), nested->Name().constData());
  EXPECT_EQ(nested->Text(), R"(y="22")");
  EXPECT_LE(nested->Text().capacity(), nested->Text().size() + 1);
  EXPECT_TRUE(root->Items(1)->Text().isNull());
}

TEST(XmlDocumentTest, ErrorIsInvalidFileFormatWithPosition) {
  TovxXMLDocument document;
  MemoryStream stream(kHeader + "<a><b></c></a>");
  try {
    document.LoadFromStream(stream);
    FAIL() << "loaded";
  } catch (const Error& error) {
    EXPECT_STREQ(error.what(), "Invalid file format");
    ASSERT_NE(dynamic_cast<const TovxInvalidXMLException*>(&error), nullptr);
    EXPECT_EQ(static_cast<const TovxInvalidXMLException&>(error).Position(), kHeader.size() + 6);
  }
}

TEST(XmlDocumentTest, LoadingReplacesTheTree) {
  TovxXMLDocument document;
  TovxXMLItem* root = document.Root();
  ASSERT_EQ(LoadBytes(document, kHeader + R"(<a x="1"><b/><c/></a>)"), "");
  ASSERT_EQ(LoadBytes(document, kHeader + "<z><y/></z>"), "");
  EXPECT_EQ(document.Root(), root);
  EXPECT_EQ(Dump(root), "z(y)");
}

TEST(XmlDocumentTest, WriterCases) {
  struct Case {
    const char* name;
    void (*build)(TovxXMLItem* root);
    QByteArray body;  // output after the declaration, without AutoIndent
  };
  const Case cases[] = {
      {"empty element", [](TovxXMLItem* root) { root->SetName("a"); }, "<a/>"},
      {"value without children is escaped",
       [](TovxXMLItem* root) {
         root->SetName("a");
         root->SetValue("x < y & \"z\"");
       },
       "<a>x &#60; y &#38; &#34;z&#34;</a>"},
      {"value is lost when there are children",
       [](TovxXMLItem* root) {
         root->SetName("a");
         root->SetValue("lost");
         root->Add()->SetName("b");
       },
       "<a><b/></a>"},
      {"text starting with a space gets no second one",
       [](TovxXMLItem* root) {
         root->SetName("a");
         root->SetText(R"( x="1")");
       },
       R"(<a x="1"/>)"},
      {"unloadable items carry the marker",
       [](TovxXMLItem* root) {
         root->SetName("a");
         TovxXMLItem* page = root->Add();
         page->SetName("page0");
         page->SetUnloadable(true);
         page->Add()->SetName("m");
         TovxXMLItem* other = root->Add();
         other->SetName("page1");
         other->SetText(R"(x="1")");
         other->SetUnloadable(true);
       },
       R"(<a><page0 ld="0"><m/></page0><page1 x="1" ld="0"/></a>)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TovxXMLDocument document;
    c.build(document.Root());
    EXPECT_EQ(SaveToBytes(document), kHeader + c.body);
  }
}

TEST(XmlDocumentTest, WhatCannotReadBackIsNotWritten) {
  struct Case {
    QByteArray name;
    QByteArray text;
    bool has_child;
  };
  const Case cases[] = {
      {"", "", false},
      {"/a", "", false},
      {"a/", "", false},
      {"!--a", "", false},
      {"a b", "", false},
      {"a>", "", false},
      {"a", "x=\"<\"", false},
      {"a", "x=\"1\" /", true},
      // The reader refuses NUL bytes, so the writer never writes one.
      {QByteArray("a\0b", 3), "", false},
      {"a", QByteArray("x=\"\0\"", 6), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name.toStdString() + " " + c.text.toStdString());
    TovxXMLDocument document;
    document.Root()->SetName("root");
    TovxXMLItem* item = document.Root()->Add();
    item->SetName(c.name);
    item->SetText(c.text);
    if (c.has_child) item->Add()->SetName("child");
    EXPECT_THROW(SaveToBytes(document), Error);
  }
  // The same text is fine on an empty element.
  TovxXMLDocument document;
  document.Root()->SetName("a");
  document.Root()->SetText("x=\"1\" /");
  TovxXMLDocument reread;
  ASSERT_EQ(LoadBytes(reread, SaveToBytes(document)), "");
  EXPECT_EQ(reread.Root()->Text(), document.Root()->Text());
}

TEST(XmlDocumentTest, AttributeTextsReadBackExactly) {
  // Texts the reader can produce; the swap marker the writer appends must
  // come off again without touching them.
  struct Case {
    QByteArray text;
    bool unloadable;
    bool has_child;
  };
  const Case cases[] = {
      {R"(a="1")", false, true},
      {R"(a="1" ld="1")", true, true},
      {R"(a="x ld=")", true, true},
      {R"(a="open)", true, true},
      {R"(a="x/)", true, true},
      {R"(x/)", true, false},
      {R"(ld="0")", true, false},
      {"", true, false},
      {QByteArray("a=\"1\"\tb"), true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.toStdString());
    TovxXMLDocument document;
    document.Root()->SetName("root");
    TovxXMLItem* item = document.Root()->Add();
    item->SetName("item");
    item->SetText(c.text);
    item->SetUnloadable(c.unloadable);
    if (c.has_child) item->Add()->SetName("child");
    const QByteArray written = SaveToBytes(document);
    TovxXMLDocument reread;
    ASSERT_EQ(LoadBytes(reread, written), "");
    ASSERT_EQ(reread.Root()->Count(), 1);
    EXPECT_EQ(reread.Root()->Items(0)->Text(), c.text);
    EXPECT_EQ(reread.Root()->Items(0)->Unloadable(), c.unloadable);
    EXPECT_EQ(reread.Root()->Items(0)->Count(), c.has_child ? 1 : 0);
    EXPECT_EQ(SaveToBytes(reread), written);
  }
}

TEST(XmlDocumentTest, ValueReadsBackEmpty) {
  TovxXMLDocument document;
  document.Root()->SetName("a");
  document.Root()->SetValue("text");
  TovxXMLDocument reread;
  ASSERT_EQ(LoadBytes(reread, SaveToBytes(document)), "");
  EXPECT_EQ(reread.Root()->Value(), "");
}

TEST(XmlDocumentTest, AutoIndentLayout) {
  TovxXMLDocument document;
  TovxXMLItem* root = document.Root();
  root->SetName("TovxReport");
  root->SetProp("Version", "1");
  TovxXMLItem* page = root->Add();
  page->SetName("TovxReportPage");
  page->SetProp("Name", "Page1");
  TovxXMLItem* memo = page->Add();
  memo->SetName("TovxMemoView");
  memo->SetProp("Text", "a\r\nb");
  page->Add()->SetName("TovxLineView");
  root->Add()->SetName("TovxDataPage");
  EXPECT_EQ(SaveToBytes(document, true), kHeader +
                                             "\r\n"
                                             "<TovxReport Version=\"1\">\r\n"
                                             "  <TovxReportPage Name=\"Page1\">\r\n"
                                             "    <TovxMemoView Text=\"a&#13;&#10;b\"/>\r\n"
                                             "    <TovxLineView/>\r\n"
                                             "  </TovxReportPage>\r\n"
                                             "  <TovxDataPage/>\r\n"
                                             "</TovxReport>\r\n");
  EXPECT_EQ(SaveToBytes(document, false),
            kHeader +
                "<TovxReport Version=\"1\"><TovxReportPage Name=\"Page1\">"
                "<TovxMemoView Text=\"a&#13;&#10;b\"/><TovxLineView/></TovxReportPage>"
                "<TovxDataPage/></TovxReport>");
}

TEST(XmlDocumentTest, QuotEntityTextSurvivesRoundTrip) {
  TovxXMLDocument document;
  document.Root()->SetName("a");
  document.Root()->SetProp("t", "&quot;x&quot;");
  TovxXMLDocument reread;
  ASSERT_EQ(LoadBytes(reread, SaveToBytes(document)), "");
  EXPECT_EQ(reread.Root()->Prop("t"), "&quot;x&quot;");
  // What other writers produce still reads as a quote.
  ASSERT_EQ(LoadBytes(reread, kHeader + R"(<a t="&quot;x&#34;"/>)"), "");
  EXPECT_EQ(reread.Root()->Prop("t"), "\"x\"");
}

TEST(XmlDocumentTest, FilesSaveAndLoad) {
  QTemporaryDir dir;
  const QString path = dir.filePath("report.ov3");
  TovxXMLDocument document;
  document.Root()->SetName("report");
  document.Root()->Add()->SetName("page");
  document.SaveToFile(path);
  document.SaveToFile(path);  // replacing an existing file
  TovxXMLDocument reread;
  reread.LoadFromFile(path);
  EXPECT_EQ(Dump(reread.Root()), "report(page)");
  EXPECT_THROW(reread.LoadFromFile(dir.filePath("missing.ov3")), Error);
  EXPECT_THROW(document.SaveToFile(dir.filePath("no/such/dir/x.ov3")), Error);
}

}  // namespace
}  // namespace ovx
