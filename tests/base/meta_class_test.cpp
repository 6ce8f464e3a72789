// Property metadata: order, kinds, defaults, stored rules and the class registry.
#include "base/class_builder.h"
#include "base/class_registry.h"
#include "base/font.h"
#include "base/object_handle.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

OVX_ENUM(TestShape, shRectangle, shEllipse, shTriangle)
OVX_ENUM(TestSide, sdLeft, sdTop, sdRight)
using TestSides = ovx::EnumSet<TestSide>;

class Base : public ovx::Persistent {
  OVX_META_CLASS

 public:
  int Tag() const { return tag_; }
  void SetTag(int tag) { tag_ = tag; }
  double Left() const { return left_; }
  void SetLeft(double left) { left_ = left; }
  const QString& Caption() const { return caption_; }
  void SetCaption(const QString& caption) { caption_ = caption; }

 private:
  int tag_ = 0;
  double left_ = 0;
  QString caption_;
};

class Derived : public Base {
  OVX_META_CLASS

 public:
  TestShape Shape() const { return shape_; }
  void SetShape(TestShape shape) { shape_ = shape; }
  TestSides Sides() const { return sides_; }
  void SetSides(TestSides sides) { sides_ = sides; }
  bool Flag() const { return flag_; }
  void SetFlag(bool flag) { flag_ = flag; }
  TovxFont& Font() { return font_; }
  const TovxFont& Font() const { return font_; }
  Derived* Next() const { return next_; }
  void SetNext(Derived* next) { next_ = next; }
  const QStringList& Lines() const { return lines_; }
  void SetLines(const QStringList& lines) { lines_ = lines; }
  const QString& OnClick() const { return on_click_; }
  void SetOnClick(const QString& on_click) { on_click_ = on_click; }

 private:
  TestShape shape_ = TestShape::shRectangle;
  TestSides sides_;
  bool flag_ = true;
  TovxFont font_;
  Derived* next_ = nullptr;
  QStringList lines_;
  QString on_click_;
};

const ovx::MetaClass& Base::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    ovx::ClassBuilder<Base> b("TestBase", nullptr);
    b.Integer("Tag", &Base::Tag, &Base::SetTag).Default(0);
    b.Float("Left", &Base::Left, nullptr).Default(0);
    return b.Build();
  }();
  return meta;
}

const ovx::MetaClass& Derived::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = Derived;
    ovx::ClassBuilder<C> b("TestDerived", &Base::StaticMetaClass());
    b.Enum("Shape", &C::Shape, &C::SetShape).Default(TestShape::shRectangle);
    b.Set("Sides", "TestSides", &C::Sides, &C::SetSides);
    b.Bool("Flag", &C::Flag, &C::SetFlag).Default(true);
    b.Object("Font", [](C& c) -> TovxFont& { return c.Font(); });
    b.Reference("Next", "TestDerived", &C::Next, &C::SetNext);
    b.StringList("Lines", &C::Lines, &C::SetLines);
    b.Event("OnClick", &C::OnClick, &C::SetOnClick);
    // Published again, writable here: it keeps its place after Tag.
    b.Float("Left", &C::Left, &C::SetLeft).Default(0);
    b.String("Caption", &C::Caption, &C::SetCaption).StoredWhen<C>([](const C& c) {
      return c.Caption() != "skip";
    });
    b.Creatable([](ovx::Persistent*) -> ovx::Persistent* { return new Derived; });
    return b.Build();
  }();
  return meta;
}

QStringList PropertyNames(const ovx::MetaClass& meta) {
  QStringList names;
  for (const ovx::PropertyInfo* p : meta.Properties()) names << p->name;
  return names;
}

TEST(MetaClassTest, PropertiesComeBaseFirstInDeclarationOrder) {
  const ovx::MetaClass& meta = Derived::StaticMetaClass();
  EXPECT_EQ(PropertyNames(meta), (QStringList{"Tag", "Left", "Shape", "Sides", "Flag", "Font",
                                              "Next", "Lines", "OnClick", "Caption"}));
  EXPECT_EQ(meta.FindProperty(u"left")->declared_in, &meta);
  EXPECT_FALSE(meta.FindProperty(u"LEFT")->IsReadOnly());
  EXPECT_TRUE(Base::StaticMetaClass().FindProperty(u"Left")->IsReadOnly());
  EXPECT_EQ(meta.FindProperty(u"Missing"), nullptr);
  EXPECT_TRUE(meta.InheritsFrom(Base::StaticMetaClass()));
  EXPECT_FALSE(Base::StaticMetaClass().InheritsFrom(meta));
}

TEST(MetaClassTest, KindsAndTypeNames) {
  const ovx::MetaClass& meta = Derived::StaticMetaClass();
  struct Case {
    const char16_t* name;
    ovx::PropertyKind kind;
    const char* type_name;
  };
  const Case cases[] = {
      {u"Tag", ovx::PropertyKind::kInteger, "Integer"},
      {u"Left", ovx::PropertyKind::kFloat, "Extended"},
      {u"Shape", ovx::PropertyKind::kEnumeration, "TestShape"},
      {u"Sides", ovx::PropertyKind::kSet, "TestSides"},
      {u"Flag", ovx::PropertyKind::kEnumeration, "Boolean"},
      {u"Font", ovx::PropertyKind::kObject, "TFont"},
      {u"Next", ovx::PropertyKind::kReference, "TestDerived"},
      {u"Lines", ovx::PropertyKind::kStringList, "TStrings"},
      {u"OnClick", ovx::PropertyKind::kString, "TovxNotifyEvent"},
  };
  for (const Case& c : cases) {
    const ovx::PropertyInfo* p = meta.FindProperty(c.name);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->kind, c.kind) << p->name.toStdString();
    EXPECT_EQ(p->type_name, QString::fromLatin1(c.type_name));
  }
  EXPECT_TRUE(meta.FindProperty(u"OnClick")->IsEvent());
  EXPECT_FALSE(meta.FindProperty(u"Caption")->IsEvent());
  EXPECT_EQ(meta.FindProperty(u"Shape")->enum_type->NameOf(2), "shTriangle");
  EXPECT_EQ(meta.FindProperty(u"Shape")->enum_type->IndexOf(u"SHELLIPSE"), 1);
  EXPECT_EQ(meta.FindProperty(u"Sides")->enum_type->Name(), "TestSide");
  EXPECT_EQ(meta.FindProperty(u"Font")->ValueClass(), &TovxFont::StaticMetaClass());
  EXPECT_EQ(meta.FindProperty(u"Next")->ValueClass(), &meta);
}

TEST(MetaClassTest, ValuesGoThroughGettersAndSetters) {
  Derived object;
  Derived other;
  const ovx::MetaClass& meta = object.GetMetaClass();
  const auto set = [&](const char16_t* name, const ovx::PropertyValue& v) {
    meta.FindProperty(name)->set(object, v);
  };
  set(u"Tag", qint64{42});
  set(u"Left", 12.5);
  set(u"Shape", qint64{2});
  set(u"Shape", qint64{7});     // outside the enumeration: ignored
  set(u"Sides", qint64{0xFF});  // bits beyond the three sides are dropped
  set(u"Flag", qint64{0});
  set(u"Next", static_cast<ovx::Persistent*>(&other));
  set(u"Lines", QStringList{"a", "b"});
  EXPECT_EQ(object.Tag(), 42);
  EXPECT_EQ(object.Left(), 12.5);
  EXPECT_EQ(object.Shape(), TestShape::shTriangle);
  EXPECT_EQ(object.Sides().Bits(), 7u);
  EXPECT_FALSE(object.Flag());
  EXPECT_EQ(object.Next(), &other);
  EXPECT_EQ(object.Lines(), (QStringList{"a", "b"}));

  // A nested object is reached in place and described by its own table.
  const ovx::PropertyInfo* font = meta.FindProperty(u"Font");
  ovx::Persistent* held = font->object(object);
  ASSERT_EQ(held, &object.Font());
  held->GetMetaClass().FindProperty(u"Style")->set(*held, qint64{3});
  EXPECT_EQ(object.Font().Style(),
            (TovxFontStyles{TovxFontStyle::fsBold, TovxFontStyle::fsItalic}));
  EXPECT_EQ(ovx::ToInt(held->GetMetaClass().FindProperty(u"Style")->get(*held)), 3);
}

TEST(MetaClassTest, DefaultsAndStoredRules) {
  Derived object;
  const ovx::MetaClass& meta = object.GetMetaClass();
  // Defaults take the property's own value type: Default(0) on a float is 0.0.
  EXPECT_TRUE(meta.FindProperty(u"Left")->HasDefaultValue(object));
  EXPECT_TRUE(meta.FindProperty(u"Flag")->HasDefaultValue(object));
  EXPECT_FALSE(meta.FindProperty(u"Sides")->default_value.has_value());
  object.SetFlag(false);
  EXPECT_FALSE(meta.FindProperty(u"Flag")->HasDefaultValue(object));

  EXPECT_TRUE(meta.FindProperty(u"Caption")->IsStored(object));
  object.SetCaption("skip");
  EXPECT_FALSE(meta.FindProperty(u"Caption")->IsStored(object));
  EXPECT_FALSE(TovxFont::StaticMetaClass().FindProperty(u"Size")->IsStored(object.Font()));
}

TEST(ClassRegistryTest, FindsByNameIgnoringCaseAndKeepsTheFirst) {
  ovx::ClassRegistry registry;
  registry.Register(Derived::StaticMetaClass());
  registry.Register(Derived::StaticMetaClass());
  registry.Register(Base::StaticMetaClass());
  EXPECT_EQ(registry.Classes().size(), 2u);
  const ovx::MetaClass* found = registry.Find(u"testderived");
  ASSERT_EQ(found, &Derived::StaticMetaClass());
  std::unique_ptr<ovx::Persistent> created(found->Create(nullptr));
  EXPECT_EQ(&created->GetMetaClass(), found);
  EXPECT_FALSE(registry.Find(u"TestBase")->CanCreate());
  EXPECT_EQ(registry.Find(u"Unknown"), nullptr);
}

TEST(FontTest, SizeAndHeightAt96PixelsPerInch) {
  struct Case {
    int size;
    int height;
  };
  const Case cases[] = {{10, -13}, {48, -64}, {9, -12}, {16, -21}, {8, -11}};
  for (const Case& c : cases) {
    TovxFont font;
    font.SetSize(c.size);
    EXPECT_EQ(font.Height(), c.height) << c.size;
    font.SetHeight(c.height);
    EXPECT_EQ(font.Size(), c.size) << c.height;
  }
  TovxFont font;
  EXPECT_EQ(font.Name(), "Arial");
  EXPECT_EQ(font.Size(), 10);
  EXPECT_EQ(font.Color(), 0);
  EXPECT_EQ(font.Charset(), 1);
  EXPECT_TRUE(font.Style().IsEmpty());
}

TEST(FontTest, EverySettingNotifiesAndCopiesKeepTheirOwnHandler) {
  TovxFont font;
  int changes = 0;
  font.SetChangeHandler([](void* count) { ++*static_cast<int*>(count); }, &changes);
  font.SetName("Arial");  // the same value still counts
  font.SetColor(255);
  font.SetStyle({TovxFontStyle::fsUnderline});
  font.Assign(TovxFont());
  EXPECT_EQ(changes, 4);
  TovxFont copy(font);
  copy.SetSize(20);
  EXPECT_EQ(changes, 4);
  EXPECT_EQ(font.StyleBits(), 0);
}

// A destroyed object's handle must die with it, whatever other handles
// came and went before: destructions skip the table for addresses that
// never had a handle, and that shortcut must never skip a live one.
TEST(ObjectHandleTest, EveryHandleDiesWithItsObject) {
  const qint64 live_before = ovx::LiveObjectHandles();
  // Rounds: a few handles; then enough that the last one gone empties the
  // shortcut; then again after it was emptied.
  for (const int count : {3, 5000, 7}) {
    std::vector<std::unique_ptr<Base>> objects;
    std::vector<qint64> handles;
    for (int i = 0; i < count; ++i) {
      objects.push_back(std::make_unique<Base>());
      handles.push_back(ovx::ObjectHandle(objects.back().get()));
    }
    // A bystander without a handle goes first, then every other object.
    { Base bystander; }
    for (size_t i = 0; i < objects.size(); i += 2) objects[i].reset();
    for (size_t i = 0; i < objects.size(); ++i) {
      EXPECT_EQ(ovx::ObjectFromHandle(handles[i]), objects[i].get()) << count << " " << i;
    }
    objects.clear();
    for (const qint64 handle : handles) EXPECT_EQ(ovx::ObjectFromHandle(handle), nullptr);
    EXPECT_EQ(ovx::LiveObjectHandles(), live_before) << count;
  }
}

}  // namespace
