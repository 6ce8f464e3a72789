// Raster image export and the JPEG filter; see image_export.h.
#include "export/image_export.h"

#include "base/class_builder.h"
#include "base/error.h"
#include "base/rounding.h"
#include "base/stream.h"
#include "engine/preview_pages.h"
#include "render/painter_canvas.h"
#include "report/model/page.h"
#include "report/model/view.h"
#include "resources/resources.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace {

constexpr double kScreenDpi = 96;

int Scaled(double units, double scale) {
  const double pixels = std::nearbyint(units * scale);
  // Beyond any side a bitmap may have; the callers refuse or clamp it.
  return pixels > 1e9 ? 1000000000 : static_cast<int>(std::max(pixels, 0.0));
}

// "dir/name.ext" with its extension replaced by `ext`; a name without one
// gets `ext` appended. A leading dot (a hidden file) is no extension.
QString ReplaceExtension(const QString& file_name, const QString& ext) {
  const qsizetype slash = file_name.lastIndexOf(u'/');
  const qsizetype dot = file_name.lastIndexOf(u'.');
  const bool has_ext = dot > slash + 1;
  return (has_ext ? file_name.left(dot) : file_name) + ext;
}

}  // namespace

// --- TovxCustomImageExport -----------------------------------------------------------------

TovxCustomImageExport::TovxCustomImageExport(TovxComponent* owner, bool registered)
    : TovxBaseDialogExportFilter(owner, registered) {
  SetExportDialogClass(QStringLiteral("TovxIMGExportDialog"));
}

TovxCustomImageExport::~TovxCustomImageExport() = default;

const QImage* TovxCustomImageExport::Bitmap() const { return canvas_ ? canvas_->Image() : nullptr; }

bool TovxCustomImageExport::Start() {
  if (resolution_ < 1) {
    throw ovx::Error(QStringLiteral("rsExportBadResolution"),
                     QStringLiteral("The resolution must be at least 1 dpi, not %s"),
                     {QString::number(resolution_)});
  }
  canvas_.reset();
  page_counter_ = 0;
  y_offset_ = 0;
  first_page_ = true;
  output_file_.clear();
  scale_ = resolution_ / kScreenDpi;
  crop_min_x_ = crop_min_y_ = crop_max_x_ = crop_max_y_ = 0;
  return !FileName().isEmpty() || Stream();
}

void TovxCustomImageExport::CreateBitmap(int width, int height) {
  canvas_ = ovx::PainterCanvas::ForImage(width, height, resolution_);
  canvas_->Brush().color = clWhite;
  crop_min_x_ = width;
  crop_min_y_ = height;
  crop_max_x_ = 0;
  crop_max_y_ = 0;
}

void TovxCustomImageExport::StartPage(TovxReportPage& page, int index) {
  ++page_counter_;
  const int page_width = Scaled(page.Width(), scale_);
  const int page_height = Scaled(page.Height(), scale_);
  if (separate_files_) {
    if (page_width > kMaxImageSide || page_height > kMaxImageSide) {
      throw ovx::Error(
          QStringLiteral("rsExportImageTooLarge"),
          QStringLiteral("Page %s would be an image of %s x %s pixels, more than %s on a side"),
          {QString::number(index + 1), QString::number(page_width), QString::number(page_height),
           QString::number(kMaxImageSide)});
    }
    CreateBitmap(std::max(page_width, 1), std::max(page_height, 1));
  } else if (first_page_) {
    first_page_ = false;
    // The widest page and the pages stacked, over the pages this run exports.
    double width = page_width;
    double height = 0;
    if (TovxPreviewPages* pages = ExportedPages()) {
      for (int i = 0; i < pages->Count(); ++i) {
        if (!IsPageExported(i)) continue;
        const QSize size = pages->GetPageSize(i);
        width = std::max(width, std::nearbyint(size.width() * scale_));
        height += std::nearbyint(size.height() * scale_);
      }
    } else {
      height = page_height;
    }
    CreateBitmap(
        std::clamp(static_cast<int>(std::min(width, double{kMaxImageSide})), 1, kMaxImageSide),
        std::clamp(static_cast<int>(std::min(height, double{kMaxImageSide})), 1, kMaxImageSide));
  }
  if (!canvas_) return;
  // A view that spills over its page must not draw on the next one.
  canvas_->SaveDC();
  canvas_->IntersectClipRect(ovx::PixelRect{0, y_offset_, page_width, y_offset_ + page_height});
}

void TovxCustomImageExport::ExportObject(TovxComponent& object) {
  auto* view = dynamic_cast<TovxView*>(&object);
  if (!view || !canvas_ || !view->Printable()) return;
  if (view->Name() != u"_pagebackground") {
    const double left = view->AbsLeft();
    const double top = view->AbsTop();
    crop_min_x_ = std::min(crop_min_x_, Scaled(left, scale_));
    crop_min_y_ = std::min(crop_min_y_, Scaled(top, scale_) + y_offset_);
    crop_max_x_ = std::max(crop_max_x_, Scaled(left + view->Width(), scale_) + 1);
    crop_max_y_ = std::max(crop_max_y_, Scaled(top + view->Height(), scale_) + y_offset_ + 1);
  }
  view->Draw(*canvas_, scale_, scale_, 0, y_offset_);
}

void TovxCustomImageExport::FinishPage(TovxReportPage& page, int index) {
  if (!canvas_) return;
  canvas_->RestoreDC();
  if (separate_files_) {
    Save();
  } else {
    y_offset_ += Scaled(page.Height(), scale_);
  }
}

void TovxCustomImageExport::Finish() {
  if (!separate_files_ && canvas_) Save();
}

QString TovxCustomImageExport::TargetFileName() const {
  const QString suffix = separate_files_ ? u'.' + QString::number(page_counter_) : QString();
  return ReplaceExtension(FileName(), suffix + DefaultExt());
}

QString TovxCustomImageExport::OutputFileName() const { return output_file_; }

void TovxCustomImageExport::Save() {
  // The bitmap goes with this call, written or not.
  const std::unique_ptr<ovx::PainterCanvas> canvas = std::move(canvas_);
  if (!canvas) return;
  canvas->End();
  QImage image = *canvas->Image();
  if (crop_images_) {
    const int left = std::clamp(crop_min_x_, 0, image.width());
    const int top = std::clamp(crop_min_y_, 0, image.height());
    const int right = std::clamp(crop_max_x_, 0, image.width());
    const int bottom = std::clamp(crop_max_y_, 0, image.height());
    // No view widened the box (only the background was drawn): the page
    // stays whole rather than becoming an image without pixels.
    if (right > left && bottom > top) image = image.copy(left, top, right - left, bottom - top);
  }
  if (monochrome_) {
    image = image.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither)
                .convertToFormat(QImage::Format_Grayscale8);
  }
  if (Stream()) {
    SaveToStream(*Stream(), image);
    return;
  }
  const QString target = TargetFileName();
  ovx::Stream& stream = BeginOutput(target);
  SaveToStream(stream, image);
  FinishOutput(stream);
  if (output_file_.isEmpty()) output_file_ = target;
}

const ovx::MetaClass& TovxCustomImageExport::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    ovx::ClassBuilder<TovxCustomImageExport> b("TovxCustomImageExport",
                                               &TovxBaseDialogExportFilter::StaticMetaClass());
    return b.Build();
  }();
  return meta;
}

// --- TovxJPEGExport ------------------------------------------------------------------------

TovxJPEGExport::TovxJPEGExport(TovxComponent* owner, bool registered)
    : TovxCustomImageExport(owner, registered) {
  SetDefaultExt(QStringLiteral(".jpg"));
  SetFilterDesc(TovxResources::Instance().Get(u"JPEGexportFilter"));
}

QString TovxJPEGExport::GetDescription() const {
  return TovxResources::Instance().Get(u"JPEGexport");
}

void TovxJPEGExport::SaveToStream(ovx::Stream& stream, const QImage& image) {
  stream.Write(ovx::EncodeJpeg(image, JPEGQuality(), Monochrome(), Resolution()));
}

const ovx::MetaClass& TovxJPEGExport::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxJPEGExport;
    ovx::ClassBuilder<C> b("TovxJPEGExport", &TovxCustomImageExport::StaticMetaClass());
    b.Integer("JPEGQuality", &C::JPEGQuality, &C::SetJPEGQuality).Default(90);
    b.Bool("CropImages", &C::CropImages, &C::SetCropImages).Default(false);
    b.Bool("Monochrome", &C::Monochrome, &C::SetMonochrome).Default(false);
    b.Bool("OverwritePrompt", &C::OverwritePrompt, &C::SetOverwritePrompt).Default(false);
    b.Creatable([](ovx::Persistent* owner) -> ovx::Persistent* {
      return new TovxJPEGExport(dynamic_cast<TovxComponent*>(owner));
    });
    return b.Build();
  }();
  return meta;
}

// --- JPEG encoding -------------------------------------------------------------------------

namespace {

// libjpeg reports errors by calling error_exit, which must not return;
// it jumps back to the encoder's setjmp instead of ending the process.
struct JpegError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr info) {
  auto* error = reinterpret_cast<JpegError*>(info->err);
  (*info->err->format_message)(info, error->message);
  std::longjmp(error->jump, 1);
}

void JpegOutputMessage(j_common_ptr) {}  // warnings are not worth a console line

// Only plain data lives in this frame, so the jump skips no destructor.
bool Compress(const QImage& image, int quality, bool grey, bool full_colour, int dpi,
              unsigned char** buffer, unsigned long* size, char* message) {
  jpeg_compress_struct info;
  JpegError error;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = &JpegErrorExit;
  error.manager.output_message = &JpegOutputMessage;
  if (setjmp(error.jump)) {
    std::snprintf(message, JMSG_LENGTH_MAX, "%s", error.message);
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, buffer, size);
  info.image_width = static_cast<JDIMENSION>(image.width());
  info.image_height = static_cast<JDIMENSION>(image.height());
  info.input_components = grey ? 1 : 3;
  info.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  if (full_colour && !grey) {
    for (int c = 0; c < info.num_components; ++c)
      info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
  }
  info.density_unit = 1;  // dots per inch
  info.X_density = info.Y_density = static_cast<UINT16>(std::clamp(dpi, 1, 65535));
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(image.constScanLine(static_cast<int>(info.next_scanline)));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

}  // namespace

QByteArray ovx::EncodeJpeg(const QImage& image, int quality, bool grey, int dpi, bool full_colour) {
  if (image.isNull() || image.width() > JPEG_MAX_DIMENSION || image.height() > JPEG_MAX_DIMENSION) {
    throw Error(QStringLiteral("rsExportJpegFailed"), QStringLiteral("Cannot write JPEG: %s"),
                {QStringLiteral("the image is empty or larger than JPEG allows")});
  }
  const QImage pixels =
      image.convertToFormat(grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  char message[JMSG_LENGTH_MAX] = {};
  const bool ok = Compress(pixels, std::clamp(quality, 1, 100), grey, full_colour, dpi, &buffer,
                           &size, message);
  QByteArray bytes;
  if (ok) bytes = QByteArray(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(size));
  std::free(buffer);
  if (!ok) {
    throw Error(QStringLiteral("rsExportJpegFailed"), QStringLiteral("Cannot write JPEG: %s"),
                {QString::fromLocal8Bit(message)});
  }
  return bytes;
}
