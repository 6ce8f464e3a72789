// Report classes as scripts see them: registered from their property
// metadata, and objects of the prepared pages that go away while a script
// still holds them.
#include "base/font.h"
#include "base/object_handle.h"
#include "engine/engine.h"
#include "engine/preview_pages.h"
#include "report/model/memo_view.h"
#include "report/model/page.h"
#include "report/model/report.h"
#include "script/script.h"
#include "script/script_languages.h"
#include "tests/engine/app_report.h"
#include "tests/test_support.h"

#include <gtest/gtest.h>

namespace ovx {
namespace {

void RegisterReportClasses(TksScript& script) {
  script.AddClass(QStringLiteral("TObject"), QString());
  script.AddClass(QStringLiteral("TPersistent"), QStringLiteral("TObject"));
  TksClassVariable* component =
      script.AddClass(QStringLiteral("TComponent"), QStringLiteral("TPersistent"));
  component->AddProperty(QStringLiteral("Owner"), QStringLiteral("TComponent"),
                         [](ScriptMethodCall& call) {
                           auto* c = dynamic_cast<TovxComponent*>(call.instance.ObjectPointer());
                           return ScriptValue::Object(c ? c->Parent() : nullptr);
                         });
  script.AddClass(TovxFont::StaticMetaClass(), QStringLiteral("TPersistent"));
  script.AddClass(TovxMemoView::StaticMetaClass(), QStringLiteral("TComponent"));
}

TEST(ScriptReportClassesTest, MemoViewFromItsMetadata) {
  RegisterScriptLanguages();
  TksScript script;
  RegisterReportClasses(script);
  TksClassVariable* memo = script.FindClass(QStringLiteral("TovxMemoView"));
  ASSERT_NE(memo, nullptr);
  EXPECT_EQ(memo->Ancestor(), QStringLiteral("TComponent"));
  struct Expected {
    const char* name;
    ScriptVarType type;
    const char* type_name;
  } expected[] = {{"Left", ScriptVarType::kFloat, "Extended"},
                  {"Visible", ScriptVarType::kBool, "Boolean"},
                  {"Align", ScriptVarType::kEnum, "TovxAlign"},
                  {"Font", ScriptVarType::kClass, "TFont"},
                  {"Memo", ScriptVarType::kClass, "TWideStrings"}};
  for (const Expected& e : expected) {
    const ScriptMember* m = memo->FindOwn(QString::fromLatin1(e.name));
    ASSERT_NE(m, nullptr) << e.name;
    EXPECT_EQ(m->type, e.type) << e.name;
    EXPECT_EQ(m->type_name, QString::fromLatin1(e.type_name)) << e.name;
  }
  // Method pointers are not members; everything else published is, in order.
  EXPECT_EQ(memo->FindOwn(QStringLiteral("Owner")), nullptr);
  EXPECT_NE(script.Scope().FindMember(memo, QStringLiteral("owner")), nullptr);

  TovxPage page;
  auto* view = new TovxMemoView(&page);
  script.AddObject(QStringLiteral("Memo1"), view);
  script.SetText(QStringLiteral(
      "var o: Variant; b: Boolean; begin Memo1.Left := 10; Memo1.Align := 6; Memo1.Visible := "
      "False; Memo1.Font.Size := 14; b := Memo1.Visible; o := Memo1.Owner end."));
  ASSERT_TRUE(script.Compile()) << script.ErrorMsg().toStdString();
  ASSERT_TRUE(script.Execute()) << script.ErrorMsg().toStdString();
  EXPECT_EQ(view->Left(), 10);
  EXPECT_EQ(view->Align(), TovxAlign::baClient);
  EXPECT_FALSE(view->Visible());
  EXPECT_EQ(view->Font().Size(), 14);
  for (const auto& v : script.Program().Variables()) {
    if (v.name == u"b") {
      EXPECT_EQ(v.value.Display(), QStringLiteral("False"));
    }
    if (v.name == u"o") {
      EXPECT_EQ(v.value.ObjectPointer(), &page);
    }
  }
  script.SetText(QStringLiteral("var s: String; begin s := Memo1[0] end."));
  EXPECT_FALSE(script.Compile());
  EXPECT_EQ(script.ErrorMsg(),
            QStringLiteral("Class TovxMemoView does not have a default property"));
}

// A memo of a prepared page lives in the page cache; when the cache drops
// the page, a script holding the memo gets an error, not freed memory.
TEST(ScriptReportClassesTest, PreparedPageMemoLeavesTheCache) {
  InstallEngine();
  RegisterScriptLanguages();
  auto report = test::MakeAppReport(test::DataPath(QStringLiteral("templates/velmora.ov3")), 1);
  ASSERT_TRUE(report->PrepareReport());
  TovxPreviewPages& pages = *PreparedPages(*report);
  TovxReportPage* page = pages.GetPage(1);
  ASSERT_NE(page, nullptr);
  ASSERT_FALSE(page->Objects().empty());
  auto* memo = dynamic_cast<TovxMemoView*>(page->Objects()[0]);
  ASSERT_NE(memo, nullptr);

  TksScript script;
  RegisterReportClasses(script);
  script.AddObject(QStringLiteral("PageMemo"), memo);
  script.SetText(
      QStringLiteral("var keep: Variant; function L: Extended; begin Result := keep.Left end; "
                     "begin keep := PageMemo end."));
  ASSERT_TRUE(script.Compile()) << script.ErrorMsg().toStdString();
  ASSERT_TRUE(script.Execute());
  std::vector<ScriptValue> none;
  EXPECT_EQ(script.CallFunction(QStringLiteral("L"), none).ToFloat(), memo->Left());

  pages.ClearCache();
  try {
    script.CallFunction(QStringLiteral("L"), none);
    FAIL() << "a memo dropped from the page cache was reached";
  } catch (const ScriptError& error) {
    EXPECT_TRUE(error.message.startsWith(QStringLiteral("Invalid object reference")))
        << error.message.toStdString();
  }
  // The rebuilt page is a new object, reached through its own handle.
  EXPECT_NE(ObjectHandle(pages.GetPage(1)->Objects()[0]), 0);
  script.SetText(QStringLiteral("begin PageMemo.Left := 1 end."));
  EXPECT_TRUE(script.Compile());
  EXPECT_FALSE(script.Execute());
  EXPECT_TRUE(script.ErrorMsg().startsWith(QStringLiteral("Invalid object reference")));
}

}  // namespace
}  // namespace ovx
