// A readable account of how the text layout treats one memo text: the
// face it resolves to, the wrapped lines with their paragraph flags and
// measured advances, the attribute runs of tagged text, the measurements,
// and the runs DrawLines produces on a target of a given resolution.
//
// Shared by the textlayout tool and the golden tests of the layout, so the
// files a reviewer reads are exactly what the tool prints.
#pragma once

#include "base/font.h"
#include "render/text_options.h"

#include <QString>
#include <QStringList>

namespace ovx {

struct LayoutRequest {
  QStringList lines;
  QString font_name = QStringLiteral("Arial");
  int font_size = 10;
  int style_bits = 0;
  // The text rectangle in report units.
  int width = 200;
  int height = 100;
  bool word_wrap = true;
  bool word_break = false;
  bool html_tags = false;
  bool wysiwyg = true;
  bool rtl_reading = false;
  bool first_para_break = false;
  int rotation = 0;
  double paragraph_gap = 0;
  double char_spacing = 0;
  double line_spacing = 2;
  TovxHAlign h_align = TovxHAlign::haLeft;
  TovxVAlign v_align = TovxVAlign::vaTop;
  TovxUnderlinesTextMode underlines = TovxUnderlinesTextMode::ulmNone;
  // The drawing target.
  int dpi = 96;
  double scale = 1;
};

QString DumpLayout(const LayoutRequest& request);

// Parses the textlayout tool's options into `request` (the text from
// --text, with "\n" separating lines, or --file). Answers an error
// message, empty on success.
QString ParseLayoutArguments(const QStringList& args, LayoutRequest* request);

}  // namespace ovx
