// TPen and TBrush are plain values here: no canvas takes them, so they keep
// what a script sets and give it back (and Assign copies between objects of
// one class). Their tables are property metadata like the report's, so the
// registry reads and writes them the same way as a font.
#include "script/graphics_module.h"

#include <mutex>

#include "base/brush_style.h"
#include "base/class_builder.h"
#include "base/color.h"
#include "base/font.h"
#include "script/classes_internal.h"
#include "script/classes_module.h"
#include "script/script.h"

namespace ovx {
namespace graphics {

OVX_ENUM(TFontPitch, fpDefault, fpVariable, fpFixed)
OVX_ENUM(TPenStyle, psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame)
OVX_ENUM(TPenMode, pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot,
         pmMergeNotPen, pmMaskNotPen, pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor)

class Pen : public Persistent {
  OVX_META_CLASS

 public:
  Color GetColor() const { return color_; }
  void SetColor(Color c) { color_ = c; }
  int Width() const { return width_; }
  // A pen is never thinner than one pixel.
  void SetWidth(int w) { width_ = w < 1 ? 1 : w; }
  TPenStyle Style() const { return style_; }
  void SetStyle(TPenStyle s) { style_ = s; }
  TPenMode Mode() const { return mode_; }
  void SetMode(TPenMode m) { mode_ = m; }

 private:
  Color color_ = clBlack;
  int width_ = 1;
  TPenStyle style_ = TPenStyle::psSolid;
  TPenMode mode_ = TPenMode::pmCopy;
};

class Brush : public Persistent {
  OVX_META_CLASS

 public:
  Color GetColor() const { return color_; }
  void SetColor(Color c) { color_ = c; }
  TovxBrushStyle Style() const { return style_; }
  void SetStyle(TovxBrushStyle s) { style_ = s; }

 private:
  Color color_ = clWhite;
  TovxBrushStyle style_ = TovxBrushStyle::bsSolid;
};

const MetaClass& Pen::StaticMetaClass() {
  static const MetaClass meta = [] {
    ClassBuilder<Pen> b("TPen", &classes::Meta("TPersistent"));
    b.Color("Color", &Pen::GetColor, &Pen::SetColor).Default(clBlack);
    b.Enum("Mode", &Pen::Mode, &Pen::SetMode).Default(TPenMode::pmCopy);
    b.Enum("Style", &Pen::Style, &Pen::SetStyle).Default(TPenStyle::psSolid);
    b.Integer("Width", &Pen::Width, &Pen::SetWidth).Default(1);
    b.Creatable([](Persistent*) -> Persistent* { return new Pen; });
    return b.Build();
  }();
  return meta;
}

const MetaClass& Brush::StaticMetaClass() {
  static const MetaClass meta = [] {
    ClassBuilder<Brush> b("TBrush", &classes::Meta("TPersistent"));
    b.Color("Color", &Brush::GetColor, &Brush::SetColor).Default(clWhite);
    // The platform's name for the style type, with the values fills use.
    b.Enum("Style", &Brush::Style, &Brush::SetStyle)
        .Default(TovxBrushStyle::bsSolid)
        .TypeName(QStringLiteral("TBrushStyle"));
    b.Creatable([](Persistent*) -> Persistent* { return new Brush; });
    return b.Build();
  }();
  return meta;
}

namespace {

QString Names(const EnumType& type) {
  QStringList list;
  for (const QString& v : type.Values()) list << v;
  return list.join(QStringLiteral(", "));
}

// Copies every published property of `from` into `to` through the
// metadata; both are objects of `meta`.
void CopyProperties(const MetaClass& meta, const Persistent& from, Persistent& to) {
  for (const PropertyInfo* p : meta.Properties()) {
    if (p->copy)
      p->copy(from, to);
    else if (p->get && p->set)
      p->set(to, p->get(from));
  }
}

// Create and Assign for a class whose objects are created from its
// metadata; `assign` copies between two objects of the class.
template <class T>
void AddValueMembers(TksClassVariable& cls, void (*assign)(const T& from, T& to)) {
  cls.AddConstructor(QStringLiteral("constructor Create"), [](ScriptMethodCall& call) {
    const MetaClass& meta = T::StaticMetaClass();
    std::unique_ptr<Persistent> object(meta.Create(nullptr));
    return ScriptValue::Object(classes::ProgramOf(call).AdoptObject(std::move(object)));
  });
  cls.AddMethod(QStringLiteral("procedure Assign(Source: TPersistent)"),
                [assign](ScriptMethodCall& call) {
                  T& self = classes::Self<T>(call);
                  assign(classes::ArgObject<T>(call, 0), self);
                  return ScriptValue();
                });
}

}  // namespace
}  // namespace graphics

void RegisterGraphics(TksScript& script) {
  using namespace graphics;
  // Colours are TColor constants; clNone comes before clTransparent in the
  // table and both stay, as templates and scripts use either.
  for (const ColorIdent& ident : ColorIdents())
    script.AddConst(QString::fromLatin1(ident.name), QStringLiteral("TColor"),
                    ScriptValue::Int(ident.value));
  script.AddConst(QStringLiteral("clDefault"), QStringLiteral("TColor"),
                  ScriptValue::Int(0x20000000));

  script.AddEnumSet(QStringLiteral("TFontStyles"), Names(EnumTypeOf(TovxFontStyle{})));
  script.AddEnum(QStringLiteral("TFontPitch"), Names(EnumTypeOf(TFontPitch{})));
  script.AddEnum(QStringLiteral("TPenStyle"), Names(EnumTypeOf(TPenStyle{})));
  script.AddEnum(QStringLiteral("TPenMode"), Names(EnumTypeOf(TPenMode{})));
  script.AddEnum(QStringLiteral("TBrushStyle"), Names(EnumTypeOf(TovxBrushStyle{})));

  // The font record of report objects; the report module registers the
  // same metadata and then adds nothing.
  if (TksClassVariable* cls =
          script.AddClass(TovxFont::StaticMetaClass(), QStringLiteral("TPersistent"))) {
    AddValueMembers<TovxFont>(*cls, [](const TovxFont& from, TovxFont& to) { to.Assign(from); });
  }
  if (TksClassVariable* cls =
          script.AddClass(Pen::StaticMetaClass(), QStringLiteral("TPersistent")))
    AddValueMembers<Pen>(
        *cls, [](const Pen& from, Pen& to) { CopyProperties(Pen::StaticMetaClass(), from, to); });
  if (TksClassVariable* cls =
          script.AddClass(Brush::StaticMetaClass(), QStringLiteral("TPersistent")))
    AddValueMembers<Brush>(*cls, [](const Brush& from, Brush& to) {
      CopyProperties(Brush::StaticMetaClass(), from, to);
    });
}

void RegisterGraphicsModule() {
  static std::once_flag once;
  std::call_once(once, [] { AddScriptRttiModule(RegisterGraphics); });
}

}  // namespace ovx
