// The picture view: a view that shows a picture, from the template, a data
// field or a file.
//
// Where the picture lands inside the view (stretched, kept in proportion,
// centred) is plain arithmetic, kept apart from drawing in PictureRect so
// that the screen, the printer and the exports place it alike.
#pragma once

#include "report/model/picture.h"
#include "report/model/view.h"

#include <QRectF>
#include <QSizeF>

namespace ovx {

// The rectangle a picture of `picture` pixels occupies in the view
// rectangle `view`. Stretched, it fills the view, shrunk to the picture's
// proportions with `keep_aspect_ratio`; otherwise it keeps its own size
// times the scale. `center` moves it by half the space left over on each
// axis (which is negative for an unstretched picture larger than the view:
// the drawing clips to the view). A picture without pixels gives the view.
QRectF PictureRect(const QRectF& view, QSizeF picture, bool stretched, bool keep_aspect_ratio,
                   bool center, double scale_x = 1, double scale_y = 1);

}  // namespace ovx

class TovxPictureView : public TovxView {
  OVX_META_CLASS

 public:
  explicit TovxPictureView(TovxComponent* owner = nullptr);
  ~TovxPictureView() override;

  QString GetDescription() const override { return QStringLiteral("obPicture"); }

  TovxPicture& Picture() { return picture_; }
  const TovxPicture& Picture() const { return picture_; }
  // Copies the picture in; with AutoSize the view takes its pixel size.
  void SetPicture(const TovxPicture& picture);
  bool AutoSize() const { return auto_size_; }
  // Turning it on sizes the view to the picture at once.
  void SetAutoSize(bool on);
  bool Center() const { return center_; }
  void SetCenter(bool on) { center_ = on; }
  bool KeepAspectRatio() const { return keep_aspect_ratio_; }
  void SetKeepAspectRatio(bool on) { keep_aspect_ratio_ = on; }
  bool Stretched() const { return stretched_; }
  void SetStretched(bool on) { stretched_ = on; }
  // A file name, or an expression in brackets that gives one.
  const QString& FileLink() const { return file_link_; }
  void SetFileLink(const QString& link) { file_link_ = link; }
  // The picture's number in the prepared report's picture cache (0: none).
  int ImageIndex() const { return image_index_; }
  void SetImageIndex(int index) { image_index_ = index; }
  bool HightQuality() const { return hight_quality_; }
  void SetHightQuality(bool on) { hight_quality_ = on; }
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool on) { transparent_ = on; }
  ovx::Color TransparentColor() const { return transparent_color_; }
  void SetTransparentColor(ovx::Color color) { transparent_color_ = color; }

  // Where the picture goes for a view drawn at `view` (pixels).
  QRectF PictureRect(const QRectF& view, double scale_x = 1, double scale_y = 1) const;

  // Fill, picture, frame. Enhanced metafiles are played into the picture's
  // rectangle, clipped to the view; placeable (WMF) metafiles are not
  // drawn. An empty picture shows a placeholder in the designer.
  void Draw(ovx::Canvas& canvas, double scale_x, double scale_y, double offset_x,
            double offset_y) override;

 private:
  void ApplyAutoSize();

  TovxPicture picture_;
  bool auto_size_ = false;
  bool center_ = false;
  bool keep_aspect_ratio_ = true;
  bool stretched_ = true;
  QString file_link_;
  int image_index_ = 0;
  bool hight_quality_ = false;
  bool transparent_ = false;
  ovx::Color transparent_color_ = clWhite;
};
