#include "report/model/styles.h"

#include "base/class_builder.h"
#include "base/error.h"
#include "base/stream.h"
#include "report/model/memo_view.h"
#include "report/model/report.h"
#include "report/storage/xml_document.h"
#include "report/storage/xml_item.h"
#include "report/storage/xml_serializer.h"

TovxStyleItem::TovxStyleItem() = default;
TovxStyleItem::~TovxStyleItem() = default;

TovxStyles::NameIndex TovxStyles::BuildIndex() const {
  NameIndex index;
  index.reserve(static_cast<qsizetype>(items_.size()));
  // insert() keeps the last of equal keys; the first one is the one Find answers.
  for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
    index.insert((*it)->Name().toCaseFolded(), it->get());
  }
  return index;
}

QString TovxStyles::FreeName(const NameIndex& index, int& next) {
  for (;; ++next) {
    QString name = QStringLiteral("Style%1").arg(next);
    if (!index.contains(name.toCaseFolded())) return name;
  }
}

void TovxStyles::Append(std::unique_ptr<TovxStyleItem> item, NameIndex& index, int& next,
                        TovxXMLSerializer* serializer) {
  // A second style of the same name would be unreachable: name it afresh.
  if (item->Name().isEmpty() || index.contains(item->Name().toCaseFolded())) {
    const QString taken = item->Name();
    item->SetName(FreeName(index, next));
    if (serializer && !taken.isEmpty()) {
      serializer->AddError(
          QStringLiteral("Duplicate name %1, renamed %2").arg(taken, item->Name()));
    }
  }
  index.insert(item->Name().toCaseFolded(), item.get());
  items_.push_back(std::move(item));
}

TovxStyleItem& TovxStyles::Add() {
  NameIndex index = BuildIndex();
  int next = 1;
  Append(std::make_unique<TovxStyleItem>(), index, next, nullptr);
  return *items_.back();
}

TovxStyleItem* TovxStyles::Find(const QString& name) const {
  for (const auto& item : items_) {
    if (item->Name().compare(name, Qt::CaseInsensitive) == 0) return item.get();
  }
  return nullptr;
}

void TovxStyles::Rename(TovxStyleItem& item, const QString& name) {
  TovxStyleItem* other = Find(name);
  if (other && other != &item) {
    throw ovx::Error(QStringLiteral("clDupName"), QStringLiteral("Duplicate name"));
  }
  item.SetName(name);
}

QStringList TovxStyles::GetList() const {
  QStringList names;
  for (const auto& item : items_) names << item->Name();
  return names;
}

void TovxStyles::Clear() {
  items_.clear();
  name_.clear();
}

void TovxStyles::Apply(TovxReport& report) const {
  const NameIndex index = BuildIndex();
  for (TovxComponent* object : report.AllObjects()) {
    auto* memo = dynamic_cast<TovxCustomMemoView*>(object);
    if (!memo || memo->Style().isEmpty()) continue;
    const TovxStyleItem* style = index.value(memo->Style().toCaseFolded(), nullptr);
    if (!style) {
      memo->SetStyle(QString());
      continue;
    }
    if (style->ApplyFont()) memo->SetFont(style->Font());
    if (style->ApplyFill()) memo->SetFill(style->Fill());
    if (style->ApplyFrame()) memo->SetFrame(style->Frame());
  }
}

void TovxStyles::ReadSheet(const TovxXMLItem& root, TovxReport* apply_to,
                           const ovx::ClassRegistry& classes) {
  if (root.Name().compare("style", Qt::CaseInsensitive) != 0) {
    throw ovx::Error(QString(), QStringLiteral("Not a style sheet: the root element is \"%1\"")
                                    .arg(QString::fromUtf8(root.Name())));
  }
  // Read into a sheet of its own first: a file is outside input, and the
  // styles in use stay until the new ones have all been read.
  TovxStyles sheet;
  TovxXMLSerializer serializer(classes, nullptr);
  sheet.name_ = QString::fromUtf8(root.Prop("Name"));
  NameIndex index;
  int next = 1;
  for (int i = 0; i < root.Count(); ++i) {
    if (root.Items(i)->Name() != "item") continue;
    auto item = std::make_unique<TovxStyleItem>();
    serializer.ReadCollectionItem(root.Items(i)->Text(), *item);
    sheet.Append(std::move(item), index, next, nullptr);
  }
  name_ = std::move(sheet.name_);
  items_ = std::move(sheet.items_);
  if (apply_to) Apply(*apply_to);
}

void TovxStyles::LoadFromFile(const QString& file_name, TovxReport* apply_to,
                              const ovx::ClassRegistry& classes) {
  TovxXMLDocument document;
  document.LoadFromFile(file_name);
  ReadSheet(*document.Root(), apply_to, classes);
}

void TovxStyles::LoadFromData(const QByteArray& data, TovxReport* apply_to,
                              const ovx::ClassRegistry& classes) {
  TovxXMLDocument document;
  ovx::MemoryStream stream(data);
  document.LoadFromStream(stream);
  ReadSheet(*document.Root(), apply_to, classes);
}

void TovxStyles::WriteSheet(TovxXMLItem& root, const ovx::ClassRegistry& classes) const {
  root.SetName("style");
  TovxXMLSerializer serializer(classes, nullptr);
  WriteTo(root, serializer);
}

void TovxStyles::SaveToFile(const QString& file_name, const ovx::ClassRegistry& classes) const {
  TovxXMLDocument document;
  document.SetAutoIndent(true);
  WriteSheet(*document.Root(), classes);
  document.SaveToFile(file_name);
}

QByteArray TovxStyles::SaveToData(const ovx::ClassRegistry& classes) const {
  TovxXMLDocument document;
  document.SetAutoIndent(true);
  WriteSheet(*document.Root(), classes);
  ovx::MemoryStream stream;
  document.SaveToStream(stream);
  return stream.Data();
}

void TovxStyles::WriteTo(TovxXMLItem& element, TovxXMLSerializer& serializer) const {
  if (!name_.isEmpty()) element.SetProp("Name", name_.toUtf8());
  for (const auto& item : items_) {
    TovxXMLItem* entry = element.Add();
    entry->SetName("item");
    entry->SetText(serializer.WriteCollectionItem(*item));
  }
}

void TovxStyles::ReadFrom(const TovxXMLItem& element, TovxXMLSerializer& serializer) {
  Clear();
  name_ = QString::fromUtf8(element.Prop("Name"));
  NameIndex index;
  int next = 1;
  for (int i = 0; i < element.Count(); ++i) {
    auto item = std::make_unique<TovxStyleItem>();
    serializer.ReadCollectionItem(element.Items(i)->Text(), *item);
    Append(std::move(item), index, next, &serializer);
  }
}

const ovx::MetaClass& TovxStyles::StaticMetaClass() {
  static const ovx::MetaClass meta(QStringLiteral("TovxStyles"), nullptr, {}, nullptr);
  return meta;
}

const ovx::MetaClass& TovxStyleItem::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxStyleItem;
    ovx::ClassBuilder<C> b("TovxStyleItem", nullptr);
    b.String("Name", &C::Name, &C::SetName);
    b.Color("Color", &C::Color, &C::SetColor).Stored(false);
    b.Object(
        "Font", [](C& c) -> TovxFont& { return c.Font(); }, &C::SetFont);
    b.Object(
        "Frame", [](C& c) -> TovxFrame& { return c.Frame(); }, &C::SetFrame);
    b.Bool("ApplyFont", &C::ApplyFont, &C::SetApplyFont).Default(true);
    b.Bool("ApplyFill", &C::ApplyFill, &C::SetApplyFill).Default(true);
    b.Bool("ApplyFrame", &C::ApplyFrame, &C::SetApplyFrame).Default(true);
    b.Enum("FillType", &C::FillType, &C::SetFillType).Default(TovxFillType::ftBrush);
    b.Object("Fill", [](C& c) -> TovxCustomFill& { return c.Fill(); });
    b.Creatable([](ovx::Persistent*) -> ovx::Persistent* { return new C; });
    return b.Build();
  }();
  return meta;
}
