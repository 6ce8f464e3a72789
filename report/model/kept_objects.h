// Objects of classes the library names but does not model: the controls of
// dialog pages, database components, and views whose behaviour belongs to
// other products (bar codes, charts, rich text, dot-matrix objects).
//
// Templates that hold them must survive loading and saving: such an object
// keeps the attributes it was read with, exactly, and writes them back; its
// children are ordinary children. It has a name like any object, so
// references and FindObject still reach it. Each class name gets its own
// class description, so the object is written under the name it was read
// with.
#pragma once

#include "report/model/component.h"
#include "report/model/data_set.h"
#include "report/model/view.h"

#include <QByteArray>

namespace ovx {
class ClassRegistry;
}

// The base of the controls of dialog pages.
class TovxDialogControl : public TovxReportComponent {
  OVX_META_CLASS

 public:
  explicit TovxDialogControl(TovxComponent* owner = nullptr) : TovxReportComponent(owner) {}
};

template <class Base>
class TovxKeptObject : public Base {
 public:
  TovxKeptObject(TovxComponent* owner, const ovx::MetaClass& meta) : Base(owner), meta_(meta) {}

  const ovx::MetaClass& GetMetaClass() const override { return meta_; }
  std::optional<QByteArray> RawAttributes() const override { return attributes_; }
  bool SetRawAttributes(const QByteArray& attributes) override {
    attributes_ = attributes;
    return true;
  }

 private:
  const ovx::MetaClass& meta_;
  QByteArray attributes_;
};

namespace ovx {

// Registers the classes kept as they are read.
void RegisterKeptClasses(ClassRegistry& registry);

}  // namespace ovx
