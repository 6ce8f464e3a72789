// A list of same-sized button images, addressed by index.
//
// The designer, the preview, the object palette and the wizards refer to
// their pictures by index, so an index names a picture for good: new
// pictures are only ever added at the end. The images are ARGB with real
// transparency; a greyed list holds the disabled look of another list, cell
// for cell.
#pragma once

#include <QImage>

#include <vector>

namespace ovx {

class ImageList {
 public:
  ImageList() = default;
  ImageList(int cell_size, std::vector<QImage> images)
      : cell_size_(cell_size), images_(std::move(images)) {}

  // Width and height of every image in pixels.
  int CellSize() const { return cell_size_; }
  int Count() const { return static_cast<int>(images_.size()); }
  // A null image when `index` is out of range.
  QImage Image(int index) const {
    return index >= 0 && index < Count() ? images_[static_cast<size_t>(index)] : QImage();
  }

 private:
  int cell_size_ = 0;
  std::vector<QImage> images_;
};

// The disabled look of `image`: grey, lighter, same transparency.
QImage GreyedImage(const QImage& image);

}  // namespace ovx
