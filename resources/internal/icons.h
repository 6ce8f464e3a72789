// The pictures of the four image lists, drawn with QPainter.
#pragma once

#include <QImage>

#include <vector>

namespace ovx::resources_internal {

// Each answers the whole list in index order (see image_catalogue.h).
std::vector<QImage> DrawPreviewImages();
std::vector<QImage> DrawDesignerImages();
std::vector<QImage> DrawObjectImages();
std::vector<QImage> DrawWizardImages();

}  // namespace ovx::resources_internal
