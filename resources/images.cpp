// The image lists of TovxResources: drawn once, on first use, and shared
// read-only afterwards.
#include "resources/resources.h"

#include "resources/internal/icons.h"
#include "resources/internal/image_store.h"

#include <QPainter>

namespace rs = ovx::resources_internal;

namespace ovx {

QImage GreyedImage(const QImage& image) {
  QImage grey = image.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < grey.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(grey.scanLine(y));
    for (int x = 0; x < grey.width(); ++x) {
      // Half the contrast, lifted toward white: the usual look of a
      // disabled button on a light toolbar.
      const int level = 128 + qGray(line[x]) / 2;
      line[x] = qRgba(level, level, level, qAlpha(line[x]));
    }
  }
  return grey.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

}  // namespace ovx

const ovx::ImageList& TovxResources::DesignerImages() const {
  return images_->Get(images_->designer_once, images_->designer, 16, rs::DrawDesignerImages);
}

const ovx::ImageList& TovxResources::DesignerImagesGreyed() const {
  return images_->Get(images_->greyed_once, images_->greyed, 16, [this] {
    const ovx::ImageList& source = DesignerImages();
    std::vector<QImage> images;
    images.reserve(static_cast<size_t>(source.Count()));
    for (int i = 0; i < source.Count(); ++i) images.push_back(ovx::GreyedImage(source.Image(i)));
    return images;
  });
}

const ovx::ImageList& TovxResources::ObjectImages() const {
  return images_->Get(images_->object_once, images_->objects, 16, rs::DrawObjectImages);
}

const ovx::ImageList& TovxResources::PreviewImages() const {
  return images_->Get(images_->preview_once, images_->preview, 16, rs::DrawPreviewImages);
}

const ovx::ImageList& TovxResources::WizardImages() const {
  return images_->Get(images_->wizard_once, images_->wizards, 32, rs::DrawWizardImages);
}

QImage TovxResources::ButtonGlyph(int index) const {
  const QImage normal = DesignerImages().Image(index);
  if (normal.isNull()) return {};
  QImage glyph(32, 16, QImage::Format_ARGB32_Premultiplied);
  glyph.fill(Qt::transparent);
  QPainter painter(&glyph);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.drawImage(0, 1, normal);
  painter.drawImage(16, 1, DesignerImagesGreyed().Image(index));
  return glyph;
}
