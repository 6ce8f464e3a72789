// Lookups, adding texts and loading resource documents.
#include "base/error.h"
#include "report/storage/xml_error.h"
#include "tests/resources/resources_test_util.h"

#include <QStringList>

#include <atomic>
#include <thread>
#include <vector>

namespace ovx::test {
namespace {

TEST_F(ResourcesTest, LookupRules) {
  resources_->AddString(QStringLiteral("twoMarks"), QStringLiteral("!!a"));
  resources_->AddString(QStringLiteral("onlyMark"), QStringLiteral("!"));
  resources_->AddString(QStringLiteral("MixedCase"), QStringLiteral("混合"));
  struct Case {
    QString name;
    QString expected;
  };
  const Case cases[] = {
      {"1", "确定"},                   // built-in text
      {"NoSuchName", "NoSuchName"},    // no text: the name itself
      {"!NoSuchName", "!NoSuchName"},  // a missing name keeps its "!"
      {"", ""},                        //
      {"MBCONFIRM", "确认"},           // names ignore case
      {"mixedcase", "混合"},           //
      {"207", "其它"},                 // stored as "!其它"
      {"propSuppressNullRecords", "是否不打印值为空的记录。"},
      {"twoMarks", "!a"},                        // only the first "!" goes
      {"onlyMark", ""},                          //
      {"clClose", "关闭(&X)"},                   // stored as &amp;
      {"clDSNotExist", "数据库 \"%s\" 不存在"},  // stored as &quot;
  };
  for (const Case& c : cases) {
    EXPECT_EQ(resources_->Get(c.name), c.expected) << c.name.toStdString();
  }
  EXPECT_EQ(resources_->GetNumbered(1), "确定");
  EXPECT_EQ(resources_->GetNumbered(-5), "-5");
  EXPECT_TRUE(resources_->Contains(u"mbconfirm"));
  EXPECT_FALSE(resources_->Contains(u"NoSuchName"));
  EXPECT_EQ(resources_->CodePage(), 936);
}

TEST_F(ResourcesTest, AddingReplacesByNameIgnoringCase) {
  resources_->AddString(QStringLiteral("MBERROR"), QStringLiteral("Fehler"));
  EXPECT_EQ(resources_->Get(u"mbError"), "Fehler");
  const QStringList names = resources_->Names();
  EXPECT_EQ(names.count(QStringLiteral("mbError")) + names.count(QStringLiteral("MBERROR")), 1);
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end(), [](const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
  }));
}

TEST_F(ResourcesTest, LanguageFileOverridesSomeNamesAndKeepsTheChineseRest) {
  // A language file in code page 1252: UTF-8 texts, one text in the file's
  // own code page, and entities of every kind.
  const QByteArray body =
      "<StrRes Name=\"1\" Text=\"OK\"/>\n"
      "<StrRes Name=\"mbError\" Text=\"Erreur &#233;crite\"/>\n"
      "<StrRes Name=\"mbInfo\" Text=\"Caf\xE9\"/>\n"         // 0xE9 is "é" in 1252
      "<StrRes Name=\"uCm\" Text=\"\xC3\xA9t\xC3\xA9\"/>\n"  // UTF-8 "été"
      "<StrRes Name=\"smile\" Text=\"&#128512;!\"/>\n"
      "<StrRes Name=\"double\" Text=\"&#38;#34;x&#38;#34;\"/>\n"
      "<StrRes Name=\"named\" Text=\"&lt;&amp;&gt;&quot;&apos;&#x41;&#65\"/>\n"
      "<StrRes Name=\"range\" "
      "Text=\"&#1114111;&#1114112;&#55296;&#00000065;&#99999999999999999999;\"/>\n"
      "<StrRes Name=\"noText\"/>\n"
      "<StrRes Text=\"no name\"/>\n"
      "<Other Name=\"2\" Text=\"ignored\"/>";
  EXPECT_EQ(resources_->LoadFromString(ResourceXml(body)), 9);
  struct Case {
    const char* name;
    QString expected;
  };
  const Case cases[] = {
      {"1", "OK"},
      {"mbError", QStringLiteral("Erreur \u00E9crite")},
      {"mbInfo", QStringLiteral("Caf\u00E9")},
      {"uCm", QStringLiteral("\u00E9t\u00E9")},
      {"smile", QString::fromUtf16(u"\U0001F600!")},  // a surrogate pair
      {"double", "&#34;x&#34;"},                      // one pass only
      {"named", "<&>\"&apos;&#x41;&#65"},             // unknown forms stay
      {"range", QString::fromUtf16(u"\U0010FFFF") + "&#1114112;&#55296;A&#99999999999999999999;"},
      {"noText", ""},
      // Built-in Chinese texts the file does not name are untouched.
      {"2", "取消"},
      {"clNoPrinters", "在你的系统没有安装打印机"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(resources_->Get(QString::fromLatin1(c.name)), c.expected) << c.name;
  }
  EXPECT_EQ(QString::fromUtf16(u"\U0001F600").size(), 2);
  EXPECT_EQ(resources_->CodePage(), 1252);
  // Texts given in the code page follow the document's code page.
  resources_->AddAnsiString(QStringLiteral("ansi"), QByteArray("\x80 5"));
  EXPECT_EQ(resources_->Get(u"ansi"), QStringLiteral("\u20AC 5"));
}

TEST_F(ResourcesTest, CodePageOfTheDocumentDecodesNonUtf8Texts) {
  struct Case {
    QByteArray code_page;
    QByteArray raw;
    QString expected;
  };
  const Case cases[] = {
      {"936", "\xC8\xB7\xB6\xA8", "确定"},                             // GBK
      {"1251", "\xCF\xF0\xE8", QStringLiteral("\u041F\u0440\u0438")},  // Cyrillic
      {"", "\xC8\xB7\xB6\xA8", "确定"},                                // no CodePage: 936
      {"99999", "\xC8\xB7\xB6\xA8", "确定"},                           // unknown: read as GBK
      {"65001",
       "a\xFF"
       "b",
       QStringLiteral("a\uFFFDb")},  // broken UTF-8 is marked
  };
  for (const Case& c : cases) {
    const auto resources = MakeResources(false);
    resources->LoadFromString(
        ResourceXml("<StrRes Name=\"t\" Text=\"" + c.raw + "\"/>", c.code_page));
    EXPECT_EQ(resources->Get(u"t"), c.expected) << c.code_page.toStdString();
  }
}

TEST_F(ResourcesTest, FailedOrForeignDocumentsLeaveTheTableAsItWas) {
  const QString before = resources_->Get(u"1");
  const QByteArray truncated =
      "<?xml version=\"1.1\"?><Resources CodePage=\"1252\"><StrRes Name=\"1\" Text=\"OK\"/><StrRes";
  EXPECT_THROW(resources_->LoadFromString(truncated), TovxInvalidXMLException);
  EXPECT_THROW(resources_->LoadFromString("no xml at all"), TovxInvalidXMLException);
  EXPECT_EQ(resources_->Get(u"1"), before);
  EXPECT_EQ(resources_->CodePage(), 936);

  EXPECT_EQ(resources_->LoadFromString("<?xml version=\"1.0\"?><report CodePage=\"1252\"><StrRes "
                                       "Name=\"1\" Text=\"OK\"/></report>"),
            0);
  EXPECT_EQ(resources_->Get(u"1"), before);
  EXPECT_EQ(resources_->CodePage(), 936);

  EXPECT_THROW(resources_->LoadFromFile(dir_.filePath(QStringLiteral("missing.ovc"))), ovx::Error);
  EXPECT_EQ(resources_->Get(u"1"), before);
}

TEST_F(ResourcesTest, ResetDropsEverythingLoaded) {
  resources_->LoadFromString(
      ResourceXml("<StrRes Name=\"1\" Text=\"OK\"/><StrRes Name=\"x\" Text=\"y\"/>"));
  resources_->Reset();
  EXPECT_EQ(resources_->Get(u"1"), "确定");
  EXPECT_FALSE(resources_->Contains(u"x"));
  EXPECT_EQ(resources_->CodePage(), 936);
}

TEST_F(ResourcesTest, ScriptEngineGetsItsMessagesAfterEveryChange) {
  std::vector<QHash<QString, QString>> received;
  resources_->SetScriptMessageSink(
      [&](const QHash<QString, QString>& m) { received.push_back(m); });
  ASSERT_EQ(received.size(), 1u);  // at once
  EXPECT_EQ(received[0].size(), TovxResources::ScriptMessageNames().size());
  EXPECT_EQ(received[0].value("SNotEnoughParams"), "实际参数不足");

  resources_->LoadFromString(ResourceXml("<StrRes Name=\"SNotEnoughParams\" Text=\"Too few\"/>"));
  // A document of another kind adds nothing but still refreshes them.
  resources_->LoadFromString("<?xml version=\"1.0\"?><other/>");
  ASSERT_EQ(received.size(), 3u);
  EXPECT_EQ(received[1].value("SNotEnoughParams"), "Too few");
  EXPECT_EQ(received[2].value("SNotEnoughParams"), "Too few");
  for (const QString& name : TovxResources::ScriptMessageNames()) {
    EXPECT_NE(received[2].value(name), name) << name.toStdString() << " has no text";
  }
}

TEST_F(ResourcesTest, ErrorsAreShownWithTheirResourceText) {
  const ovx::Error named(QStringLiteral("rsLangUnknown"), QStringLiteral("Unknown language: %s"),
                         {QStringLiteral("Klingon")});
  EXPECT_EQ(resources_->Message(named), "未知的语言: Klingon");
  const ovx::Error unnamed({}, QStringLiteral("Plain %s"), {QStringLiteral("text")});
  EXPECT_EQ(resources_->Message(unnamed), "Plain text");
  const ovx::Error unknown(QStringLiteral("noSuchResource"), QStringLiteral("Fallback"));
  EXPECT_EQ(resources_->Message(unknown), "Fallback");
}

// Readers on other threads while the table is replaced over and over: every
// lookup gives a whole text of one of the tables, never a mix or a crash.
TEST_F(ResourcesTest, LookupsFromOtherThreadsWhileReloading) {
  const QByteArray english = ResourceXml(
      "<StrRes Name=\"1\" Text=\"OK\"/><StrRes Name=\"2\" Text=\"Cancel\"/>"
      "<StrRes Name=\"extra\" Text=\"present\"/>");
  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  std::atomic<long> lookups{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t) {
    readers.emplace_back([&] {
      while (!stop.load()) {
        const QString ok = resources_->GetNumbered(1);
        const QString cancel = resources_->Get(u"2");
        const QString extra = resources_->Get(u"extra");
        if ((ok != "OK" && ok != "确定") || (cancel != "Cancel" && cancel != "取消") ||
            (extra != "present" && extra != "extra")) {
          ++bad;
        }
        lookups += 3;
      }
    });
  }
  for (int round = 0; round < 300; ++round) {
    resources_->LoadFromString(english);
    resources_->AddString(QStringLiteral("round"), QString::number(round));
    resources_->Reset();
  }
  stop = true;
  for (std::thread& reader : readers) reader.join();
  EXPECT_EQ(bad.load(), 0);
  EXPECT_GT(lookups.load(), 0);
}

}  // namespace
}  // namespace ovx::test
