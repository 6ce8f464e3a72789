// Everything a view does short of drawing: lazily created parts, the
// device rectangle arithmetic the drawing code starts from, the view's part
// of the data cycle, and differences from a template object written
// property by property from the metadata.
#include "report/model/view.h"

#include "base/class_builder.h"
#include "base/number_format.h"
#include "base/rounding.h"
#include "base/units.h"
#include "base/value_format.h"
#include "report/model/bracket_expressions.h"
#include "report/model/data_set.h"
#include "report/model/report.h"
#include "report/storage/xml_escape.h"

#include <cmath>
#include <limits>

namespace {

// The anchor and page-number forms of URL carry at most this many characters.
constexpr qsizetype kMaxPageNumberLength = 255;

}  // namespace

TovxView::TovxView(TovxComponent* owner) : TovxReportComponent(owner) {}

TovxView::~TovxView() = default;

const QString& TovxView::EventHandler(Event event) const {
  static const QString kNone;
  return events_ ? (*events_)[static_cast<size_t>(event)] : kNone;
}

void TovxView::SetEventHandler(Event event, const QString& procedure) {
  if (!events_) {
    if (procedure.isEmpty()) return;
    events_ = std::make_unique<std::array<QString, kEventCount>>();
  }
  (*events_)[static_cast<size_t>(event)] = procedure;
}

const TovxView::Rare& TovxView::RareOrNone() const {
  static const Rare kNone;
  return rare_ ? *rare_ : kNone;
}

TovxView::Rare& TovxView::MakeRare() {
  if (!rare_) rare_ = std::make_unique<Rare>();
  return *rare_;
}

const TovxFrame& TovxView::Frame() const {
  static const TovxFrame kDefault;
  return frame_ ? *frame_ : kDefault;
}

TovxFrame& TovxView::Frame() {
  if (!frame_) frame_ = std::make_unique<TovxFrame>();
  return *frame_;
}

const TovxHyperlink& TovxView::Hyperlink() const {
  static const TovxHyperlink kDefault;
  return hyperlink_ ? *hyperlink_ : kDefault;
}

TovxHyperlink& TovxView::Hyperlink() {
  if (!hyperlink_) hyperlink_ = std::make_unique<TovxHyperlink>();
  return *hyperlink_;
}

TovxDataSet* TovxView::DataSet() const { return ovx::FindDataSet(*this, DataSetName()); }

void TovxView::SetDataSet(TovxDataSet* data_set) {
  if (data_set) {
    SetDataSetName(data_set->UserName());
  } else if (!IsLoading()) {
    SetDataSetName(QString());
  }
}

bool TovxView::IsDataField() const { return !DataField().isEmpty() && DataSet() != nullptr; }

QString TovxView::URL() const {
  const TovxHyperlink& link = Hyperlink();
  switch (link.Kind()) {
    case TovxHyperlinkKind::hkAnchor:
      return u'#' + link.Value();
    case TovxHyperlinkKind::hkPageNumber:
      return u'@' + link.Value();
    default:
      return link.Value();
  }
}

void TovxView::SetURL(const QString& url) {
  if (url.isEmpty()) return;
  TovxHyperlink& link = Hyperlink();
  if (url.startsWith(u'@')) {
    link.SetKind(TovxHyperlinkKind::hkPageNumber);
    link.SetValue(url.mid(1, kMaxPageNumberLength));
  } else if (url.startsWith(u'#')) {
    link.SetKind(TovxHyperlinkKind::hkAnchor);
    link.SetValue(url.mid(1));
  } else {
    link.SetKind(TovxHyperlinkKind::hkURL);
    link.SetValue(url);
  }
}

// --- device geometry ----------------------------------------------------------------

ovx::PixelRect TovxView::PixelRect(double scale_x, double scale_y, double offset_x, double offset_y,
                                   const ovx::UnitInset& inset) const {
  const double left = AbsLeft() + inset.dx;
  const double top = AbsTop() + inset.dy;
  ovx::PixelRect r;
  r.left = ovx::RoundToInt(offset_x + scale_x * left);
  r.top = ovx::RoundToInt(offset_y + scale_y * top);
  r.right = ovx::RoundToInt(offset_x + scale_x * (left + Width() + inset.dwidth));
  r.bottom = ovx::RoundToInt(offset_y + scale_y * (top + Height() + inset.dheight));
  const TovxFrame& frame = Frame();
  if (frame.DropShadow()) {
    // Through double: the saturated ends of a damaged view must not
    // overflow.
    r.right = ovx::RoundToInt(double(r.right) - ovx::RoundToInt(scale_x * frame.ShadowWidth()));
    r.bottom = ovx::RoundToInt(double(r.bottom) - ovx::RoundToInt(scale_y * frame.ShadowWidth()));
  }
  return r;
}

ovx::PixelRect TovxView::BackgroundRect(const ovx::PixelRect& rect, double scale_x,
                                        double scale_y) const {
  const TovxFrame& frame = Frame();
  const int w = ovx::RoundToInt(frame.Width() * scale_x);
  const int h = ovx::RoundToInt(frame.Width() * scale_y);
  const double half_w = ovx::RoundToInt(frame.Width() * scale_x / 2);
  const double half_h = ovx::RoundToInt(frame.Width() * scale_y / 2);
  const TovxFrameTypes typ = frame.Typ();
  ovx::PixelRect r = rect;
  if (typ.Contains(TovxFrameType::ftLeft)) r.left = ovx::RoundToInt(r.left - half_w);
  if (typ.Contains(TovxFrameType::ftRight)) r.right = ovx::RoundToInt(r.right + half_w + w % 2);
  if (typ.Contains(TovxFrameType::ftTop)) r.top = ovx::RoundToInt(r.top - half_h);
  if (typ.Contains(TovxFrameType::ftBottom)) r.bottom = ovx::RoundToInt(r.bottom + half_h + h % 2);
  return r;
}

int TovxView::FramePixelWidth(double scale_x) const {
  return ovx::RoundToInt(scale_x * Frame().Width());
}

// --- data cycle ---------------------------------------------------------------------

QVariant TovxView::Calc(const QString& expression) {
  if (TovxReport* report = Report()) return report->Calc(expression, this);
  return expression;
}

QString TovxView::ExpandInText(const QString& text) {
  return ovx::ExpandExpressions(
      text, ovx::ExpressionDelimiters{},
      [this](const QString& expression, int) { return ovx::ValueToText(Calc(expression)); });
}

void TovxView::BeforePrint() {
  TovxReportComponent::BeforePrint();
  // Without the record and a hyperlink there is nothing to save: both texts
  // are empty.
  if (rare_ || hyperlink_) {
    Rare& rare = MakeRare();
    rare.saved_tag_str = rare.tag_str;
    rare.saved_hyperlink_value = hyperlink_ ? hyperlink_->Value() : QString();
  }
  print_state_saved_ = true;
}

bool TovxView::NeedsPostProcessing() const {
  return processing_.ProcessAt() != TovxProcessAtMode::paDefault;
}

void TovxView::RegisterDeferred(ovx::DeferredProcessor&) {}

bool TovxView::RestoreDeferred(ovx::DeferredValueList&) { return false; }

void TovxView::ProcessDeferred(ovx::DeferredValueList&, ovx::DeferredProcessor&) {}

void TovxView::GetData() {
  if (TovxReport* report = Report()) report->SetCurrentObject(this);
  if (TagStr().contains(u'[')) SetTagStr(ExpandInText(TagStr()));
  if (!hyperlink_) return;
  TovxHyperlink& link = *hyperlink_;
  const QString& separator = link.ValuesSeparator();
  const auto split = [&separator](const QString& text) {
    return separator.isEmpty() ? QStringList{text} : text.split(separator);
  };
  if (link.Value().contains(u'[')) {
    QStringList parts = split(link.Value());
    for (QString& part : parts) {
      if (part.contains(u'[')) part = ExpandInText(part);
    }
    link.SetValue(parts.join(separator));
  }
  if (!link.Expression().isEmpty()) {
    QStringList parts = split(link.Expression());
    for (QString& part : parts) part = ovx::ValueToText(Calc(part));
    link.SetValue(parts.join(separator));
  }
}

void TovxView::AfterPrint() {
  if (print_state_saved_) {
    if (rare_) {
      rare_->tag_str = rare_->saved_tag_str;
      if (hyperlink_) hyperlink_->SetValue(rare_->saved_hyperlink_value);
      rare_->saved_tag_str.clear();
      rare_->saved_hyperlink_value.clear();
    } else if (hyperlink_) {
      hyperlink_->SetValue(QString());
    }
    print_state_saved_ = false;
  }
  TovxReportComponent::AfterPrint();
}

// --- differences ------------------------------------------------------------------------

void TovxView::AppendAttribute(QByteArray& out, QByteArrayView name, const QByteArray& value) {
  out += ' ';
  out += name;
  out += "=\"";
  out += value;
  out += '"';
}

QByteArray TovxView::NumberText(double value) { return ovx::FormatFloat(value).toLatin1(); }
QByteArray TovxView::NumberText(qint64 value) { return QByteArray::number(value); }
QByteArray TovxView::FlagText(bool value) { return value ? "1" : "0"; }
QByteArray TovxView::EscapedText(const QString& value) { return ovx::XmlEscape(value.toUtf8()); }

void TovxView::AppendValueDifferences(QByteArray& out, const QByteArray& prefix,
                                      const ovx::Persistent& object, const ovx::Persistent& base,
                                      QStringView skip) {
  std::vector<const ovx::PropertyInfo*> path;
  AppendNestedDifferences(out, prefix, path, object, base, skip);
}

// `path` names the nested objects between `prefix` and the values: most
// values equal their base, so names are spelled only for the others.
void TovxView::AppendNestedDifferences(QByteArray& out, const QByteArray& prefix,
                                       std::vector<const ovx::PropertyInfo*>& path,
                                       const ovx::Persistent& object, const ovx::Persistent& base,
                                       QStringView skip) {
  using ovx::PropertyKind;
  const auto name = [&](const ovx::PropertyInfo& p) {
    QByteArray text = prefix;
    for (const ovx::PropertyInfo* outer : path) text += outer->name.toLatin1() + '.';
    return text + p.name.toLatin1();
  };
  for (const ovx::PropertyInfo* p : object.GetMetaClass().Properties()) {
    if (!p->get || (!skip.isEmpty() && p->name == skip)) continue;
    const ovx::PropertyValue mine = p->get(object);
    const ovx::PropertyValue theirs = p->get(base);
    switch (p->kind) {
      case PropertyKind::kInteger:
      case PropertyKind::kEnumeration:
      case PropertyKind::kSet:
        if (ovx::ToInt(mine) != ovx::ToInt(theirs)) {
          AppendAttribute(out, name(*p), NumberText(ovx::ToInt(mine)));
        }
        break;
      case PropertyKind::kFloat:
        if (!ovx::SamePosition(ovx::ToDouble(mine), ovx::ToDouble(theirs))) {
          AppendAttribute(out, name(*p), NumberText(ovx::ToDouble(mine)));
        }
        break;
      case PropertyKind::kString:
        if (ovx::ToText(mine) != ovx::ToText(theirs)) {
          AppendAttribute(out, name(*p), EscapedText(ovx::ToText(mine)));
        }
        break;
      case PropertyKind::kObject:
        if (const ovx::Persistent* a = ovx::ToObject(mine)) {
          if (const ovx::Persistent* b = ovx::ToObject(theirs)) {
            path.push_back(p);
            AppendNestedDifferences(out, prefix, path, *a, *b, {});
            path.pop_back();
          }
        }
        break;
      default:
        break;
    }
  }
}

QByteArray TovxView::DifferenceText(const TovxComponent& base) const {
  QByteArray out = TovxReportComponent::DifferenceText(base);
  const auto* b = dynamic_cast<const TovxView*>(&base);
  if (!b) return out;
  if (align_ != b->align_) AppendAttribute(out, "Align", NumberText(qint64(align_)));
  AppendValueDifferences(out, "Frame.", Frame(), b->Frame());
  if (cursor_ != b->cursor_) AppendAttribute(out, "Cursor", NumberText(qint64{cursor_}));
  if (visibility_ != b->visibility_) {
    AppendAttribute(out, "Visibility", NumberText(qint64{visibility_.Bits()}));
  }
  if (TagStr() != b->TagStr()) AppendAttribute(out, "TagStr", EscapedText(TagStr()));
  if (FillType() != b->FillType()) {
    AppendAttribute(out, "FillType", NumberText(qint64(FillType())));
    // A reader sets the type first and so starts from that type's defaults.
    AppendValueDifferences(out, "Fill.", Fill(), *TovxCustomFill::Create(FillType()));
  } else {
    AppendValueDifferences(out, "Fill.", Fill(), b->Fill());
  }
  AppendValueDifferences(out, "Hyperlink.", Hyperlink(), b->Hyperlink(), u"Expression");
  return out;
}

// --- published properties ------------------------------------------------------------

const ovx::MetaClass& TovxObjectProcessing::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxObjectProcessing;
    ovx::ClassBuilder<C> b("TovxObjectProcessing", nullptr);
    b.Enum("ProcessAt", &C::ProcessAt, &C::SetProcessAt).Default(TovxProcessAtMode::paDefault);
    b.Integer("GroupLevel", &C::GroupLevel, &C::SetGroupLevel).Default(0);
    b.Creatable([](ovx::Persistent*) -> ovx::Persistent* { return new TovxObjectProcessing; });
    return b.Build();
  }();
  return meta;
}

namespace {

template <TovxView::Event kEvent>
void AddEvent(ovx::ClassBuilder<TovxView>& b, const char* name, const char* type_name) {
  b.Event(
      name, [](const TovxView& v) { return v.EventHandler(kEvent); },
      [](TovxView& v, const QString& procedure) { v.SetEventHandler(kEvent, procedure); },
      type_name);
}

}  // namespace

const ovx::MetaClass& TovxView::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxView;
    using E = TovxView::Event;
    ovx::ClassBuilder<C> b("TovxView", &TovxReportComponent::StaticMetaClass());
    b.Set("Anchors", "TovxAnchors", &C::Anchors, &C::SetAnchors)
        .Default(TovxAnchors{TovxAnchor::fraLeft, TovxAnchor::fraTop});
    b.Enum("Align", &C::Align, &C::SetAlign).Default(TovxAlign::baNone);
    // No declared default: always written, True included.
    b.Bool("AllowVectorExport", &C::AllowVectorExport, &C::SetAllowVectorExport);
    b.Bool("Printable", &C::Printable, &C::SetPrintable).Default(true).Stored(false);
    b.Enum("ShiftMode", &C::ShiftMode, &C::SetShiftMode).Default(TovxShiftMode::smAlways);
    b.Float("Left", &C::Left, &C::SetLeft).Default(0);
    b.Float("Top", &C::Top, &C::SetTop).Default(0);
    b.Float("Width", &C::Width, &C::SetWidth).Default(0);
    b.Float("Height", &C::Height, &C::SetHeight).Default(0);
    b.Integer("GroupIndex", &C::GroupIndex, &C::SetGroupIndex).Default(0);
    b.Set("Restrictions", "TovxRestrictions", &C::Restrictions, &C::SetRestrictions)
        .Default(TovxRestrictions{});
    b.Bool("Visible", &C::Visible, &C::SetVisible).Default(true);
    AddEvent<E::kOnAfterData>(b, "OnAfterData", "TovxNotifyEvent");
    AddEvent<E::kOnAfterPrint>(b, "OnAfterPrint", "TovxNotifyEvent");
    AddEvent<E::kOnBeforePrint>(b, "OnBeforePrint", "TovxNotifyEvent");
    AddEvent<E::kOnContentChanged>(b, "OnContentChanged", "TovxNotifyEvent");
    AddEvent<E::kOnMouseEnter>(b, "OnMouseEnter", "TovxMouseEnterViewEvent");
    AddEvent<E::kOnMouseLeave>(b, "OnMouseLeave", "TovxMouseLeaveViewEvent");
    AddEvent<E::kOnMouseDown>(b, "OnMouseDown", "TovxMouseDownEvent");
    AddEvent<E::kOnMouseMove>(b, "OnMouseMove", "TovxMouseMoveEvent");
    AddEvent<E::kOnMouseUp>(b, "OnMouseUp", "TovxMouseUpEvent");
    AddEvent<E::kOnPreviewClick>(b, "OnPreviewClick", "TovxPreviewClickEvent");
    AddEvent<E::kOnPreviewDblClick>(b, "OnPreviewDblClick", "TovxPreviewClickEvent");
    b.Object(
         "Hyperlink", [](C& c) -> TovxHyperlink& { return c.Hyperlink(); }, &C::SetHyperlink)
        .ExistingWhen<C>([](const C& c) { return c.hyperlink_.get(); });
    b.String("Hint", &C::Hint, &C::SetHint);
    b.Bool("ShowHint", &C::ShowHint, &C::SetShowHint).Default(false);
    b.Set("Visibility", "TovxVisibilityTypes", &C::Visibility, &C::SetVisibility)
        .Default(TovxVisibilityTypes{TovxVisibilityType::vsPreview, TovxVisibilityType::vsExport,
                                     TovxVisibilityType::vsPrint});
    return b.Build();
  }();
  return meta;
}

const ovx::MetaClass& TovxStretcheable::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxStretcheable;
    ovx::ClassBuilder<C> b("TovxStretcheable", &TovxView::StaticMetaClass());
    b.Bool("CanShrink", &C::CanShrink, &C::SetCanShrink).Default(false);
    b.Enum("StretchMode", &C::StretchMode, &C::SetStretchMode)
        .Default(TovxStretchMode::smDontStretch);
    return b.Build();
  }();
  return meta;
}
