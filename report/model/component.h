// The base of every report object: the component tree.
//
// A component has a parent (the container it is drawn and stored in) and a
// storage owner (the report it belongs to, which answers for it when it is
// loaded and looked up by name). The parent owns its children: destroying a
// component destroys its subtree. A component that was detached from every
// parent is freed by its storage owner.
//
// Names are unique within a report. The root of each tree keeps a sorted,
// case-insensitive name index, built on first use and kept current through
// the children lists; it checks renames, gives generated names ("Memo6") and
// lets FindObject answer without walking the whole tree.
//
// Fonts flow down: a child whose ParentFont is True holds a copy of its
// parent's font, refreshed whenever the parent's font changes.
#pragma once

#include "base/enum_set.h"
#include "base/font.h"
#include "base/meta_class.h"
#include "report/storage/stored_object.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <memory>
#include <vector>

OVX_ENUM(TovxRestriction, rfDontModify, rfDontSize, rfDontMove, rfDontDelete, rfDontEdit,
         rfDontEditInPreview, rfDontCopy)
using TovxRestrictions = ovx::EnumSet<TovxRestriction>;

OVX_ENUM(TovxAnchor, fraLeft, fraTop, fraRight, fraBottom)
using TovxAnchors = ovx::EnumSet<TovxAnchor>;

class TovxPage;
class TovxReport;

namespace ovx {
class NameRegistry;
class Stream;
}  // namespace ovx

class TovxComponent : public ovx::StoredObject {
  OVX_META_CLASS

 public:
  // With an owner, the new object becomes the owner's last child and belongs
  // to the owner's report; without one it stands alone and the caller owns it.
  explicit TovxComponent(TovxComponent* owner = nullptr);
  ~TovxComponent() override;
  TovxComponent(const TovxComponent&) = delete;
  TovxComponent& operator=(const TovxComponent&) = delete;

  // --- tree ---------------------------------------------------------------
  TovxComponent* Parent() const { return parent_; }
  // Moves the object to the end of the new parent's children (none detaches it).
  void SetParent(TovxComponent* parent);
  // The children in insertion order, which is the drawing and storage order.
  const std::vector<TovxComponent*>& Objects() const { return objects_; }
  // All descendants, depth first, each before its own children. Built anew on
  // every call; do not keep it across changes of the tree.
  std::vector<TovxComponent*> AllObjects() const;
  // Destroys the children, except inherited ones, which are cleared instead.
  virtual void Clear();
  // The report this object is stored with (set at creation), or null.
  TovxComponent* Owner() const { return owner_; }
  // The nearest ancestor, or the object itself, that is a page / a report.
  TovxPage* Page() const;
  TovxReport* Report() const;
  // The first descendant named `name` (ignoring case) in depth-first order.
  virtual TovxComponent* FindObject(const QString& name) const;

  // --- names --------------------------------------------------------------
  const QString& Name() const { return name_; }
  // Throws ovx::Error for a name that is not an identifier, that another
  // object of the report holds ("prDupl") or when the object is inherited
  // ("clCantRen"); a rejected rename changes nothing.
  virtual void SetName(const QString& name);
  // Names the object base name + the next free number ("Memo6"), counted in
  // the name index of `within`'s tree (the object's own tree by default).
  void CreateUniqueName(const TovxComponent* within = nullptr);
  // The stem of generated names: the class name without "Tovx" and "View".
  virtual QString BaseName() const;
  static bool IsValidName(const QString& name);

  // --- geometry (report units) ---------------------------------------------
  double Left() const { return left_; }
  double Top() const { return top_; }
  double Width() const { return width_; }
  double Height() const { return height_; }
  virtual void SetLeft(double left);
  virtual void SetTop(double top);
  // Changing the size of a container first moves or sizes its children
  // according to their anchors.
  virtual void SetWidth(double width);
  virtual void SetHeight(double height);
  void SetBounds(double left, double top, double width, double height);
  // Position on the page: the sum of the Left (Top) values up the parent chain.
  double AbsLeft() const;
  double AbsTop() const;

  // --- font ---------------------------------------------------------------
  const TovxFont& Font() const { return font_; }
  // For changing single attributes in place; any change makes ParentFont False.
  TovxFont& Font() { return font_; }
  void SetFont(const TovxFont& font);
  bool ParentFont() const { return parent_font_; }
  void SetParentFont(bool parent_font);

  // --- other state ----------------------------------------------------------
  int Tag() const { return tag_; }
  void SetTag(int tag) { tag_ = tag; }
  int GroupIndex() const { return group_index_; }
  void SetGroupIndex(int group_index) { group_index_ = group_index; }
  TovxRestrictions Restrictions() const { return restrictions_; }
  void SetRestrictions(TovxRestrictions restrictions) { restrictions_ = restrictions; }
  bool Visible() const { return visible_; }
  virtual void SetVisible(bool visible) { visible_ = visible; }
  TovxAnchors Anchors() const { return anchors_; }
  void SetAnchors(TovxAnchors anchors) { anchors_ = anchors; }

  // Created by the designer: restrictions against moving and sizing apply.
  bool IsDesigning() const { return designing_; }
  void SetDesigning(bool designing) { designing_ = designing; }
  bool IsLoading() const { return loading_; }
  bool IsPrinting() const { return printing_; }
  void SetPrinting(bool printing) { printing_ = printing; }
  // From an ancestor report: keeps its name and survives Clear.
  bool IsAncestor() const { return ancestor_; }
  void SetAncestor(bool ancestor) { ancestor_ = ancestor; }

  // What the designer calls this kind of object.
  virtual QString GetDescription() const;

  // The attributes (each preceded by a space) in which this object differs
  // from `base`, an object of the same class: the prepared pages store keeps
  // objects as such differences from their template.
  virtual QByteArray DifferenceText(const TovxComponent& base) const;

  // --- saving, loading, copying --------------------------------------------------
  // Writes the object (and its children when asked) as a template document;
  // throws ovx::Error when the stream fails.
  virtual void SaveToStream(ovx::Stream& stream, bool save_children = true,
                            bool save_default_values = false);
  // Clears the object, then reads it and its children from a template
  // document. Problems go to the report's error list; answers whether there
  // were none.
  virtual bool LoadFromStream(ovx::Stream& stream);
  // Takes every published property and nested list of `source` (an object
  // of the same class); the name and the children stay as they are.
  void Assign(const TovxComponent& source);

  // --- storage ----------------------------------------------------------------
  QString StoredName() const override { return name_; }
  void SetStoredName(const QString& name) override { SetName(name); }
  void TakeFreshStoredName() override { CreateUniqueName(); }
  std::vector<ovx::StoredObject*> StoredChildren() const override;
  // A report is always the root of its tree.
  bool CanContain(const ovx::MetaClass& child_class) const override;
  void MoveToEnd() override;
  // Moves the object to the front of its parent's children.
  void MoveToFront();
  bool IsInherited() const override { return ancestor_; }
  ovx::StoredObject* FindStored(const QString& name) const override {
    return FindOwnedByName(name);
  }
  ovx::StoredObject* ResolveReference(const QString& name) const override {
    return FindObject(name);
  }
  void SetLoading(bool loading) override { loading_ = loading; }

  // Places the aligned child views (Align other than baNone) in the client
  // rectangle, then lets each child align its own children.
  virtual void AlignChildren();
  // The rectangle aligned children fill: (0, 0, Width, Height) here.
  virtual void GetClientRect(double& left, double& top, double& width, double& height) const;

 protected:
  // Bands always record their Top in differences; a memo that sizes itself
  // leaves its Width out.
  virtual bool DifferenceAlwaysHasTop() const { return false; }
  virtual bool DifferenceHasWidth() const { return true; }

 private:
  friend class TovxComponentTestPeer;

  TovxComponent* Root();
  const TovxComponent* Root() const;
  // The root's name index, built on first use.
  ovx::NameRegistry& RootRegistry();
  // The root's name index when it already exists.
  ovx::NameRegistry* ExistingRootRegistry();
  void BuildRegistry();
  void RegisterSubtree(ovx::NameRegistry& registry);
  void UnregisterSubtree(ovx::NameRegistry& registry);
  TovxComponent* FindOwnedByName(const QString& name) const;
  void AttachOwned(TovxComponent* owned);
  void DetachOwned(TovxComponent* owned);
  void RemoveChild(TovxComponent* child);
  void FontChanged();
  void ResizeChildren(double delta, bool horizontal);

  TovxComponent* parent_ = nullptr;
  std::vector<TovxComponent*> objects_;
  TovxComponent* owner_ = nullptr;
  // Objects this one is the storage owner of, with their place in the list
  // kept by each of them for constant-time removal.
  std::vector<TovxComponent*> owned_;
  qsizetype owned_index_ = -1;
  // The named ones among them, by upper-case name.
  QHash<QString, TovxComponent*> owned_by_name_;
  std::unique_ptr<ovx::NameRegistry> registry_;

  QString name_;
  int tag_ = 0;
  TovxFont font_;
  double left_ = 0;
  double top_ = 0;
  double width_ = 0;
  double height_ = 0;
  bool parent_font_ = true;
  int group_index_ = 0;
  TovxRestrictions restrictions_;
  bool visible_ = true;
  TovxAnchors anchors_{TovxAnchor::fraLeft, TovxAnchor::fraTop};
  bool designing_ = false;
  bool loading_ = false;
  bool printing_ = false;
  bool ancestor_ = false;
  bool resizing_children_ = false;
};

// The base of everything that can be drawn or printed.
class TovxReportComponent : public TovxComponent {
  OVX_META_CLASS

 public:
  explicit TovxReportComponent(TovxComponent* owner = nullptr) : TovxComponent(owner) {}

  const QString& Description() const { return description_; }
  void SetDescription(const QString& description) { description_ = description; }
  int IndexTag() const { return index_tag_; }
  void SetIndexTag(int index_tag) { index_tag_ = index_tag; }

  // The data cycle the engine runs for every printed object: save the
  // bounds, fetch data, (draw or store), put the bounds back. AfterPrint
  // puts back only bounds a BeforePrint saved, so a stray call never
  // writes stale bounds into the template.
  virtual void BeforePrint();
  virtual void GetData() {}
  virtual void AfterPrint();
  // The object's text, for searching and exports; empty here.
  virtual QString GetComponentText() const { return {}; }
  // (AbsLeft, AbsTop, AbsLeft + Width, AbsTop + Height).
  virtual void GetRealBounds(double& left, double& top, double& right, double& bottom) const;

 private:
  QString description_;
  int index_tag_ = -1;
  double saved_left_ = 0;
  double saved_top_ = 0;
  double saved_width_ = 0;
  double saved_height_ = 0;
  bool bounds_saved_ = false;
};

namespace ovx {

// The factory of a report object class: created with `owner` as its owner.
template <class T>
MetaClass::Factory ComponentFactory() {
  return
      [](Persistent* owner) -> Persistent* { return new T(dynamic_cast<TovxComponent*>(owner)); };
}

}  // namespace ovx
