// Views: report objects that occupy a rectangle and draw something.
//
// A view carries what every drawable object shares: a frame, a fill, a
// hyperlink, the expressions of its tag, the data field it shows, and when
// it is printed (Visibility, Processing). Classes that draw text, pictures
// or lines build on it; each publishes the parts of this state it uses.
//
// Views are created by the thousand (one per character cell in a typeset
// page), so the rarely used parts (frame, hyperlink, event handlers, a fill
// other than the default brush, hint, tag and data field) are created only
// when first changed; copies make them only where the source has them.
//
// The data cycle: BeforePrint saves what GetData may change (the bounds, the
// tag, the hyperlink value), GetData evaluates expressions and fetches data,
// AfterPrint puts everything back, so a template object looks the same
// after every printed copy.
#pragma once

#include "base/pixel_rect.h"
#include "report/model/component.h"
#include "report/model/fill.h"
#include "report/model/frame.h"
#include "report/model/hyperlink.h"

#include <QVariant>

#include <array>
#include <memory>
#include <vector>

OVX_ENUM(TovxAlign, baNone, baLeft, baRight, baCenter, baWidth, baBottom, baClient, baHidden)
OVX_ENUM(TovxShiftMode, smDontShift, smAlways, smWhenOverlapped)
OVX_ENUM(TovxVisibilityType, vsPreview, vsExport, vsPrint)
using TovxVisibilityTypes = ovx::EnumSet<TovxVisibilityType>;
OVX_ENUM(TovxProcessAtMode, paDefault, paReportFinished, paReportPageFinished, paPageFinished,
         paColumnFinished, paDataFinished, paGroupFinished, paCustom)
OVX_ENUM(TovxStretchMode, smDontStretch, smActualHeight, smMaxHeight)

class TovxDataSet;

namespace ovx {

class Canvas;
class DeferredProcessor;
class DeferredValueList;

// One drawing of a view: the canvas, the scale (pixels per report unit) and
// offset (pixels), and what BeginDraw computed from them.
struct ViewDrawing {
  Canvas& canvas;
  double scale_x = 1;
  double scale_y = 1;
  double offset_x = 0;
  double offset_y = 0;
  // The view's pixel rectangle, without a drop shadow's strip.
  PixelRect rect;
  // The frame's width in pixels.
  int frame_width = 0;
};

// Bounds moved by (dx, dy) report units and resized by (dwidth, dheight).
struct UnitInset {
  double dx = 0;
  double dy = 0;
  double dwidth = 0;
  double dheight = 0;
};

}  // namespace ovx

// When the post-processor fills a view whose value is known only later
// (a total printed before its data).
class TovxObjectProcessing : public ovx::Persistent {
  OVX_META_CLASS

 public:
  TovxProcessAtMode ProcessAt() const { return process_at_; }
  void SetProcessAt(TovxProcessAtMode v) { process_at_ = v; }
  int GroupLevel() const { return group_level_; }
  void SetGroupLevel(int v) { group_level_ = v; }

  void Assign(const TovxObjectProcessing& source) { *this = source; }

 private:
  TovxProcessAtMode process_at_ = TovxProcessAtMode::paDefault;
  int group_level_ = 0;
};

class TovxView : public TovxReportComponent {
  OVX_META_CLASS

 public:
  // The report-script procedures a view names for its events.
  enum class Event {
    kOnAfterData,
    kOnAfterPrint,
    kOnBeforePrint,
    kOnContentChanged,
    kOnMouseEnter,
    kOnMouseLeave,
    kOnMouseDown,
    kOnMouseMove,
    kOnMouseUp,
    kOnPreviewClick,
    kOnPreviewDblClick,
  };
  static constexpr int kEventCount = 11;

  explicit TovxView(TovxComponent* owner = nullptr);
  ~TovxView() override;

  // --- published ------------------------------------------------------------
  // How the view is placed when its container aligns its children.
  TovxAlign Align() const { return align_; }
  void SetAlign(TovxAlign align) { align_ = align; }
  bool AllowVectorExport() const { return allow_vector_export_; }
  void SetAllowVectorExport(bool allow) { allow_vector_export_ = allow; }
  // The vsPrint member of Visibility.
  bool Printable() const { return visibility_.Contains(TovxVisibilityType::vsPrint); }
  void SetPrintable(bool printable) {
    visibility_ = visibility_.With(TovxVisibilityType::vsPrint, printable);
  }
  TovxShiftMode ShiftMode() const { return shift_mode_; }
  void SetShiftMode(TovxShiftMode mode) { shift_mode_ = mode; }
  const QString& EventHandler(Event event) const;
  void SetEventHandler(Event event, const QString& procedure);
  const TovxHyperlink& Hyperlink() const;
  TovxHyperlink& Hyperlink();
  void SetHyperlink(const TovxHyperlink& hyperlink) { Hyperlink().Assign(hyperlink); }
  const QString& Hint() const { return RareOrNone().hint; }
  void SetHint(const QString& hint) {
    if (rare_ || !hint.isEmpty()) MakeRare().hint = hint;
  }
  bool ShowHint() const { return show_hint_; }
  void SetShowHint(bool show) { show_hint_ = show; }
  TovxVisibilityTypes Visibility() const { return visibility_; }
  void SetVisibility(TovxVisibilityTypes visibility) { visibility_ = visibility; }

  // --- state published by the classes that use it -----------------------------
  const QString& DataField() const { return RareOrNone().data_field; }
  void SetDataField(const QString& field) {
    if (rare_ || !field.isEmpty()) MakeRare().data_field = field;
  }
  // The data set is kept by its user name and looked up when needed (in the
  // report first, then among the host program's data sets), so a view never
  // holds on to a data set that has gone.
  TovxDataSet* DataSet() const;
  // Null clears the link, except while loading: a reference that names no
  // object of the report must not undo the DataSetName read before it.
  void SetDataSet(TovxDataSet* data_set);
  const QString& DataSetName() const { return RareOrNone().data_set_name; }
  void SetDataSetName(const QString& name) {
    if (rare_ || !name.isEmpty()) MakeRare().data_set_name = name;
  }
  // Both a data set and a field are named.
  bool IsDataField() const;

  // Made on first use: the const form answers a default frame until then.
  TovxFrame& Frame();
  const TovxFrame& Frame() const;
  void SetFrame(const TovxFrame& frame) { Frame().Assign(frame); }
  // The frame if made, else null (the property metadata skips it then).
  const TovxFrame* ExistingFrame() const { return frame_.get(); }
  const TovxCustomFill* ExistingFill() const { return fill_.Existing(); }
  TovxFillType FillType() const { return fill_.Type(); }
  // A different type replaces the fill by a new one with its defaults.
  void SetFillType(TovxFillType type) { fill_.SetType(type); }
  const TovxCustomFill& Fill() const { return fill_.Get(); }
  TovxCustomFill& Fill() { return fill_.Get(); }
  void SetFill(const TovxCustomFill& fill) { fill_.Set(fill); }
  const QString& TagStr() const { return RareOrNone().tag_str; }
  void SetTagStr(const QString& tag_str) {
    if (rare_ || !tag_str.isEmpty()) MakeRare().tag_str = tag_str;
  }
  int Cursor() const { return cursor_; }
  void SetCursor(int cursor) { cursor_ = cursor; }
  // The brush's BackColor, the gradient's halfway colour, the glass colour.
  ovx::Color Color() const { return fill_.Color(); }
  // Changes a brush fill only.
  void SetColor(ovx::Color color) { fill_.SetColor(color); }
  // A brush's style; bsClear for other fills.
  TovxBrushStyle BrushStyle() const { return fill_.BrushStyle(); }
  void SetBrushStyle(TovxBrushStyle style) { fill_.SetBrushStyle(style); }
  // The hyperlink as one text: "@12" a page number, "#name" an anchor,
  // anything else a URL. Setting an empty text changes nothing.
  QString URL() const;
  void SetURL(const QString& url);
  TovxObjectProcessing& Processing() { return processing_; }
  const TovxObjectProcessing& Processing() const { return processing_; }
  void SetProcessing(const TovxObjectProcessing& p) { processing_.Assign(p); }

  // --- device geometry ------------------------------------------------------------
  // The view's rectangle at a scale and offset (pixels per unit, pixels),
  // without the drop shadow's strip. `inset` moves the bounds' top left by
  // (dx, dy) units and changes their size by (dwidth, dheight), for
  // outlines drawn inside the view.
  ovx::PixelRect PixelRect(double scale_x, double scale_y, double offset_x, double offset_y,
                           const ovx::UnitInset& inset = {}) const;
  // What the fill covers: `rect` widened on each side that has a frame
  // line by half the line width (the odd pixel going right and down).
  ovx::PixelRect BackgroundRect(const ovx::PixelRect& rect, double scale_x, double scale_y) const;
  int FramePixelWidth(double scale_x) const;

  // --- drawing ------------------------------------------------------------------------
  // Draws the view: its fill, its content and its frame, and in the
  // designer the corner marks.
  virtual void Draw(ovx::Canvas& canvas, double scale_x, double scale_y, double offset_x,
                    double offset_y);

  // --- data cycle -------------------------------------------------------------------
  void BeforePrint() override;
  void GetData() override;
  void AfterPrint() override;

  // --- deferred values (the post-processor, deferred_values.h) ---------------------
  // Whether the store hands the view to the post-processor when it adds it
  // to a prepared page: its Processing waits for a later point of the run.
  virtual bool NeedsPostProcessing() const;
  // Files the view's value with the post-processor and puts the entry
  // index in its place.
  virtual void RegisterDeferred(ovx::DeferredProcessor& processor);
  // A view of a rebuilt page takes its value from `list`; true when the
  // page drops the view.
  virtual bool RestoreDeferred(ovx::DeferredValueList& list);
  // Evaluates the view (the template object) again and stores the result
  // as the newest entry of `list`.
  virtual void ProcessDeferred(ovx::DeferredValueList& list, ovx::DeferredProcessor& processor);

  QByteArray DifferenceText(const TovxComponent& base) const override;

 protected:
  // The steps of Draw, for views that put their content between them.
  ovx::ViewDrawing BeginDraw(ovx::Canvas& canvas, double scale_x, double scale_y, double offset_x,
                             double offset_y) const;
  // The fill, over the rectangle widened under the frame lines.
  void DrawBackground(const ovx::ViewDrawing& drawing) const;
  // The drop shadow and the frame lines.
  void DrawFrame(const ovx::ViewDrawing& drawing) const;
  // In the designer: small corner marks where the frame does not show the
  // view's extent.
  void DrawDesignMarks(const ovx::ViewDrawing& drawing) const;

  // `expression` evaluated for this view by its report; without a report,
  // the expression's own text.
  QVariant Calc(const QString& expression);

  // Pieces of difference texts.
  static void AppendAttribute(QByteArray& out, QByteArrayView name, const QByteArray& value);
  static QByteArray NumberText(double value);
  static QByteArray NumberText(qint64 value);
  static QByteArray FlagText(bool value);
  static QByteArray EscapedText(const QString& value);
  // Every published value of `object` that differs from `base` (same
  // class), nested objects with their own prefix; `skip` names one
  // property to leave out.
  static void AppendValueDifferences(QByteArray& out, const QByteArray& prefix,
                                     const ovx::Persistent& object, const ovx::Persistent& base,
                                     QStringView skip = {});

 private:
  static void AppendNestedDifferences(QByteArray& out, const QByteArray& prefix,
                                      std::vector<const ovx::PropertyInfo*>& path,
                                      const ovx::Persistent& object, const ovx::Persistent& base,
                                      QStringView skip);
  QString ExpandInText(const QString& text);

  // Texts most views leave empty, made on first use: a typeset page holds
  // views by the thousand.
  struct Rare {
    QString hint;
    QString data_field;
    QString data_set_name;
    QString tag_str;
    QString saved_tag_str;
    QString saved_hyperlink_value;
  };
  const Rare& RareOrNone() const;
  Rare& MakeRare();

  TovxAlign align_ = TovxAlign::baNone;
  bool allow_vector_export_ = true;
  bool show_hint_ = false;
  bool print_state_saved_ = false;
  TovxShiftMode shift_mode_ = TovxShiftMode::smAlways;
  TovxVisibilityTypes visibility_{TovxVisibilityType::vsPreview, TovxVisibilityType::vsExport,
                                  TovxVisibilityType::vsPrint};
  int cursor_ = 0;
  std::unique_ptr<Rare> rare_;
  std::unique_ptr<TovxFrame> frame_;
  ovx::FillSlot fill_;
  TovxObjectProcessing processing_;
  std::unique_ptr<TovxHyperlink> hyperlink_;
  std::unique_ptr<std::array<QString, kEventCount>> events_;
};

// A view whose height can follow its content.
class TovxStretcheable : public TovxView {
  OVX_META_CLASS

 public:
  explicit TovxStretcheable(TovxComponent* owner = nullptr) : TovxView(owner) {}

  bool CanShrink() const { return can_shrink_; }
  void SetCanShrink(bool can_shrink) { can_shrink_ = can_shrink; }
  TovxStretchMode StretchMode() const { return stretch_mode_; }
  void SetStretchMode(TovxStretchMode mode) { stretch_mode_ = mode; }

  // The height the content needs; the view's own height here.
  virtual double CalcHeight() { return Height(); }
  // Lays out the part of the content that fits into the current height
  // and keeps the rest for the next part; answers the height the rest
  // still needs (0 when everything fitted).
  virtual double DrawPart() { return 0; }
  // Prepares splitting the content into parts.
  virtual void InitPart() {}
  // Whether a part is left after DrawPart.
  virtual bool HasNextDataPart() const { return false; }
  // Makes the part DrawPart left over the content, for the next part.
  virtual void TakeNextPart() {}

 private:
  bool can_shrink_ = false;
  TovxStretchMode stretch_mode_ = TovxStretchMode::smDontStretch;
};
