// The metafile player: reads the records of an enhanced metafile one after
// another, keeps the device context they were recorded against, and calls
// one overridable handler per record type.
//
// The handlers here only read records and update the state; an output
// (the canvas replay, the PDF page) overrides the handlers of the records
// that draw, calls the inherited handler first, and then reads the record
// (CurrentRecord) and the state this class keeps.
//
// Metafiles are outside input. Playback stops, and says why in Damage(),
// at a record whose size is below 8 or runs past the end of the input; a
// record's variable parts are checked by its accessors; handle indices
// outside the header's table, or naming nothing, are ignored. Every record
// read is kept until the player is destroyed, so the state may point into
// them freely.
//
// Mapping follows the platform's order: a logical point goes through the
// world transform first, then from window to viewport, and ends relative
// to the frame's top left in the reference device's pixels.
#pragma once

#include "render/canvas.h"
#include "render/emf_device_context.h"
#include "render/emf_records.h"

#include <QString>
#include <QTransform>

#include <memory>
#include <vector>

namespace ovx {
class Stream;
}

// A UTF-16 text builder for record descriptions: starts with room for
// 1024 units and doubles when full.
class TQuickWideFragment {
 public:
  TQuickWideFragment() { buffer_.resize(1024); }
  void Append(QStringView text);
  // printf-style, numbers in the C locale.
  void AppendFormatted(const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;
  void DropLast(qsizetype count) { length_ -= std::min(count, length_); }
  QString Result() const { return QString(buffer_.data(), length_); }
  qsizetype Length() const { return length_; }
  qsizetype Capacity() const { return static_cast<qsizetype>(buffer_.size()); }

 private:
  std::vector<QChar> buffer_;
  qsizetype length_ = 0;
};

class TEMFAbstractExport {
 public:
  // Plays `input` from its current position to its end; `output` is for
  // subclasses and may be null. The device context comes from
  // CreateDeviceContext when playing starts (a constructor cannot reach a
  // subclass's override); until then a plain one stands in.
  TEMFAbstractExport(ovx::Stream& input, ovx::Stream* output);
  virtual ~TEMFAbstractExport();
  TEMFAbstractExport(const TEMFAbstractExport&) = delete;
  TEMFAbstractExport& operator=(const TEMFAbstractExport&) = delete;

  // Plays every record up to EMR_EOF or the end of the input. Throws
  // ovx::Error "EMR_EoF not found" for a header announcing palette entries
  // in a metafile without an end-of-file record.
  void Play();

  // A description of each record (EMR name and fields), off by default.
  bool Diagnostics() const { return diagnostics_; }
  void SetDiagnostics(bool on) { diagnostics_ = on; }
  bool ApplyWorldTransform() const { return apply_world_transform_; }
  void SetApplyWorldTransform(bool on) { apply_world_transform_ = on; }
  // The description of the record just played (with Diagnostics on).
  const QString& Description() const { return description_; }

  // The record about to be played (or just played): type and nSize.
  quint32 RecordType() const { return record_type_; }
  quint32 RecordSize() const { return record_size_; }
  // The offset of that record from the start of the metafile.
  qint64 RecordOffset() const { return record_offset_; }
  // The record just read; null before the first.
  const TEnhMetaObj* CurrentRecord() const { return current_; }
  const std::vector<std::unique_ptr<TEnhMetaObj>>& Records() const { return records_; }
  // Why playback ended before EMR_EOF and the end of the input; empty when
  // it did not.
  const QString& Damage() const { return damage_; }

  TDeviceContext& DeviceContext() { return *context_; }
  const TDeviceContext& DeviceContext() const { return *context_; }
  int SavedContextCount() const { return static_cast<int>(saved_.size()); }
  int HandleTableSize() const { return static_cast<int>(handles_.size()); }
  // The object at a handle index (stock handles included); null for an
  // empty or invalid index.
  const TEnhMetaObj* ObjectAt(quint32 handle) const;
  // The reference device's pixels per millimetre (from the header; 96 per
  // inch without one).
  QPointF PixelsPerMillimetre() const { return pixels_per_mm_; }

  // --- mapping to device space ------------------------------------------------------
  QTransform LogicalToDevice() const;
  QPointF MapPoint(qint32 x, qint32 y) const;
  // x in the low 16 bits, y in the high 16 bits.
  QPointF MapPoint16(quint32 packed) const;
  QPointF MapPointF(float x, float y) const;
  // Lengths, at least 1 logical unit, along x, along y, and their mean.
  double MapLengthX(double length) const;
  double MapLengthY(double length) const;
  double MapLength(double length) const;

 protected:
  virtual void WriteComment(const QString& text);
  virtual std::unique_ptr<TDeviceContext> CreateDeviceContext();
  // The selected font as the canvas takes it: face, character set, colour
  // from the text colour, bold above weight 550, italic, underline,
  // strike-out and escapement. The height is lfHeight unscaled; the
  // output scales it.
  virtual ovx::CanvasFont CreateCurrentFont();

#define OVX_EMF_HANDLER_DECL(type, name, cls) virtual void Do##name();
  OVX_EMF_RECORD_TYPES(OVX_EMF_HANDLER_DECL)
#undef OVX_EMF_HANDLER_DECL

  virtual void BeginPlay() {}
  virtual void EndPlay() {}
  virtual void UnknownRecord();

  // The record just read, as its class (the handler's class for its type).
  template <class R>
  const R& Current() const {
    return static_cast<const R&>(*current_);
  }
  ovx::Stream& Input() { return input_; }
  ovx::Stream* Output() { return output_; }

 private:
  template <class R>
  void Handle();
  void Dispatch(quint32 type);
  // Reads the record about to be played into a new object of class R.
  template <class R>
  const R& ReadRecord();
  void Update(const TEnhMetaObj& record);
  void Describe(const TEnhMetaObj& record);
  void ReadHeader(const TEnhMetaHeaderObj& header);
  void LoadEndOfFilePalette();
  void StoreObject(const TEnhMetaObj& record);
  void SelectObject(quint32 handle);
  void DeleteObject(quint32 handle);
  void SaveContext();
  void RestoreContext(qint64 relative);
  void CombineClip(const std::optional<QRegion>& region, quint32 mode);
  QRect MapRect(const QRect& logical) const;

  ovx::Stream& input_;
  ovx::Stream* output_;
  qint64 start_ = 0;
  qint64 end_ = 0;
  bool diagnostics_ = false;
  bool apply_world_transform_ = true;
  bool ended_ = false;
  QString description_;
  QString damage_;
  quint32 record_type_ = 0;
  quint32 record_size_ = 0;
  qint64 record_offset_ = 0;
  const TEnhMetaObj* current_ = nullptr;
  std::vector<std::unique_ptr<TEnhMetaObj>> records_;
  std::vector<const TEnhMetaObj*> handles_;
  std::vector<std::unique_ptr<TDeviceContext>> saved_;
  std::unique_ptr<TDeviceContext> context_;
  QPointF pixels_per_mm_{96 / 25.4, 96 / 25.4};
};
