// Raster image export: pages drawn on a bitmap at a chosen resolution and
// written as image files, one per page or one for all pages.
//
// The bitmap is drawn with the same view drawing as the screen (a
// PainterCanvas on a QImage), scaled by Resolution / 96. A combined image
// stacks the pages from top to bottom; it is as wide as the widest page
// and as high as all pages together, each side limited to kMaxImageSide
// pixels (pages beyond the limit are cut off). A single page whose bitmap
// would exceed that side is refused with a message instead.
//
// With CropImages the written image is cut to the box that the page's
// views cover (the page background does not count); a page without any
// such view is written whole.
#pragma once

#include "export/export_filter.h"

#include <QImage>

#include <memory>

namespace ovx {
class PainterCanvas;
}  // namespace ovx

class TovxCustomImageExport : public TovxBaseDialogExportFilter {
  OVX_META_CLASS

 public:
  static constexpr int kMaxImageSide = 30000;

  explicit TovxCustomImageExport(TovxComponent* owner = nullptr, bool registered = true);
  ~TovxCustomImageExport() override;

  // --- settings ---------------------------------------------------------------------
  int JPEGQuality() const { return jpeg_quality_; }
  void SetJPEGQuality(int quality) { jpeg_quality_ = quality; }
  bool CropImages() const { return crop_images_; }
  void SetCropImages(bool on) { crop_images_ = on; }
  // Black and white: pixels darker than middle grey become black, the
  // others white.
  bool Monochrome() const { return monochrome_; }
  void SetMonochrome(bool on) { monochrome_ = on; }
  // Dots per inch; Start refuses values below 1.
  int Resolution() const { return resolution_; }
  void SetResolution(int dpi) { resolution_ = dpi; }
  // One file per page ("name.1.jpg", "name.2.jpg", ...) or one for all.
  bool SeparateFiles() const { return separate_files_; }
  void SetSeparateFiles(bool on) { separate_files_ = on; }
  // Whether JPEGQuality means anything to this filter.
  virtual bool UsesQuality() const { return false; }

  // --- protocol ---------------------------------------------------------------------
  // Throws ovx::Error for a resolution below 1; answers false without
  // FileName and Stream.
  bool Start() override;
  void StartPage(TovxReportPage& page, int index) override;
  void ExportObject(TovxComponent& object) override;
  void FinishPage(TovxReportPage& page, int index) override;
  void Finish() override;

  // The bitmap being drawn (null outside a run), for tests.
  const QImage* Bitmap() const;

 protected:
  // Writes `image` (already cropped, monochrome when asked) to `stream`;
  // nothing here.
  virtual void SaveToStream(ovx::Stream& stream, const QImage& image) {}
  // Crops, writes through SaveToStream and frees the bitmap.
  virtual void Save();
  QString OutputFileName() const override;

 private:
  void CreateBitmap(int width, int height);
  QString TargetFileName() const;

  int jpeg_quality_ = 90;
  bool crop_images_ = false;
  bool monochrome_ = false;
  int resolution_ = 96;
  bool separate_files_ = true;

  // Run state.
  std::unique_ptr<ovx::PainterCanvas> canvas_;
  double scale_ = 1;
  int page_counter_ = 0;
  int y_offset_ = 0;
  bool first_page_ = true;
  // Minimum x, minimum y, maximum x, maximum y in bitmap pixels.
  int crop_min_x_ = 0;
  int crop_min_y_ = 0;
  int crop_max_x_ = 0;
  int crop_max_y_ = 0;
  // The first file the run wrote (what OpenAfterExport opens).
  QString output_file_;
};

class TovxJPEGExport : public TovxCustomImageExport {
  OVX_META_CLASS

 public:
  explicit TovxJPEGExport(TovxComponent* owner = nullptr, bool registered = true);

  QString GetDescription() const override;
  bool UsesQuality() const override { return true; }

 protected:
  // Baseline JPEG at JPEGQuality (clamped to 1..100); grey scale for
  // monochrome images. Throws ovx::Error when the encoder fails.
  void SaveToStream(ovx::Stream& stream, const QImage& image) override;
};

namespace ovx {

// `image` as baseline JPEG at `quality` (1 to 100), 8-bit grey when
// `grey`, else RGB; `dpi` is recorded in the file. Throws ovx::Error when
// the encoder fails. With `full_colour` the colour is kept for every
// pixel (no chroma subsampling): small bitmaps whose neighbouring pixels
// differ in colour keep their colours.
QByteArray EncodeJpeg(const QImage& image, int quality, bool grey, int dpi,
                      bool full_colour = false);

}  // namespace ovx
