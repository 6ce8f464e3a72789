#include "report/model/component.h"

#include "base/class_builder.h"
#include "base/error.h"
#include "base/number_format.h"
#include "base/rounding.h"
#include "base/units.h"
#include "report/model/internal/name_registry.h"
#include "report/model/page.h"
#include "report/model/report.h"
#include "report/storage/xml_escape.h"

#include <cmath>

namespace {

// Sets a flag for the lifetime of a scope.
class FlagGuard {
 public:
  explicit FlagGuard(bool& flag) : flag_(flag) { flag_ = true; }
  ~FlagGuard() { flag_ = false; }

 private:
  bool& flag_;
};

bool IsDialogPage(const TovxComponent* c) {
  return dynamic_cast<const TovxDialogPage*>(c) != nullptr;
}

}  // namespace

// --- lifetime -----------------------------------------------------------------

TovxComponent::TovxComponent(TovxComponent* owner) {
  font_.SetChangeHandler([](void* self) { static_cast<TovxComponent*>(self)->FontChanged(); },
                         this);
  if (owner) {
    if (TovxReport* report = owner->Report()) report->AttachOwned(this);
    SetParent(owner);
  }
}

TovxComponent::~TovxComponent() {
  registry_.reset();
  SetParent(nullptr);
  // The children go without each one searching this object's list.
  std::vector<TovxComponent*> children;
  children.swap(objects_);
  for (TovxComponent* child : children) {
    child->parent_ = nullptr;
    delete child;
  }
  // Objects stored with this one that hang in no tree go with it; those that
  // hang in another tree belong to their parent there and only forget this
  // owner (deleting them here would pull them from under a parent that may
  // be going away itself).
  while (!owned_.empty()) {
    TovxComponent* owned = owned_.back();
    if (owned->parent_) {
      DetachOwned(owned);
    } else {
      delete owned;
    }
  }
  if (owner_) owner_->DetachOwned(this);
}

void TovxComponent::Clear() {
  ovx::NameRegistry* registry = ExistingRootRegistry();
  std::vector<TovxComponent*> doomed;
  std::vector<TovxComponent*> kept;
  for (TovxComponent* child : objects_) (child->ancestor_ ? kept : doomed).push_back(child);
  objects_ = std::move(kept);
  for (TovxComponent* child : doomed) {
    if (registry) child->UnregisterSubtree(*registry);
    child->parent_ = nullptr;
    delete child;
  }
  for (TovxComponent* child : objects_) child->Clear();
}

void TovxComponent::AttachOwned(TovxComponent* owned) {
  owned->owner_ = this;
  owned->owned_index_ = static_cast<qsizetype>(owned_.size());
  owned_.push_back(owned);
}

void TovxComponent::DetachOwned(TovxComponent* owned) {
  const auto index = static_cast<size_t>(owned->owned_index_);
  if (index >= owned_.size() || owned_[index] != owned) return;
  owned_[index] = owned_.back();
  owned_[index]->owned_index_ = static_cast<qsizetype>(index);
  owned_.pop_back();
  if (!owned->name_.isEmpty()) {
    const auto it = owned_by_name_.constFind(owned->name_.toUpper());
    if (it != owned_by_name_.constEnd() && *it == owned) owned_by_name_.erase(it);
  }
  owned->owner_ = nullptr;
  owned->owned_index_ = -1;
}

// --- tree ---------------------------------------------------------------------

void TovxComponent::SetParent(TovxComponent* parent) {
  if (parent == parent_) return;
  for (const TovxComponent* p = parent; p; p = p->parent_) {
    if (p == this) {
      throw ovx::Error(QString(), QStringLiteral("An object cannot be placed inside itself"));
    }
  }
  if (parent_) {
    if (ovx::NameRegistry* registry = parent_->ExistingRootRegistry()) UnregisterSubtree(*registry);
    parent_->RemoveChild(this);
  }
  parent_ = parent;
  if (parent_) {
    parent_->objects_.push_back(this);
    // A former root's own index is stale once it joins another tree.
    registry_.reset();
    if (ovx::NameRegistry* registry = parent_->ExistingRootRegistry()) RegisterSubtree(*registry);
    SetParentFont(parent_font_);
  }
}

void TovxComponent::RemoveChild(TovxComponent* child) {
  const auto it = std::find(objects_.begin(), objects_.end(), child);
  if (it != objects_.end()) objects_.erase(it);
}

std::vector<ovx::StoredObject*> TovxComponent::StoredChildren() const {
  return {objects_.begin(), objects_.end()};
}

void TovxComponent::MoveToEnd() {
  if (!parent_) return;
  auto& siblings = parent_->objects_;
  const auto it = std::find(siblings.begin(), siblings.end(), this);
  if (it != siblings.end()) std::rotate(it, it + 1, siblings.end());
}

bool TovxComponent::CanContain(const ovx::MetaClass& child_class) const {
  return !child_class.InheritsFrom(TovxReport::StaticMetaClass());
}

void TovxComponent::MoveToFront() {
  if (!parent_) return;
  auto& siblings = parent_->objects_;
  const auto it = std::find(siblings.begin(), siblings.end(), this);
  if (it != siblings.end()) std::rotate(siblings.begin(), it, it + 1);
}

std::vector<TovxComponent*> TovxComponent::AllObjects() const {
  std::vector<TovxComponent*> all;
  std::vector<const TovxComponent*> pending{this};
  while (!pending.empty()) {
    const TovxComponent* c = pending.back();
    pending.pop_back();
    if (c != this) all.push_back(const_cast<TovxComponent*>(c));
    for (auto it = c->objects_.rbegin(); it != c->objects_.rend(); ++it) pending.push_back(*it);
  }
  return all;
}

// The class tables mirror the classes, so a level whose table does not
// descend from the one asked for is passed by without a dynamic_cast, which
// fails slowly at every level of a deep object.
TovxPage* TovxComponent::Page() const {
  const ovx::MetaClass& page_class = TovxPage::StaticMetaClass();
  for (const TovxComponent* c = this; c; c = c->parent_) {
    if (!c->GetMetaClass().InheritsFrom(page_class)) continue;
    if (auto* page = dynamic_cast<const TovxPage*>(c)) return const_cast<TovxPage*>(page);
  }
  return nullptr;
}

TovxReport* TovxComponent::Report() const {
  const ovx::MetaClass& report_class = TovxReport::StaticMetaClass();
  for (const TovxComponent* c = this; c; c = c->parent_) {
    if (!c->GetMetaClass().InheritsFrom(report_class)) continue;
    if (auto* report = dynamic_cast<const TovxReport*>(c)) return const_cast<TovxReport*>(report);
  }
  return nullptr;
}

TovxComponent* TovxComponent::Root() {
  TovxComponent* c = this;
  while (c->parent_) c = c->parent_;
  return c;
}

const TovxComponent* TovxComponent::Root() const {
  return const_cast<TovxComponent*>(this)->Root();
}

TovxComponent* TovxComponent::FindObject(const QString& name) const {
  if (name.isEmpty()) return nullptr;
  // Within a report names are unique, so the root's index answers; outside
  // one, equal names may exist and the first in tree order must win.
  TovxComponent* root = const_cast<TovxComponent*>(Root());
  if (dynamic_cast<TovxReport*>(root)) {
    TovxComponent* found = root->RootRegistry().ObjectNamed(name);
    if (found && found != this && found->name_.compare(name, Qt::CaseInsensitive) == 0) {
      for (const TovxComponent* p = found->parent_; p; p = p->parent_) {
        if (p == this) return found;
      }
    }
  }
  std::vector<const TovxComponent*> pending(objects_.rbegin(), objects_.rend());
  while (!pending.empty()) {
    const TovxComponent* c = pending.back();
    pending.pop_back();
    if (c->name_.compare(name, Qt::CaseInsensitive) == 0) return const_cast<TovxComponent*>(c);
    for (auto it = c->objects_.rbegin(); it != c->objects_.rend(); ++it) pending.push_back(*it);
  }
  return nullptr;
}

// --- names --------------------------------------------------------------------

ovx::NameRegistry& TovxComponent::RootRegistry() {
  TovxComponent* root = Root();
  if (!root->registry_) root->BuildRegistry();
  return *root->registry_;
}

ovx::NameRegistry* TovxComponent::ExistingRootRegistry() { return Root()->registry_.get(); }

void TovxComponent::BuildRegistry() {
  registry_ = std::make_unique<ovx::NameRegistry>();
  if (!name_.isEmpty()) registry_->Add(name_, this);
  for (TovxComponent* child : objects_) child->RegisterSubtree(*registry_);
}

// Objects without a name are passed over with everything inside them: the
// engine keeps unnamed containers of copies that share their originals'
// names, and those copies must not take the originals' places.
void TovxComponent::RegisterSubtree(ovx::NameRegistry& registry) {
  if (name_.isEmpty()) return;
  registry.Add(name_, this);
  for (TovxComponent* child : objects_) child->RegisterSubtree(registry);
}

// Removal walks the whole subtree: a named object below an unnamed one may
// still hold an entry (it took its name while in the tree), and an entry is
// only ever removed by the object that holds it.
void TovxComponent::UnregisterSubtree(ovx::NameRegistry& registry) {
  if (!name_.isEmpty()) registry.Remove(name_, this);
  for (TovxComponent* child : objects_) child->UnregisterSubtree(registry);
}

TovxComponent* TovxComponent::FindOwnedByName(const QString& name) const {
  return owned_by_name_.value(name.toUpper(), nullptr);
}

bool TovxComponent::IsValidName(const QString& name) {
  if (name.isEmpty()) return false;
  // Generated names ("Memo6") are plain ASCII, where letters and digits are
  // the ASCII ones and no code point spans two units.
  bool ascii = true;
  for (qsizetype i = 0; i < name.size() && ascii; ++i) {
    const char16_t c = name[i].unicode();
    if (c >= 0x80) {
      ascii = false;
    } else if (!(c == u'_' || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                 (i > 0 && c >= u'0' && c <= u'9'))) {
      return false;
    }
  }
  if (ascii) return true;
  // Lone surrogates come out as U+FFFD, which is no letter.
  const QList<uint> code_points = name.toUcs4();
  for (qsizetype i = 0; i < code_points.size(); ++i) {
    const char32_t c = code_points[i];
    const bool ok = c == U'_' || QChar::isLetter(c) || (i > 0 && QChar::isNumber(c));
    if (!ok) return false;
  }
  return true;
}

void TovxComponent::SetName(const QString& name) {
  if (name.compare(name_, Qt::CaseInsensitive) == 0) return;
  if (!name.isEmpty() && !IsValidName(name)) {
    throw ovx::Error(QString(), QStringLiteral("\"%s\" is not a valid name"), {name});
  }
  ovx::NameRegistry* registry = nullptr;
  if (Report()) {
    registry = &RootRegistry();
    if (!name.isEmpty()) {
      if (TovxComponent* holder = registry->ObjectNamed(name); holder && holder != this) {
        throw ovx::Error(QStringLiteral("prDupl"), QStringLiteral("重复的名称"));
      }
      if (ancestor_) {
        throw ovx::Error(
            QStringLiteral("clCantRen"),
            QStringLiteral("Could not rename %s, it was introduced in the ancestor report"),
            {name_});
      }
    }
  } else {
    registry = ExistingRootRegistry();
  }
  if (!name.isEmpty() && owner_) {
    if (TovxComponent* other = owner_->FindOwnedByName(name); other && other != this) {
      throw ovx::Error(QString(), QStringLiteral("An object named %s already exists"), {name});
    }
  }
  // Only now, with every check passed, does the index change.
  if (registry) {
    if (!name_.isEmpty()) registry->Remove(name_, this);
    if (!name.isEmpty()) registry->Add(name, this);
  }
  if (owner_) {
    if (!name_.isEmpty()) owner_->owned_by_name_.remove(name_.toUpper());
    if (!name.isEmpty()) owner_->owned_by_name_.insert(name.toUpper(), this);
  }
  name_ = name;
}

QString TovxComponent::BaseName() const {
  QString base = GetMetaClass().ClassName();
  if (base.startsWith(u"Tovx")) base.remove(0, 4);
  QString without_view = base;
  without_view.remove(QStringLiteral("View"));
  return without_view.isEmpty() ? base : without_view;
}

void TovxComponent::CreateUniqueName(const TovxComponent* within) {
  ovx::NameRegistry& registry = const_cast<TovxComponent*>(within ? within : this)->RootRegistry();
  const QString base = BaseName();
  const auto candidate = [&base](qsizetype n) { return base + QString::number(n); };
  qsizetype n = 1;
  if (registry.Count() >= 4) {
    // The markers bracket the names "base<digit>...", so counting them
    // guesses the next number without trying every smaller one.
    registry.AddMarker(base + u'0');
    registry.AddMarker(base + u'A');
    n = registry.CountBetween(base + u'0', base + u'A');
    while (n > 0 && !registry.Find(candidate(n))) --n;
    ++n;
  }
  const auto taken = [&](const QString& name) {
    if (registry.Find(name)) return true;
    TovxComponent* other = owner_ ? owner_->FindOwnedByName(name) : nullptr;
    return other != nullptr && other != this;
  };
  while (taken(candidate(n))) ++n;
  SetName(candidate(n));
}

// --- geometry -----------------------------------------------------------------

void TovxComponent::SetLeft(double left) {
  if (designing_ && restrictions_.Contains(TovxRestriction::rfDontMove)) return;
  left_ = left;
}

void TovxComponent::SetTop(double top) {
  if (designing_ && restrictions_.Contains(TovxRestriction::rfDontMove)) return;
  top_ = top;
}

void TovxComponent::SetWidth(double width) {
  if (designing_ && restrictions_.Contains(TovxRestriction::rfDontSize)) return;
  if (!resizing_children_ && !objects_.empty() && std::abs(width - width_) > 0.01) {
    ResizeChildren(width - width_, true);
  }
  width_ = width;
}

void TovxComponent::SetHeight(double height) {
  if (designing_ && restrictions_.Contains(TovxRestriction::rfDontSize)) return;
  if (!resizing_children_ && !objects_.empty() && std::abs(height - height_) > 0.01) {
    ResizeChildren(height - height_, false);
  }
  height_ = height;
}

// Anchored to both sides, a child stretches; to the far side only, it moves
// along; to neither, it moves by a damped share of the change.
void TovxComponent::ResizeChildren(double delta, bool horizontal) {
  FlagGuard guard(resizing_children_);
  const TovxAnchor near_side = horizontal ? TovxAnchor::fraLeft : TovxAnchor::fraTop;
  const TovxAnchor far_side = horizontal ? TovxAnchor::fraRight : TovxAnchor::fraBottom;
  for (TovxComponent* child : objects_) {
    const bool near_anchor = child->anchors_.Contains(near_side);
    const bool far_anchor = child->anchors_.Contains(far_side);
    if (near_anchor && far_anchor) {
      if (horizontal) {
        child->SetWidth(child->width_ + delta);
      } else {
        child->SetHeight(child->height_ + delta);
      }
    } else if (far_anchor || !near_anchor) {
      const double shift = far_anchor ? delta : static_cast<double>(ovx::Round(delta / 1.18));
      if (horizontal) {
        child->SetLeft(child->left_ + shift);
      } else {
        child->SetTop(child->top_ + shift);
      }
    }
  }
}

void TovxComponent::SetBounds(double left, double top, double width, double height) {
  SetLeft(left);
  SetTop(top);
  SetWidth(width);
  SetHeight(height);
}

double TovxComponent::AbsLeft() const {
  double x = 0;
  for (const TovxComponent* c = this;; c = c->parent_) {
    x += c->left_;
    if (!c->parent_ || IsDialogPage(c->parent_)) return x;
  }
}

double TovxComponent::AbsTop() const {
  double y = 0;
  for (const TovxComponent* c = this;; c = c->parent_) {
    y += c->top_;
    if (!c->parent_ || IsDialogPage(c->parent_)) return y;
  }
}

void TovxComponent::GetClientRect(double& left, double& top, double& width, double& height) const {
  left = 0;
  top = 0;
  width = width_;
  height = height_;
}

// --- font ---------------------------------------------------------------------

void TovxComponent::SetFont(const TovxFont& font) {
  font_.Assign(font);
  parent_font_ = false;
}

void TovxComponent::SetParentFont(bool parent_font) {
  if (parent_font && parent_) font_.Assign(parent_->font_);
  parent_font_ = parent_font;
}

void TovxComponent::FontChanged() {
  parent_font_ = false;
  for (TovxComponent* child : objects_) {
    if (child->parent_font_) child->SetParentFont(true);
  }
}

// --- description and differences ----------------------------------------------

QString TovxComponent::GetDescription() const { return GetMetaClass().ClassName(); }

namespace {

void AppendAttribute(QByteArray& out, const char* name, const QByteArray& value) {
  out += ' ';
  out += name;
  out += "=\"";
  out += value;
  out += '"';
}

QByteArray Number(double value) { return ovx::FormatFloat(value).toLatin1(); }
QByteArray Number(qint64 value) { return QByteArray::number(value); }
QByteArray Flag(bool value) { return value ? "1" : "0"; }

bool IsStored(const TovxComponent& c, const char* property) {
  const ovx::PropertyInfo* info = c.GetMetaClass().FindProperty(QString::fromLatin1(property));
  return info && info->IsStored(c);
}

}  // namespace

QByteArray TovxComponent::DifferenceText(const TovxComponent& base) const {
  QByteArray out;
  const auto differs = [](double a, double b) { return !ovx::SamePosition(a, b); };
  if (differs(left_, base.left_) && IsStored(*this, "Left"))
    AppendAttribute(out, "l", Number(left_));
  if ((differs(top_, base.top_) || DifferenceAlwaysHasTop()) && IsStored(*this, "Top")) {
    AppendAttribute(out, "t", Number(top_));
  }
  if (differs(width_, base.width_) && DifferenceHasWidth() && IsStored(*this, "Width")) {
    AppendAttribute(out, "w", Number(width_));
  }
  if (differs(height_, base.height_) && IsStored(*this, "Height")) {
    AppendAttribute(out, "h", Number(height_));
  }
  if (visible_ != base.visible_) AppendAttribute(out, "Visible", Flag(visible_));
  if (!parent_font_) {
    const TovxFont& f = font_;
    const TovxFont& b = base.font_;
    if (f.Name() != b.Name()) AppendAttribute(out, "Font.Name", ovx::XmlEscape(f.Name().toUtf8()));
    if (f.Size() != b.Size()) AppendAttribute(out, "Font.Size", Number(qint64{f.Size()}));
    if (f.Color() != b.Color()) AppendAttribute(out, "Font.Color", Number(qint64{f.Color()}));
    if (f.Style() != b.Style()) AppendAttribute(out, "Font.Style", Number(qint64{f.StyleBits()}));
    if (f.Charset() != b.Charset())
      AppendAttribute(out, "Font.Charset", Number(qint64{f.Charset()}));
  }
  if (parent_font_ != base.parent_font_) AppendAttribute(out, "ParentFont", Flag(parent_font_));
  if (tag_ != base.tag_) AppendAttribute(out, "Tag", Number(qint64{tag_}));
  return out;
}

// --- report component -----------------------------------------------------------

void TovxReportComponent::BeforePrint() {
  saved_left_ = Left();
  saved_top_ = Top();
  saved_width_ = Width();
  saved_height_ = Height();
  bounds_saved_ = true;
}

void TovxReportComponent::AfterPrint() {
  if (!bounds_saved_) return;
  bounds_saved_ = false;
  SetLeft(saved_left_);
  SetTop(saved_top_);
  SetWidth(saved_width_);
  SetHeight(saved_height_);
}

void TovxReportComponent::GetRealBounds(double& left, double& top, double& right,
                                        double& bottom) const {
  left = AbsLeft();
  top = AbsTop();
  right = left + Width();
  bottom = top + Height();
}

// --- published properties -------------------------------------------------------

// The name is written by the serializer ahead of the properties, not as one.
const ovx::MetaClass& TovxComponent::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    ovx::ClassBuilder<TovxComponent> b("TovxComponent", nullptr);
    b.String("Name", &TovxComponent::Name, &TovxComponent::SetName, "TComponentName").Stored(false);
    b.Integer("Tag", &TovxComponent::Tag, &TovxComponent::SetTag).Default(0);
    return b.Build();
  }();
  return meta;
}

const ovx::MetaClass& TovxReportComponent::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxReportComponent;
    ovx::ClassBuilder<C> b("TovxReportComponent", &TovxComponent::StaticMetaClass());
    b.String("Description", &C::Description, &C::SetDescription);
    b.Integer("IndexTag", &C::IndexTag, &C::SetIndexTag).StoredWhen<C>([](const C& c) {
      return c.IndexTag() != -1;
    });
    return b.Build();
  }();
  return meta;
}
