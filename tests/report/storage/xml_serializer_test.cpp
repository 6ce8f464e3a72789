// The object serializer over a small tree of test objects with one property
// of every kind.
#include "report/storage/xml_serializer.h"
#include "base/class_builder.h"
#include "base/error.h"
#include "base/font.h"
#include "base/stream.h"
#include "report/storage/property_record.h"
#include "report/storage/xml_document.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

OVX_ENUM(TestKind, tkPlain, tkFancy, tkOdd)
OVX_ENUM(TestSide, tsLeft, tsTop, tsRight, tsBottom)
using TestSides = ovx::EnumSet<TestSide>;

// A value object with data of its own ("PropData").
class TestBlob : public ovx::Persistent {
  OVX_META_CLASS

 public:
  QByteArray bytes;
  int Size() const { return static_cast<int>(bytes.size()); }
  QByteArray DefinedData() const override {
    if (bytes.isEmpty()) return {};
    ovx::PropertyRecordWriter writer;
    writer.WriteBinary("Data", bytes);
    return writer.Data();
  }
  void ReadDefinedData(const QByteArray& record) override {
    bytes.clear();
    ovx::PropertyRecordReader reader(record);
    while (!reader.AtEnd()) {
      const ovx::RecordValue value = reader.Next();
      if (value.name == "Data") bytes = value.bytes;
    }
  }
};

const ovx::MetaClass& TestBlob::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    ovx::ClassBuilder<TestBlob> b("TestBlob", nullptr);
    b.Integer("Size", &TestBlob::Size, nullptr).Stored(false);
    return b.Build();
  }();
  return meta;
}

// A report object of the test tree.
class TestNode : public ovx::StoredObject {
  OVX_META_CLASS

 public:
  explicit TestNode(TestNode* parent = nullptr) : parent_(parent) {
    if (parent_) parent_->children_.emplace_back(this);
  }

  // --- published ---
  int Tag() const { return tag_; }
  void SetTag(int tag) { tag_ = tag; }
  TestKind Kind() const { return kind_; }
  void SetKind(TestKind kind) { kind_ = kind; }
  bool Flag() const { return flag_; }
  void SetFlag(bool flag) { flag_ = flag; }
  bool Always() const { return always_; }
  void SetAlways(bool always) { always_ = always; }
  TestSides Sides() const { return sides_; }
  void SetSides(TestSides sides) { sides_ = sides; }
  double Left() const { return left_; }
  void SetLeft(double left) { left_ = left; }
  double Gap() const { return gap_; }
  void SetGap(double gap) { gap_ = gap; }
  const QString& Caption() const { return caption_; }
  void SetCaption(const QString& caption) { caption_ = caption; }
  const QStringList& Lines() const { return lines_; }
  void SetLines(const QStringList& lines) { lines_ = lines; }
  TestNode* Link() const { return link_; }
  void SetLink(TestNode* link) {
    for (TestNode* n = link; n; n = n->link_) {
      if (n == this)
        throw ovx::Error("clCirRefNotAllow", "Circular child reference is not allowed");
    }
    link_ = link;
  }
  TovxFont& Font() { return font_; }
  TestBlob& Blob() { return blob_; }

  // --- storage ---
  QString StoredName() const override { return name_; }
  void SetStoredName(const QString& name) override {
    if (name == "Bad") throw ovx::Error(QString(), "refused name");
    name_ = name;
  }
  std::vector<ovx::StoredObject*> StoredChildren() const override {
    std::vector<ovx::StoredObject*> out;
    for (const auto& c : children_) out.push_back(c.get());
    return out;
  }
  void MoveToEnd() override {}
  bool IsInherited() const override { return false; }
  ovx::StoredObject* FindStored(const QString& name) const override {
    for (const auto& c : children_) {
      if (c->name_.compare(name, Qt::CaseInsensitive) == 0) return c.get();
      if (ovx::StoredObject* found = c->FindStored(name)) return found;
    }
    return nullptr;
  }
  void SetLoading(bool loading) override { loading_ = loading; }
  void Loaded() override { ++loaded_calls; }
  std::optional<QString> StoredText() const override {
    return has_text ? std::optional<QString>(text) : std::nullopt;
  }
  void SetStoredText(const QString& value) override { text = value; }
  std::optional<QByteArray> RawAttributes() const override {
    return raw ? std::optional<QByteArray>(raw_attributes) : std::nullopt;
  }
  bool SetRawAttributes(const QByteArray& attributes) override {
    raw_attributes = attributes;
    return raw;
  }
  void WriteCollections(TovxXMLItem& element, TovxXMLSerializer& serializer) const override {
    if (items.empty()) return;
    TovxXMLItem* list = element.Add();
    list->SetName("Items");
    for (const auto& item : items) {
      TovxXMLItem* entry = list->Add();
      entry->SetName("item");
      entry->SetText(serializer.WriteCollectionItem(*item));
    }
  }
  bool ReadCollection(const TovxXMLItem& element, TovxXMLSerializer& serializer) override {
    if (element.Name().compare("Items", Qt::CaseInsensitive) != 0) return false;
    for (int i = 0; i < element.Count(); ++i) {
      items.push_back(std::make_unique<TestBlob>());
      serializer.ReadCollectionItem(element.Items(i)->Text(), *items.back());
    }
    return true;
  }

  bool has_text = false;
  QString text;
  bool raw = false;
  QByteArray raw_attributes;
  int loaded_calls = 0;
  std::vector<std::unique_ptr<TestBlob>> items;
  std::vector<std::unique_ptr<TestNode>> children_;

 private:
  TestNode* parent_;
  QString name_;
  int tag_ = 0;
  TestKind kind_ = TestKind::tkPlain;
  bool flag_ = false;
  bool always_ = true;
  TestSides sides_;
  double left_ = 0;
  double gap_ = 2;
  QString caption_;
  QStringList lines_;
  TestNode* link_ = nullptr;
  TovxFont font_;
  TestBlob blob_;
  bool loading_ = false;
};

// A node of a class kept as it was read.
class TestRawNode : public TestNode {
  OVX_META_CLASS

 public:
  explicit TestRawNode(TestNode* parent = nullptr) : TestNode(parent) { raw = true; }
};

// A node with a text, like a memo.
class TestMemo : public TestNode {
  OVX_META_CLASS

 public:
  explicit TestMemo(TestNode* parent = nullptr) : TestNode(parent) { has_text = true; }
};

const ovx::MetaClass& TestNode::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TestNode;
    ovx::ClassBuilder<C> b("TestNode", nullptr);
    b.Integer("Tag", &C::Tag, &C::SetTag).Default(0);
    b.Enum("Kind", &C::Kind, &C::SetKind).Default(TestKind::tkPlain);
    b.Bool("Flag", &C::Flag, &C::SetFlag).Default(false);
    b.Bool("Always", &C::Always, &C::SetAlways);  // no declared default: always written
    b.Set("Sides", "TestSides", &C::Sides, &C::SetSides).Default(TestSides{});
    b.Float("Left", &C::Left, &C::SetLeft).Default(0);
    b.Float("Gap", &C::Gap, &C::SetGap).StoredWhen<C>([](const C& c) { return c.Gap() != 2; });
    b.String("Caption", &C::Caption, &C::SetCaption);
    b.StringList("Lines", &C::Lines, &C::SetLines);
    b.Reference("Link", "TestNode", &C::Link, &C::SetLink);
    b.Object("Font", [](C& c) -> TovxFont& { return c.Font(); });
    b.Object("Blob", [](C& c) -> TestBlob& { return c.Blob(); });
    b.Creatable([](ovx::Persistent* owner) -> ovx::Persistent* {
      return new TestNode(dynamic_cast<TestNode*>(owner));
    });
    return b.Build();
  }();
  return meta;
}

const ovx::MetaClass& TestRawNode::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    ovx::ClassBuilder<TestRawNode> b("TestRawNode", &TestNode::StaticMetaClass());
    b.Creatable([](ovx::Persistent* owner) -> ovx::Persistent* {
      return new TestRawNode(dynamic_cast<TestNode*>(owner));
    });
    return b.Build();
  }();
  return meta;
}

const ovx::MetaClass& TestMemo::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    ovx::ClassBuilder<TestMemo> b("TestMemo", &TestNode::StaticMetaClass());
    b.Creatable([](ovx::Persistent* owner) -> ovx::Persistent* {
      return new TestMemo(dynamic_cast<TestNode*>(owner));
    });
    return b.Build();
  }();
  return meta;
}

struct SerializerFixture : ::testing::Test {
  ovx::ClassRegistry classes;
  SerializerFixture() {
    classes.Register(TestNode::StaticMetaClass());
    classes.Register(TestRawNode::StaticMetaClass());
    classes.Register(TestMemo::StaticMetaClass());
  }

  QByteArray Save(TestNode& root) {
    ovx::MemoryStream stream;
    TovxXMLSerializer serializer(classes, &root);
    serializer.WriteRootComponent(root, true, stream);
    return stream.Data();
  }

  QStringList Load(TestNode& root, const QByteArray& bytes) {
    ovx::MemoryStream stream(bytes);
    TovxXMLSerializer serializer(classes, &root);
    serializer.ReadRootComponent(root, stream);
    return serializer.Errors();
  }
};

using SerializerTest = SerializerFixture;

TEST_F(SerializerTest, WritesOnlyWhatDiffersFromDefaultsInDeclarationOrder) {
  TestNode root;
  auto* child = new TestNode(&root);
  child->SetStoredName("Child1");
  child->SetKind(TestKind::tkFancy);
  child->SetSides({TestSide::tsLeft, TestSide::tsBottom});
  child->SetLeft(523.464905);
  child->SetCaption("say \"hi\" & <bye>");
  child->Font().SetName("宋体");
  child->has_text = true;
  child->text = "line1\r\nline2";

  TovxXMLSerializer serializer(classes, &root);
  EXPECT_EQ(
      serializer.WriteProperties(root),
      R"( Always="True" Left="0" Lines.Text="" Font.Charset="1" Font.Color="0" Font.Height="-13" Font.Name="Arial" Font.Style="0")");
  EXPECT_EQ(
      serializer.ObjectToString(*child),
      R"(TestNode Kind="tkFancy" Always="True" Sides="9" Left="523.464905" Caption="say &#34;hi&#34; &#38; &#60;bye&#62;" Lines.Text="" Font.Charset="1" Font.Color="0" Font.Height="-13" Font.Name="宋体" Font.Style="0" Text="line1&#13;&#10;line2")");

  child->SetGap(3);
  child->SetFlag(true);
  EXPECT_TRUE(serializer.WriteProperties(*child).contains(R"( Flag="True")"));
  EXPECT_TRUE(serializer.WriteProperties(*child).contains(R"( Gap="3")"));

  serializer.SetSerializeDefaultValues(true);
  EXPECT_TRUE(serializer.WriteProperties(root).contains(R"( Tag="0" Kind="tkPlain")"));
}

TEST_F(SerializerTest, TreeRoundTripsByteForByte) {
  TestNode root;
  root.SetTag(7);
  auto* page = new TestNode(&root);
  page->SetStoredName("Page1");
  page->SetLines({"first", "", "第三行"});
  page->Blob().bytes = QByteArray("\x00\x01\xFF\x7Fpicture", 11);
  auto* memo = new TestMemo(page);
  memo->SetStoredName("Memo1");
  memo->text = "天地玄黃\r\n宇宙洪荒";
  memo->SetLink(page);
  memo->items.push_back(std::make_unique<TestBlob>());
  auto* raw = new TestRawNode(page);
  raw->SetStoredName("Dialog1");
  raw->raw_attributes = R"(Caption="Ask" Width="300")";

  const QByteArray saved = Save(root);
  EXPECT_TRUE(
      saved.startsWith("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<TestNode Tag=\"7\""));
  EXPECT_TRUE(saved.contains("Blob.PropData=\"0444617461"));

  TestNode loaded;
  EXPECT_EQ(Load(loaded, saved), QStringList());
  ASSERT_EQ(loaded.children_.size(), 1u);
  TestNode& page2 = *loaded.children_[0];
  EXPECT_EQ(page2.Lines(), (QStringList{"first", "", "第三行"}));
  EXPECT_EQ(page2.Blob().bytes, page->Blob().bytes);
  ASSERT_EQ(page2.children_.size(), 2u);
  TestNode& memo2 = *page2.children_[0];
  EXPECT_EQ(memo2.Link(), &page2);
  EXPECT_EQ(memo2.loaded_calls, 1);
  EXPECT_EQ(memo2.items.size(), 1u);
  EXPECT_EQ(page2.children_[1]->raw_attributes, R"(Caption="Ask" Width="300")");
  EXPECT_EQ(page2.children_[1]->StoredName(), "Dialog1");
  EXPECT_EQ(loaded.loaded_calls, 0);  // the top object has no loaded hook
  EXPECT_EQ(Save(loaded).toStdString(), saved.toStdString());
}

TEST_F(SerializerTest, BadValuesAreReportedAndReadingGoesOn) {
  struct Case {
    const char* attributes;
    const char* error_part;  // empty: no error
  };
  const Case cases[] = {
      {R"(Left="439,65337")", ""},
      {R"(Left="NAN")", "Left"},
      {R"(Left="INF")", "Left"},
      {R"(Left="abc")", "Left"},
      {R"(Tag="12x")", "Tag"},
      {R"(Tag="99999999999")", "Tag"},
      {R"(Kind="tkNope")", "Kind"},
      {R"(Kind="7")", "Kind"},
      {R"(Kind="-1")", "Kind"},
      {R"(Kind="2")", ""},
      {R"(Sides="16")", "Sides"},
      {R"(Sides="15")", ""},
      {R"(Flag="True")", ""},
      {R"(Blob.PropData="0G")", "Damaged"},
      {R"(Blob.PropData="04446174610A10000000")", "Damaged"},
      {R"(Unknown="1" Font.Nope="2" Nope.Size="3")", ""},
  };
  for (const Case& c : cases) {
    TestNode root;
    const QByteArray document =
        QByteArray("<?xml version=\"1.0\"?><TestNode><TestNode Name=\"A\" ") + c.attributes +
        " Caption=\"still read\"/></TestNode>";
    const QStringList errors = Load(root, document);
    if (*c.error_part) {
      ASSERT_EQ(errors.size(), 1) << c.attributes;
      EXPECT_TRUE(errors[0].contains(QString::fromLatin1(c.error_part))) << errors[0].toStdString();
    } else {
      EXPECT_TRUE(errors.isEmpty()) << c.attributes << errors.join("|").toStdString();
    }
    ASSERT_EQ(root.children_.size(), 1u) << c.attributes;
    EXPECT_EQ(root.children_[0]->Caption(), "still read") << c.attributes;
  }
}

TEST_F(SerializerTest, ReadingConvertsEveryKind) {
  TestNode root;
  const QStringList errors = Load(root, R"(<?xml version="1.0"?>
    <TestNode Name="Ignored" Tag="-16777208">
      <TestNode Name="B" Kind="tkodd" Flag="true" Sides="5" Left=" 1 000,5" Link="a"
                Lines.Text="x&#13;&#10;y" Font.Style="3" Font.Name="&#40657;&#20307;" Text="t"/>
      <TestNode Name="A" Link="nobody"/>
    </TestNode>)");
  EXPECT_TRUE(errors.isEmpty()) << errors.join("|").toStdString();
  EXPECT_EQ(root.StoredName(), "");
  EXPECT_EQ(root.Tag(), -16777208);
  const TestNode& b = *root.children_[0];
  EXPECT_EQ(b.Kind(), TestKind::tkOdd);
  EXPECT_TRUE(b.Flag());
  EXPECT_EQ(b.Sides(), (TestSides{TestSide::tsLeft, TestSide::tsRight}));
  EXPECT_DOUBLE_EQ(b.Left(), 1000.5);
  EXPECT_EQ(b.Link(), root.children_[1].get());  // a forward reference
  EXPECT_EQ(b.Lines(), (QStringList{"x", "y"}));
  EXPECT_EQ(const_cast<TestNode&>(b).Font().StyleBits(), 3);
  EXPECT_EQ(const_cast<TestNode&>(b).Font().Name(), "黑体");
  EXPECT_EQ(root.children_[1]->Link(), nullptr);
}

TEST_F(SerializerTest, UnknownClassesAreReportedOnceAndSkippedWithTheirContent) {
  TestNode root;
  const QStringList errors = Load(root, R"(<?xml version="1.0"?>
    <TestNode>
      <TestNoSuchView Name="X1"><TestNode Name="Inside"/></TestNoSuchView>
      <TestNode Name="Kept"/>
      <TestNoSuchView Name="X2"/>
    </TestNode>)");
  EXPECT_EQ(errors, QStringList{"不明的类别 TestNoSuchView"});
  ASSERT_EQ(root.children_.size(), 1u);
  EXPECT_EQ(root.children_[0]->StoredName(), "Kept");
}

TEST_F(SerializerTest, ReferenceCyclesAndRefusedNamesAreErrorsNotLoops) {
  TestNode root;
  const QStringList errors = Load(root, R"(<?xml version="1.0"?>
    <TestNode>
      <TestNode Name="A" Link="B"/>
      <TestNode Name="B" Link="A"/>
      <TestNode Name="Bad"/>
    </TestNode>)");
  EXPECT_EQ(errors, (QStringList{"Circular child reference is not allowed", "refused name"}));
}

TEST_F(SerializerTest, TruncatedDocumentKeepsWhatWasReadAndStillFails) {
  TestNode root;
  ovx::MemoryStream stream(
      QByteArray(R"(<?xml version="1.0"?><TestNode Tag="3"><TestNode Name="A"/>)"));
  TovxXMLSerializer serializer(classes, &root);
  EXPECT_THROW(serializer.ReadRootComponent(root, stream), TovxInvalidXMLException);
  EXPECT_EQ(root.Tag(), 3);
  EXPECT_EQ(root.children_.size(), 1u);
}

TEST_F(SerializerTest, ObjectRecordsUseCompactNames) {
  TestNode root;
  TovxXMLSerializer serializer(classes, &root);
  auto* parent = new TestNode(&root);
  parent->SetStoredName("P");
  ovx::StoredObject* created = serializer.ReadObjectRecord(
      R"(TestMemo Name="M" l="1.5" t="2" w="30" h="4" u="&#27721;&#23383;" Link="P")", parent);
  ASSERT_NE(created, nullptr);
  auto* node = static_cast<TestNode*>(created);
  EXPECT_EQ(node->text, "汉字");
  EXPECT_DOUBLE_EQ(node->Left(), 1.5);
  EXPECT_EQ(node->Link(), parent);
  EXPECT_EQ(node->loaded_calls, 1);
  EXPECT_EQ(serializer.ReadObjectRecord("NoSuchClass l=\"1\"", parent), nullptr);
  EXPECT_EQ(serializer.Errors(), QStringList{"不明的类别 NoSuchClass"});

  ovx::MemoryStream out;
  serializer.WriteObjectRecord(*node, out);
  EXPECT_TRUE(out.Data().startsWith("<TestMemo Always=\"True\" Left=\"1.5\""));
  EXPECT_TRUE(out.Data().endsWith("Text=\"汉字\"/>"));
}

}  // namespace
