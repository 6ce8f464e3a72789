// The report container: loading and saving templates, the options it keeps,
// the data page, passwords, errors and style sheets.
#include "report/model/report.h"
#include "base/class_registry.h"
#include "base/error.h"
#include "base/stream.h"
#include "report/model/classes.h"
#include "report/model/data_set.h"
#include "report/model/fill.h"
#include "report/model/memo_view.h"
#include "report/model/page.h"
#include "report/model/picture.h"
#include "report/model/picture_view.h"
#include "report/model/shape_view.h"
#include "report/model/styles.h"
#include "report/storage/object_dump.h"
#include "report/storage/xml_item.h"
#include "report/storage/xml_serializer.h"
#include "tests/test_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
  return file.readAll();
}

QByteArray Template(const QByteArray& root_attributes, const QByteArray& body) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<TovxReport " + root_attributes + ">" +
         body + "</TovxReport>";
}

bool Load(TovxReport& report, const QByteArray& bytes) {
  ovx::MemoryStream stream(bytes);
  return report.LoadFromStream(stream);
}

QByteArray Save(TovxReport& report) {
  ovx::MemoryStream stream;
  report.SaveToStream(stream);
  return stream.Data();
}

// The application's report, with its own preview buttons.
struct ApplicationReport : TovxReport {
  ApplicationReport() {
    using B = TovxPreviewButton;
    PreviewOptions().SetButtons({B::pbPrint, B::pbSave, B::pbExport, B::pbZoom, B::pbExportQuick});
  }
};

TEST(ReportTemplateTest, TheApplicationsTemplateLoadsWithItsValues) {
  ApplicationReport report;
  ASSERT_TRUE(Load(report, ReadFile(ovx::test::DataPath("templates/velmora.ov3"))))
      << report.Errors().join('\n').toStdString();

  ASSERT_EQ(report.Objects().size(), 2u);
  auto* data = dynamic_cast<TovxDataPage*>(report.Objects()[0]);
  auto* page = dynamic_cast<TovxReportPage*>(report.FindObject("page1"));
  auto* title = dynamic_cast<TovxMemoView*>(report.FindObject("title"));
  ASSERT_TRUE(data && page && title);
  EXPECT_EQ(data->Name(), "Data");
  EXPECT_EQ(report.Objects()[1], page);
  EXPECT_EQ(title->Parent(), page);

  // The preview buttons are the report's own; thumbnails come from the template.
  EXPECT_EQ(report.PreviewOptions().Buttons().Bits(), 1u + 4 + 8 + 16 + 2048);
  EXPECT_TRUE(report.PreviewOptions().ThumbnailVisible());
  EXPECT_EQ(report.PrintOptions().PrintMode(), TovxPrintMode::pmJoin);
  EXPECT_EQ(report.PrintOptions().PrintOnSheet(), 9);
  EXPECT_EQ(report.PrintOptions().Printer(), "预设");
  EXPECT_DOUBLE_EQ(report.ReportOptions().CreateDate(), 43490.6580637153);
  EXPECT_EQ(report.ScriptText(), (QStringList{"", "begin", "", "end."}));

  EXPECT_EQ(page->Orientation(), TovxPrinterOrientation::poLandscape);
  EXPECT_DOUBLE_EQ(page->PaperWidth(), 148.5);
  EXPECT_DOUBLE_EQ(page->PaperHeight(), 105);
  EXPECT_EQ(page->PaperSize(), 256);
  EXPECT_DOUBLE_EQ(page->Width(), 561);
  EXPECT_DOUBLE_EQ(page->Height(), 397);
  EXPECT_DOUBLE_EQ(page->LeftMargin(), 5);

  EXPECT_EQ(title->Align(), TovxAlign::baClient);
  EXPECT_DOUBLE_EQ(title->Width(), 523.464905);
  EXPECT_DOUBLE_EQ(title->Height(), 359.05535);
  EXPECT_FALSE(title->ParentFont());
  EXPECT_EQ(title->Font().Name(), "system");
  EXPECT_EQ(title->Font().Color(), -16777208);
  EXPECT_EQ(title->HAlign(), TovxHAlign::haCenter);
  EXPECT_EQ(title->VAlign(), TovxVAlign::vaCenter);
  EXPECT_EQ(title->Text(), "");
}

// Saving the loaded template gives the file back, but for the preview
// buttons, which are the report's own (regenerate with
// scripts/regenerate-goldens.sh and review the diff).
TEST(ReportTemplateTest, SavingTheApplicationsTemplateGivesTheGoldenBytes) {
  ApplicationReport report;
  ASSERT_TRUE(Load(report, ReadFile(ovx::test::DataPath("templates/velmora.ov3"))));
  ovx::test::ExpectGolden("templates/velmora.saved.ov3", Save(report));
}

TEST(ReportTemplateTest, EveryKindOfObjectSurvivesSaveLoadSave) {
  ApplicationReport report;
  const bool clean = Load(report, ReadFile(ovx::test::DataPath("templates/everything.ov3")));
  // The one class no one knows is reported once, however often it appears.
  EXPECT_EQ(report.Errors(), QStringList{"不明的类别 TovxNoSuchView"});
  EXPECT_FALSE(clean);
  EXPECT_NE(report.FindObject("DialogPage1"), nullptr);
  EXPECT_NE(report.FindObject("Button1"), nullptr);
  EXPECT_EQ(report.FindObject("Unknown1"), nullptr);

  const QByteArray first = Save(report);
  ApplicationReport again;
  EXPECT_TRUE(Load(again, first)) << again.Errors().join('\n').toStdString();
  EXPECT_EQ(Save(again).toStdString(), first.toStdString());
  EXPECT_EQ(ovx::DumpObjectTree(again).toStdString(), ovx::DumpObjectTree(report).toStdString());
}

TEST(ReportTemplateTest, VersionIsTheLibrarysAndADataPageIsAlwaysFirst) {
  TovxReport report;
  ASSERT_TRUE(Load(report, Template(R"(Version="5.0")",
                                    R"(<TovxReportPage Name="Page1"/>
                                       <TovxUserDataSet Name="Orders"/>)")))
      << report.Errors().join('\n').toStdString();
  EXPECT_EQ(report.Version(), "6.3.3");
  auto* data = dynamic_cast<TovxDataPage*>(report.Objects().front());
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->Name(), "Data");
  TovxComponent* orders = report.FindObject("Orders");
  ASSERT_NE(orders, nullptr);
  EXPECT_EQ(orders->Parent(), data);
  EXPECT_DOUBLE_EQ(orders->Left(), 60);
  EXPECT_DOUBLE_EQ(orders->Top(), 20);
}

TEST(ReportTemplateTest, PasswordsAreShiftedInFilesAndChecked) {
  TovxReport report;
  report.ReportOptions().SetPassword("abc");
  const QByteArray saved = Save(report);
  EXPECT_TRUE(saved.contains(R"(ReportOptions.Password="WXY")"));
  EXPECT_EQ(report.ReportOptions().Password(), "abc");

  TovxReport refused;
  refused.EngineOptions().SetNewSilentMode(TovxSilentMode::simSilent);
  EXPECT_FALSE(Load(refused, saved));
  EXPECT_EQ(refused.Errors(), QStringList{"Invalid password"});
  EXPECT_EQ(refused.ReportOptions().Password(), "");

  TovxReport asked;
  asked.ask_password = [] { return std::optional<QString>("abc"); };
  EXPECT_TRUE(Load(asked, saved));
  EXPECT_EQ(asked.ReportOptions().Password(), "abc");
}

TEST(ReportTemplateTest, ErrorsAreShownAsTheSilentModeSays) {
  const QByteArray broken = Template("", R"(<TovxNoSuchView Name="X"/>)");
  QStringList shown;
  TovxReport boxes;
  boxes.show_error = [&shown](const QString& text) { shown << text; };
  EXPECT_FALSE(Load(boxes, broken));
  EXPECT_EQ(shown, QStringList{"发生下列的错误:\n不明的类别 TovxNoSuchView"});

  TovxReport silent;
  silent.EngineOptions().SetNewSilentMode(TovxSilentMode::simSilent);
  silent.show_error = [&shown](const QString& text) { shown << text; };
  EXPECT_FALSE(Load(silent, broken));
  EXPECT_EQ(shown.size(), 1);

  TovxReport rethrow;
  rethrow.EngineOptions().SetNewSilentMode(TovxSilentMode::simReThrow);
  EXPECT_THROW((void)Load(rethrow, broken), ovx::Error);

  // Damaged documents keep what was read and say so.
  TovxReport truncated;
  truncated.EngineOptions().SetNewSilentMode(TovxSilentMode::simSilent);
  EXPECT_FALSE(Load(truncated, Template("", R"(<TovxReportPage Name="Page1">)").chopped(13)));
  EXPECT_EQ(truncated.Errors(), QStringList{"Invalid file format"});
  EXPECT_NE(truncated.FindObject("Page1"), nullptr);
}

TEST(ReportTemplateTest, LoadingKeepsTheHostsOptionsAndClearsTheRest) {
  TovxReport report;
  report.EngineOptions().SetMaxMemSize(99);
  report.PreviewOptions().SetZoom(2);
  report.SetIniFile("/host/settings");
  report.SetShowProgress(false);
  report.EngineOptions().SetPrintIfEmpty(false);
  ASSERT_TRUE(
      Load(report, Template(R"(IniFile="x" ShowProgress="True" EngineOptions.MaxMemSize="5" )"
                            R"(EngineOptions.DoublePass="True" PreviewOptions.Zoom="3" )"
                            R"(PreviewOptions.OutlineWidth="200")",
                            "")));
  EXPECT_EQ(report.EngineOptions().MaxMemSize(), 99);
  EXPECT_TRUE(report.EngineOptions().DoublePass());
  EXPECT_TRUE(report.EngineOptions().PrintIfEmpty());  // reset, not the earlier False
  EXPECT_DOUBLE_EQ(report.PreviewOptions().Zoom(), 2);
  EXPECT_EQ(report.PreviewOptions().OutlineWidth(), 200);
  EXPECT_EQ(report.IniFile(), "/host/settings");
  EXPECT_FALSE(report.ShowProgress());
}

TEST(ReportTemplateTest, FilesAreWrittenWholeAndMissingOnesReported) {
  QTemporaryDir dir;
  const QString path = dir.filePath("report.ov3");
  TovxReport report;
  new TovxReportPage(&report);
  report.Objects().back()->SetName("Page1");
  report.SaveToFile(path);
  TovxReport loaded;
  EXPECT_TRUE(loaded.LoadFromFile(path));
  EXPECT_EQ(loaded.FileName(), path);
  EXPECT_NE(loaded.FindObject("Page1"), nullptr);

  EXPECT_FALSE(loaded.LoadFromFile(dir.filePath("missing.ov3")));
  EXPECT_EQ(loaded.FindObject("Page1"), nullptr);
  EXPECT_THROW(report.SaveToFile(dir.filePath("no/such/dir/report.ov3")), ovx::Error);
}

TEST(ReportTemplateTest, ListsRoundTrip) {
  TovxReport report;
  auto* data = new TovxDataPage(&report);
  data->SetName("Data");
  auto* orders = new TovxUserDataSet(data);
  orders->SetName("Orders");
  report.AddDataSet(orders);
  report.Variables().SetValue(" Totals", QVariant());
  report.Variables().SetValue("Rate", QStringLiteral("0.5"));
  TovxStyleItem& style = report.Styles().Add();
  style.Font().SetName("黑体");
  report.Styles().SetName("House");

  TovxReport loaded;
  ASSERT_TRUE(Load(loaded, Save(report))) << loaded.Errors().join('\n').toStdString();
  ASSERT_EQ(loaded.DataSetCount(), 1);
  EXPECT_EQ(loaded.DataSets(0).DataSet(), loaded.FindObject("Orders"));
  EXPECT_EQ(loaded.GetDataset("orders"), loaded.FindObject("Orders"));
  EXPECT_EQ(loaded.Variables().Count(), 2);
  EXPECT_TRUE(loaded.Variables().Items(0).IsCategory());
  EXPECT_EQ(loaded.Variables().Value("rate").toString(), "0.5");
  ASSERT_EQ(loaded.Styles().Count(), 1);
  EXPECT_EQ(loaded.Styles().Items(0).Name(), "Style1");
  EXPECT_EQ(loaded.Styles().Items(0).Font().Name(), "黑体");
  EXPECT_EQ(loaded.Styles().Name(), "House");
}

TEST(ReportStylesTest, ApplyingGivesMemosTheirStyle) {
  TovxReport report;
  auto* page = new TovxReportPage(&report);
  auto* styled = new TovxMemoView(page);
  auto* orphan = new TovxMemoView(page);
  TovxStyleItem& heading = report.Styles().Add();
  report.Styles().Rename(heading, "Heading");
  heading.Font().SetSize(20);
  heading.SetColor(clYellow);
  heading.SetApplyFrame(false);
  styled->SetStyle("heading");
  orphan->SetStyle("Missing");
  EXPECT_THROW(report.Styles().Rename(report.Styles().Add(), "HEADING"), ovx::Error);

  report.Styles().Apply(report);
  EXPECT_EQ(styled->Font().Size(), 20);
  EXPECT_EQ(styled->Color(), clYellow);
  EXPECT_EQ(orphan->Style(), "");
}

}  // namespace

namespace {

TEST(ComponentCopyTest, AssignTakesPropertiesAndListsButKeepsNameAndChildren) {
  TovxReport report;
  auto* page = new TovxReportPage(&report);
  auto* source = new TovxMemoView(page);
  source->SetName("Source");
  source->SetBounds(1, 2, 30, 40);
  source->SetText("two\r\nlines");
  source->Font().SetName("宋体");
  source->AddFormat().SetFormatStr("0.00");
  source->AddFormat().SetFormatStr("yyyy");
  auto* target = new TovxMemoView(page);
  target->SetName("Target");
  target->AddFormat().SetFormatStr("old");
  auto* child = new TovxMemoView(target);

  target->Assign(*source);
  target->Assign(*source);  // twice: lists are replaced, not appended to
  EXPECT_EQ(target->Name(), "Target");
  EXPECT_DOUBLE_EQ(target->Width(), 30);
  EXPECT_EQ(target->Memo(), (QStringList{"two", "lines"}));
  EXPECT_EQ(target->Font().Name(), "宋体");
  EXPECT_FALSE(target->ParentFont());
  ASSERT_EQ(target->FormatCount(), 2);
  EXPECT_EQ(target->FormatAt(1).FormatStr(), "yyyy");
  EXPECT_EQ(target->Objects(), std::vector<TovxComponent*>{child});
  EXPECT_TRUE(report.Errors().isEmpty());
}

// Assign copies through the property metadata: what it gives must be what
// writing the source as a template and reading it back gives.
TEST(ComponentCopyTest, AssignGivesWhatSavingAndLoadingTheSourceGives) {
  TovxReport report;
  auto* page = new TovxReportPage(&report);
  page->SetName("Page1");
  page->SetPaperWidth(148.5);
  page->SetLeftMargin(1.0 / 3);
  ASSERT_TRUE(page->BackPicture().LoadFromFile(ovx::test::DataPath("templates/red-4x3.png")));
  auto* memo = new TovxMemoView(page);
  memo->SetName("Memo1");
  memo->SetBounds(466.77 / 3, 0.1 + 0.2, 29.92, 29.92);
  memo->SetText("字");
  memo->Font().SetName("楷体");
  memo->Font().SetSize(15);
  memo->SetHAlign(TovxHAlign::haCenter);
  memo->Frame().SetTyp({TovxFrameType::ftLeft, TovxFrameType::ftTop});
  memo->Frame().SetWidth(1.5);
  memo->SetFillType(TovxFillType::ftGradient);
  static_cast<TovxGradientFill&>(memo->Fill()).SetEndColor(clRed);
  memo->Hyperlink().SetKind(TovxHyperlinkKind::hkPageNumber);
  memo->Hyperlink().SetValue("2");
  memo->SetRotation(90);

  const auto written = [](const TovxComponent& object) {
    TovxXMLSerializer serializer(ovx::ReportClasses(), nullptr);
    serializer.SetSerializeDefaultValues(true);
    TovxXMLItem element;
    serializer.WriteComponentTree(object, false, element);
    return element.Text().toStdString();
  };
  TovxReport other;
  auto* page_copy = new TovxReportPage(&other);
  page_copy->Assign(*page);
  EXPECT_EQ(written(*page_copy), written(*page));
  EXPECT_EQ(page_copy->BackPicture().Data(), page->BackPicture().Data());
  auto* memo_copy = new TovxMemoView(page_copy);
  memo_copy->Assign(*memo);
  EXPECT_EQ(written(*memo_copy), written(*memo));
  EXPECT_EQ(memo_copy->FillType(), TovxFillType::ftGradient);
  EXPECT_TRUE(other.Errors().isEmpty());
}

// A view that never set its fill holds none (the default brush stands in);
// copying it must not make one on either side, and a fill it does hold is
// the copy's own, so changing one side leaves the other as it was.
TEST(ComponentCopyTest, FillsAreMadeOnlyWhereSetAndNeverShared) {
  TovxReport report;
  auto* page = new TovxReportPage(&report);
  for (TovxView* source : std::vector<TovxView*>{new TovxMemoView(page), new TovxPictureView(page),
                                                 new TovxShapeView(page)}) {
    const std::string name = source->GetMetaClass().ClassName().toStdString();
    std::unique_ptr<TovxView> copy(dynamic_cast<TovxView*>(source->GetMetaClass().Create(nullptr)));
    ASSERT_TRUE(copy) << name;
    copy->Assign(*source);
    EXPECT_EQ(source->ExistingFill(), nullptr) << name;
    EXPECT_EQ(copy->ExistingFill(), nullptr) << name;

    source->SetColor(clRed);
    copy->Assign(*source);
    ASSERT_NE(copy->ExistingFill(), nullptr) << name;
    EXPECT_NE(copy->ExistingFill(), source->ExistingFill()) << name;
    EXPECT_EQ(copy->Color(), clRed) << name;
    copy->SetColor(clBlue);
    EXPECT_EQ(source->Color(), clRed) << name;

    // A copy holding a fill of another kind takes the default brush back.
    copy->SetFillType(TovxFillType::ftGradient);
    std::unique_ptr<TovxView> unset(
        dynamic_cast<TovxView*>(source->GetMetaClass().Create(nullptr)));
    copy->Assign(*unset);
    EXPECT_EQ(copy->FillType(), TovxFillType::ftBrush) << name;
    EXPECT_EQ(copy->Color(), clNone) << name;
  }
  EXPECT_TRUE(report.Errors().isEmpty());
}

// A copy may share a memo's lines, but must give exactly the lines that its
// stored text gives (joined by CR LF, split at every line break).
TEST(ComponentCopyTest, AMemoCopyHasTheLinesOfItsStoredText) {
  const std::vector<QStringList> cases = {
      {}, {"a"}, {""}, {"", ""}, {"a", ""}, {"a\nb"}, {"a\rb", "c"}, {"one", "two", "three"}};
  for (const QStringList& lines : cases) {
    TovxMemoView source;
    source.SetLines(lines);
    TovxMemoView through_text;
    through_text.SetStoredText(*source.StoredText());
    TovxMemoView copy;
    copy.Assign(source);
    EXPECT_EQ(copy.Lines(), through_text.Lines()) << lines.join(u'|').toStdString();
  }
}

TEST(ComponentCopyTest, ASubtreeSavesAndLoadsOnItsOwn) {
  TovxReport report;
  auto* page = new TovxReportPage(&report);
  page->SetName("Page1");
  auto* memo = new TovxMemoView(page);
  memo->SetName("Memo1");
  memo->SetText("文字");
  ovx::MemoryStream stream;
  page->SaveToStream(stream);

  TovxReport other;
  auto* copy = new TovxReportPage(&other);
  new TovxMemoView(copy);  // cleared by the load
  stream.Seek(0);
  EXPECT_TRUE(copy->LoadFromStream(stream));
  ASSERT_EQ(copy->Objects().size(), 1u);
  EXPECT_EQ(copy->Objects()[0]->Name(), "Memo1");
  EXPECT_EQ(static_cast<TovxMemoView*>(copy->Objects()[0])->Text(), "文字\r\n");
}

TEST(ReportTemplateTest, NamesComeOnceAndTheReportKeepsItsOwn) {
  TovxReport report;
  ASSERT_TRUE(Load(report, Template(R"(Name="Data" name="Data")",
                                    R"(<TovxReportPage Name="Page1" Name="Other"/>)")))
      << report.Errors().join('\n').toStdString();
  EXPECT_EQ(report.Name(), "");
  EXPECT_EQ(report.Objects()[0]->Name(), "Data");
  EXPECT_NE(report.FindObject("Page1"), nullptr);
  EXPECT_EQ(report.FindObject("Other"), nullptr);
}

// Every object of the file survives: a repeated name makes an object of its
// own, which takes a generated name, and the error list tells the rename.
TEST(ReportTemplateTest, RepeatedNamesKeepEveryObjectAndAreReported) {
  TovxReport report;
  EXPECT_FALSE(Load(report, Template("", R"(
      <TovxReportPage Name="Page1">
        <TovxMemoView Name="Memo1" Left="1" Text="a"/>
        <TovxMemoView Name="Memo1" Left="2" Text="b"/>
      </TovxReportPage>
      <TovxReportPage Name="Page2">
        <TovxMemoView Name="Memo1" Left="3" Text="c"/>
        <TovxMemoView Name="1bad" Left="4" Text="d"/>
      </TovxReportPage>
      <TovxReportPage Name="Page1"/>)")));
  std::vector<QString> seen;
  for (TovxComponent* object : report.AllObjects()) {
    if (auto* memo = dynamic_cast<TovxMemoView*>(object)) {
      seen.push_back(memo->Page()->Name() + '.' + memo->Name() + '=' + memo->Text().trimmed() +
                     '@' + QString::number(memo->Left()));
    }
  }
  EXPECT_EQ(seen, (std::vector<QString>{"Page1.Memo1=a@1", "Page1.Memo2=b@2", "Page2.Memo3=c@3",
                                        "Page2.Memo4=d@4"}));
  ASSERT_EQ(report.Objects().size(), 4u);  // the data page and three pages
  EXPECT_EQ(report.Objects()[3]->Name(), "Page3");
  const QStringList& errors = report.Errors();
  ASSERT_EQ(errors.size(), 4) << errors.join('\n').toStdString();
  // A name that is no identifier is renamed the same way, after its own message.
  EXPECT_TRUE(errors[0].startsWith("\"1bad\"")) << errors[0].toStdString();
  EXPECT_TRUE(errors[0].endsWith(", renamed Memo4")) << errors[0].toStdString();
  EXPECT_EQ(errors.mid(1), (QStringList{"Duplicate name Memo1, renamed Memo2",
                                        "Duplicate name Memo1, renamed Memo3",
                                        "Duplicate name Page1, renamed Page3"}));

  // Saved and loaded again, the file is clean.
  TovxReport again;
  EXPECT_TRUE(Load(again, Save(report))) << again.Errors().join('\n').toStdString();
  EXPECT_EQ(ovx::DumpObjectTree(again).toStdString(), ovx::DumpObjectTree(report).toStdString());
}

TEST(ReportTemplateTest, AReportInsideAReportIsRefused) {
  TovxReport report;
  EXPECT_FALSE(Load(report, Template("", R"(<TovxReportPage Name="Page1">
      <TovxReport><TovxReportPage Name="Inner"/></TovxReport></TovxReportPage>)")));
  EXPECT_EQ(report.Errors(), QStringList{"TovxReport cannot be placed in TovxReportPage"});
  EXPECT_EQ(report.FindObject("Inner"), nullptr);
}

TEST(ReportTemplateTest, ReferenceCyclesInFilesAreRefused) {
  TovxReport report;
  EXPECT_FALSE(Load(report, Template("", R"(<TovxReportPage Name="Page1">
      <TovxMemoView Name="A" FlowTo="B"/><TovxMemoView Name="B" FlowTo="A"/>
      <TovxMasterData Name="M" Child="C"/><TovxChild Name="C" Child="C"/>
    </TovxReportPage>)")));
  EXPECT_EQ(report.Errors(), QStringList{"Circular child reference is not allowed"});
  auto* a = dynamic_cast<TovxMemoView*>(report.FindObject("A"));
  auto* b = dynamic_cast<TovxMemoView*>(report.FindObject("B"));
  ASSERT_TRUE(a && b);
  EXPECT_TRUE(a->FlowTo() == nullptr || b->FlowTo() == nullptr);
}

}  // namespace

namespace {

// Walks the string properties of `object` (nested objects too) and lists
// those whose value on a new object is not empty but which declare no such
// default: saving such an object with that text cleared would lose the
// clearing.
void CollectUndeclaredTexts(const ovx::Persistent& object, const QString& path, QStringList& out) {
  auto& mutable_object = const_cast<ovx::Persistent&>(object);
  for (const ovx::PropertyInfo* p : object.GetMetaClass().Properties()) {
    if (p->kind == ovx::PropertyKind::kObject && p->object) {
      CollectUndeclaredTexts(*p->object(mutable_object), path + p->name + '.', out);
    } else if (p->kind == ovx::PropertyKind::kString && p->get && p->set && p->IsStored(object)) {
      if (!ovx::ToText(p->get(object)).isEmpty() && !p->default_value) out << path + p->name;
    }
  }
}

TEST(ReportClassesTest, TextsOfNewObjectsAreDeclaredDefaults) {
  QStringList undeclared;
  for (const ovx::MetaClass* meta : ovx::ReportClasses().Classes()) {
    std::unique_ptr<ovx::Persistent> object(meta->Create(nullptr));
    ASSERT_NE(object, nullptr) << meta->ClassName().toStdString();
    CollectUndeclaredTexts(*object, meta->ClassName() + ':', undeclared);
  }
  EXPECT_TRUE(undeclared.isEmpty()) << undeclared.join(", ").toStdString();
}

}  // namespace

namespace {

// The template fuzzer's seeds, its findings among them: whatever loads saves
// and loads again to the same bytes.
TEST(ReportTemplateTest, FuzzSeedsRoundTripStably) {
  const QDir seeds(ovx::test::DataPath("../../fuzz/corpus/template"));
  const QStringList files = seeds.entryList(QDir::Files);
  ASSERT_FALSE(files.isEmpty()) << seeds.path().toStdString();
  for (const QString& file : files) {
    TovxReport report;
    (void)Load(report, ReadFile(seeds.filePath(file)));
    const QByteArray first = Save(report);
    TovxReport again;
    (void)Load(again, first);
    EXPECT_EQ(Save(again).toStdString(), first.toStdString()) << file.toStdString();
  }
}

}  // namespace

namespace {

TEST(ReportInheritanceTest, AnInheritedTemplateChangesItsAncestorsObjects) {
  QTemporaryDir dir;
  QDir(dir.path()).mkpath("base");
  QDir(dir.path()).mkpath("copy");
  {
    TovxReport parent;
    auto* page = new TovxReportPage(&parent);
    page->SetName("Page1");
    auto* title = new TovxMemoView(page);
    title->SetName("Title");
    title->SetBounds(10, 10, 100, 20);
    title->SetText("from the parent");
    parent.Variables().SetValue("Rate", QStringLiteral("0.5"));
    parent.SaveToFile(dir.filePath("base/parent.ov3"));
  }
  const QByteArray child_template = Template(R"(ParentReport="base/parent.ov3")", R"(
      <inherited Name="Page1">
        <inherited Name="Title" Left="50"/>
        <TovxMemoView Name="Own" Left="0" Top="40" Width="80" Height="20" Text="mine"/>
      </inherited>)");
  QFile file(dir.filePath("child.ov3"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(child_template);
  file.close();

  TovxReport child;
  ASSERT_TRUE(child.LoadFromFile(dir.filePath("child.ov3")));
  EXPECT_TRUE(child.Errors().isEmpty()) << child.Errors().join('\n').toStdString();
  auto* title = dynamic_cast<TovxMemoView*>(child.FindObject("Title"));
  auto* own = dynamic_cast<TovxMemoView*>(child.FindObject("Own"));
  ASSERT_TRUE(title && own);
  EXPECT_TRUE(title->IsAncestor());
  EXPECT_FALSE(own->IsAncestor());
  EXPECT_DOUBLE_EQ(title->Left(), 50);
  EXPECT_EQ(title->Text(), "from the parent\r\n");
  EXPECT_EQ(child.ParentReport(), "base/parent.ov3");
  EXPECT_THROW(title->SetName("Renamed"), ovx::Error);

  // Saved again, inherited objects keep only what differs from the ancestor.
  const QByteArray saved = Save(child);
  EXPECT_TRUE(saved.contains(R"(<inherited Name="Title" Left="50"/>)")) << saved.toStdString();
  EXPECT_FALSE(saved.contains("from the parent"));
  // Saved elsewhere, the ancestor is still found.
  child.SaveToFile(dir.filePath("copy/child.ov3"));
  EXPECT_EQ(child.ParentReport(), "../base/parent.ov3");
  TovxReport copy;
  ASSERT_TRUE(copy.LoadFromFile(dir.filePath("copy/child.ov3")));
  EXPECT_TRUE(copy.Errors().isEmpty()) << copy.Errors().join('\n').toStdString();
  EXPECT_DOUBLE_EQ(copy.FindObject("Title")->Left(), 50);
  // The ancestor's lists come back once, not once from each template.
  EXPECT_EQ(copy.Variables().Count(), 1);
}

TEST(ReportInheritanceTest, MissingAndCircularAncestorsAreErrors) {
  QTemporaryDir dir;
  QFile loop(dir.filePath("loop.ov3"));
  ASSERT_TRUE(loop.open(QIODevice::WriteOnly));
  loop.write(Template(R"(ParentReport="loop.ov3")", ""));
  loop.close();
  TovxReport report;
  ASSERT_TRUE(report.LoadFromFile(dir.filePath("loop.ov3")));
  EXPECT_EQ(report.Errors(), QStringList{"Too many ancestor reports: loop.ov3"});

  TovxReport orphan;
  EXPECT_FALSE(Load(orphan, Template(R"(ParentReport="nowhere.ov3")", "")));
  EXPECT_EQ(orphan.Errors(), QStringList{"Cannot find the ancestor report nowhere.ov3"});
}

}  // namespace
