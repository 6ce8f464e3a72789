#include "report/model/picture_view.h"

#include "base/class_builder.h"
#include "report/model/data_set.h"

namespace ovx {

QRectF PictureRect(const QRectF& view, QSizeF picture, bool stretched, bool keep_aspect_ratio,
                   bool center, double scale_x, double scale_y) {
  if (!(picture.width() > 0) || !(picture.height() > 0)) return view;
  QSizeF size;
  if (stretched) {
    size = view.size();
    if (keep_aspect_ratio) {
      const double kx = view.width() / picture.width();
      const double ky = view.height() / picture.height();
      if (kx < ky) {
        size.setHeight(picture.height() * kx);
      } else {
        size.setWidth(picture.width() * ky);
      }
    }
  } else {
    size = QSizeF(picture.width() * scale_x, picture.height() * scale_y);
  }
  QPointF origin = view.topLeft();
  if (center) {
    origin += QPointF((view.width() - size.width()) / 2, (view.height() - size.height()) / 2);
  }
  return QRectF(origin, size);
}

}  // namespace ovx

TovxPictureView::TovxPictureView(TovxComponent* owner) : TovxView(owner) {}

TovxPictureView::~TovxPictureView() = default;

void TovxPictureView::SetPicture(const TovxPicture& picture) {
  picture_ = picture;
  ApplyAutoSize();
}

void TovxPictureView::SetAutoSize(bool on) {
  auto_size_ = on;
  ApplyAutoSize();
}

void TovxPictureView::ApplyAutoSize() {
  if (!auto_size_ || picture_.IsEmpty()) return;
  SetWidth(picture_.Width());
  SetHeight(picture_.Height());
}

QRectF TovxPictureView::PictureRect(const QRectF& view, double scale_x, double scale_y) const {
  return ovx::PictureRect(view, QSizeF(picture_.PixelSize()), stretched_, keep_aspect_ratio_,
                          center_, scale_x, scale_y);
}

const ovx::MetaClass& TovxPictureView::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxPictureView;
    ovx::ClassBuilder<C> b("TovxPictureView", &TovxView::StaticMetaClass());
    b.Integer("Cursor", &C::Cursor, &C::SetCursor, "TCursor").Default(0);
    b.Bool("AutoSize", &C::AutoSize, &C::SetAutoSize).Default(false);
    b.Bool("Center", &C::Center, &C::SetCenter).Default(false);
    b.String("DataField", &C::DataField, &C::SetDataField);
    // Stored by name, through DataSetName.
    b.Reference("DataSet", "TovxDataSet", &C::DataSet, &C::SetDataSet).Stored(false);
    b.String("DataSetName", &C::DataSetName, &C::SetDataSetName);
    b.Object(
         "Frame", [](C& c) -> TovxFrame& { return c.Frame(); }, &C::SetFrame)
        .ExistingWhen<C>([](const C& c) { return c.ExistingFrame(); });
    b.Enum("FillType", &C::FillType, &C::SetFillType).Default(TovxFillType::ftBrush);
    b.Object(
         "Fill", [](C& c) -> TovxCustomFill& { return c.Fill(); }, &C::SetFill)
        .ExistingWhen<C>([](const C& c) { return c.ExistingFill(); });
    b.String("FileLink", &C::FileLink, &C::SetFileLink);
    // No declared default: prepared reports always carry the cache index.
    b.Integer("ImageIndex", &C::ImageIndex, &C::SetImageIndex);
    b.Bool("KeepAspectRatio", &C::KeepAspectRatio, &C::SetKeepAspectRatio).Default(true);
    b.Object(
        "Picture", [](C& c) -> TovxPicture& { return c.Picture(); }, &C::SetPicture);
    b.Bool("Stretched", &C::Stretched, &C::SetStretched).Default(true);
    b.String("TagStr", &C::TagStr, &C::SetTagStr);
    b.String("URL", &C::URL, &C::SetURL).Stored(false);
    b.Bool("HightQuality", &C::HightQuality, &C::SetHightQuality).Default(false);
    b.Bool("Transparent", &C::Transparent, &C::SetTransparent).Default(false);
    b.Color("TransparentColor", &C::TransparentColor, &C::SetTransparentColor).Default(clWhite);
    b.Creatable(ovx::ComponentFactory<C>());
    return b.Build();
  }();
  return meta;
}
