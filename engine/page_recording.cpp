#include "engine/page_recording.h"

#include "base/error.h"
#include "base/rounding.h"
#include "base/stream.h"
#include "engine/preview_pages.h"
#include "platform/font_service.h"
#include "render/emf_player.h"

namespace ovx {

Metafile RecordPreparedPage(TovxPreviewPages& pages, int index) {
  const QSize size = pages.GetPageSize(index);
  if (index < 0 || index >= pages.Count() || size.isEmpty()) {
    throw Error(QString(), QStringLiteral("There is no prepared page %d to record"),
                {QString::number(index + 1)});
  }
  MetafileCanvas canvas(size.width(), size.height(), 96, QStringLiteral("Page %1").arg(index + 1));
  pages.DrawPage(index, canvas, 1, 1, 0, 0);
  return canvas.Finish();
}

namespace {

class TextRunCollector : public TEMFAbstractExport {
 public:
  using TEMFAbstractExport::TEMFAbstractExport;
  std::vector<RecordedTextRun> runs;

 protected:
  void DoExtTextOutW() override {
    TEMFAbstractExport::DoExtTextOutW();
    Add(Current<TEMRExtTextOutWObj>());
  }
  void DoExtTextOutA() override {
    TEMFAbstractExport::DoExtTextOutA();
    Add(Current<TEMRExtTextOutAObj>());
  }

 private:
  void Add(const TEMRExtTextOutWObj& record) {
    RecordedTextRun run;
    run.text = record.Text();
    // Vertical text records its marks as presentation forms; a search for
    // the marks the text holds must find them.
    for (QChar& unit : run.text) {
      if (const char32_t mark = MarkOfVerticalPresentationForm(unit.unicode())) {
        unit = QChar(static_cast<char16_t>(mark));
      }
    }
    const QPointF at = MapPoint(record.Reference().x(), record.Reference().y());
    run.reference = QPoint(RoundToInt(at.x()), RoundToInt(at.y()));
    run.advances = record.Advances();
    run.bounds = record.Bounds();
    run.font_name = DeviceContext().FontFaceName();
    run.font_height = DeviceContext().FontSignedHeight();
    runs.push_back(std::move(run));
  }
};

}  // namespace

std::vector<RecordedTextRun> RecordedTextRuns(const QByteArray& metafile) {
  MemoryStream input(metafile);
  TextRunCollector collector(input, nullptr);
  try {
    collector.Play();
  } catch (const Error&) {
    // A header that promises a palette without an end record: the runs
    // read so far stand.
  }
  return std::move(collector.runs);
}

}  // namespace ovx
