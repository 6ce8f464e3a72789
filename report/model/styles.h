// The report's style sheet: named sets of font, fill and frame that memos
// take by naming a style.
#pragma once

#include "base/font.h"
#include "base/meta_class.h"
#include "report/model/fill.h"
#include "report/model/frame.h"

#include <QHash>
#include <QString>

#include <memory>
#include <vector>

class TovxXMLItem;
class TovxXMLSerializer;
class TovxReport;

namespace ovx {
class ClassRegistry;
}

class TovxStyleItem : public ovx::Persistent {
  OVX_META_CLASS

 public:
  TovxStyleItem();
  ~TovxStyleItem() override;

  const QString& Name() const { return name_; }
  void SetName(const QString& name) { name_ = name; }
  // The fill's main colour; setting it changes a brush fill only.
  ovx::Color Color() const { return fill_.Color(); }
  void SetColor(ovx::Color color) { fill_.SetColor(color); }
  const TovxFont& Font() const { return font_; }
  TovxFont& Font() { return font_; }
  void SetFont(const TovxFont& font) { font_.Assign(font); }
  const TovxFrame& Frame() const { return frame_; }
  TovxFrame& Frame() { return frame_; }
  void SetFrame(const TovxFrame& frame) { frame_.Assign(frame); }
  TovxFillType FillType() const { return fill_.Type(); }
  void SetFillType(TovxFillType type) { fill_.SetType(type); }
  const TovxCustomFill& Fill() const { return fill_.Get(); }
  TovxCustomFill& Fill() { return fill_.Get(); }
  void SetFill(const TovxCustomFill& fill) { fill_.Set(fill); }
  bool ApplyFont() const { return apply_font_; }
  void SetApplyFont(bool on) { apply_font_ = on; }
  bool ApplyFill() const { return apply_fill_; }
  void SetApplyFill(bool on) { apply_fill_ = on; }
  bool ApplyFrame() const { return apply_frame_; }
  void SetApplyFrame(bool on) { apply_frame_ = on; }

 private:
  QString name_;
  TovxFont font_;
  TovxFrame frame_;
  ovx::FillSlot fill_;
  bool apply_font_ = true;
  bool apply_fill_ = true;
  bool apply_frame_ = true;
};

// A Persistent so that scripts can hold the sheet (Report.Styles); it lives
// as long as its report.
class TovxStyles : public ovx::Persistent {
  OVX_META_CLASS

 public:
  explicit TovxStyles(TovxReport* report = nullptr) : report_(report) {}
  // The report whose memos Apply reaches; null for a sheet of its own.
  TovxReport* Report() const { return report_; }
  const QString& Name() const { return name_; }
  void SetName(const QString& name) { name_ = name; }
  int Count() const { return static_cast<int>(items_.size()); }
  TovxStyleItem& Items(int index) { return *items_[static_cast<size_t>(index)]; }
  const TovxStyleItem& Items(int index) const { return *items_[static_cast<size_t>(index)]; }
  // A new item named "Style" with the first free number.
  TovxStyleItem& Add();
  // Ignoring case; null when there is none.
  TovxStyleItem* Find(const QString& name) const;
  // Throws ovx::Error ("clDupName") when another item has the name.
  void Rename(TovxStyleItem& item, const QString& name);
  QStringList GetList() const;
  void Clear();
  // Gives every memo of `report` that names a style the style's font, fill
  // and frame (as the style's Apply flags say); a memo naming no style of
  // the sheet forgets its style.
  void Apply(TovxReport& report) const;
  // Style-sheet files: a root element "style" with the sheet's name and one
  // "item" per style. Loading replaces the sheet and applies it after; a
  // file that does not read, or whose root is not "style", throws
  // ovx::Error and leaves the sheet as it was.
  void LoadFromFile(const QString& file_name, TovxReport* apply_to,
                    const ovx::ClassRegistry& classes);
  void LoadFromData(const QByteArray& data, TovxReport* apply_to,
                    const ovx::ClassRegistry& classes);
  void SaveToFile(const QString& file_name, const ovx::ClassRegistry& classes) const;
  QByteArray SaveToData(const ovx::ClassRegistry& classes) const;

  // As the "Styles" element of a template, one "item" per style; reading
  // replaces the sheet.
  void WriteTo(TovxXMLItem& element, TovxXMLSerializer& serializer) const;
  void ReadFrom(const TovxXMLItem& element, TovxXMLSerializer& serializer);

 private:
  // Style names by their case-folded form (the first style of each name),
  // so that a sheet of many styles is read, named and applied in linear time.
  using NameIndex = QHash<QString, TovxStyleItem*>;
  NameIndex BuildIndex() const;
  // "Style" with the first number from `next` on that `index` does not hold;
  // `next` moves past it, so a run of calls tries each number once.
  static QString FreeName(const NameIndex& index, int& next);
  // Appends `item`, giving it a fresh name when it has none or a taken one
  // (the taken one is reported through `serializer` when given).
  void Append(std::unique_ptr<TovxStyleItem> item, NameIndex& index, int& next,
              TovxXMLSerializer* serializer);
  void ReadSheet(const TovxXMLItem& root, TovxReport* apply_to, const ovx::ClassRegistry& classes);
  void WriteSheet(TovxXMLItem& root, const ovx::ClassRegistry& classes) const;

  TovxReport* report_;
  QString name_;
  std::vector<std::unique_ptr<TovxStyleItem>> items_;
};
