#include "report/storage/object_dump.h"

#include "base/class_registry.h"
#include "report/storage/property_text.h"
#include "report/storage/xml_item.h"
#include "report/storage/xml_serializer.h"

namespace ovx {

namespace {

QString Quoted(const QString& text) {
  QString out = QStringLiteral("\"");
  for (const QChar c : text) {
    switch (c.unicode()) {
      case u'\r':
        out += QStringLiteral("\\r");
        break;
      case u'\n':
        out += QStringLiteral("\\n");
        break;
      case u'\t':
        out += QStringLiteral("\\t");
        break;
      case u'"':
        out += QStringLiteral("\\\"");
        break;
      case u'\\':
        out += QStringLiteral("\\\\");
        break;
      default:
        out += c;
    }
  }
  return out + u'"';
}

bool IsText(PropertyKind kind) {
  return kind == PropertyKind::kString || kind == PropertyKind::kVariant ||
         kind == PropertyKind::kStringList || kind == PropertyKind::kWideStringList;
}

void DumpProperties(const Persistent& object, const QString& prefix, const QString& indent,
                    QString& out) {
  auto& mutable_object = const_cast<Persistent&>(object);
  for (const PropertyInfo* p : object.GetMetaClass().Properties()) {
    if (p->kind == PropertyKind::kMethod) continue;
    const QString name = prefix + p->name;
    if (p->kind == PropertyKind::kObject) {
      if (const Persistent* nested = p->object ? p->object(mutable_object) : nullptr) {
        DumpProperties(*nested, name + u'.', indent, out);
      }
      continue;
    }
    const QString value = PropertyText(*p, object);
    out +=
        indent + name + QStringLiteral(" = ") + (IsText(p->kind) ? Quoted(value) : value) + u'\n';
  }
  const QByteArray data = object.DefinedData();
  if (!data.isEmpty()) {
    out += indent + prefix + QStringLiteral("PropData = ") + QString::number(data.size()) +
           QStringLiteral(" bytes\n");
  }
}

void DumpObject(const StoredObject& object, const QString& indent, QString& out) {
  out += indent + object.StoredClassName();
  if (!object.StoredName().isEmpty()) out += u' ' + object.StoredName();
  out += u'\n';
  const QString inner = indent + QStringLiteral("  ");
  if (const std::optional<QByteArray> raw = object.RawAttributes()) {
    out += inner + QStringLiteral("(kept as read) ") + Quoted(QString::fromUtf8(*raw)) + u'\n';
  } else {
    DumpProperties(object, {}, inner, out);
  }
  if (const std::optional<QString> text = object.StoredText()) {
    out += inner + QStringLiteral("Text = ") + Quoted(*text) + u'\n';
  }
  // Nested collections, each item as the attribute text it is stored with.
  const ClassRegistry no_classes;
  TovxXMLSerializer writer(no_classes, nullptr);
  TovxXMLItem collections;
  object.WriteCollections(collections, writer);
  for (int i = 0; i < collections.Count(); ++i) {
    const TovxXMLItem& list = *collections.Items(i);
    out += inner + u'[' + QString::fromUtf8(list.Name()) + u']';
    if (!list.Text().isEmpty()) out += u' ' + QString::fromUtf8(list.Text());
    out += u'\n';
    for (int j = 0; j < list.Count(); ++j) {
      out += inner + QStringLiteral("  ") + QString::fromUtf8(list.Items(j)->Text()) + u'\n';
    }
  }
  for (const StoredObject* child : object.StoredChildren()) DumpObject(*child, inner, out);
}

}  // namespace

QString DumpObjectTree(const StoredObject& root) {
  QString out;
  DumpObject(root, {}, out);
  return out;
}

}  // namespace ovx
