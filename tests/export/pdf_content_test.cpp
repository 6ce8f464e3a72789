// Page content of views: memo text, fills, frames, lines, shapes, raster
// views and links. Golden files hold whole content streams for tables of
// cases (regenerate with scripts/regenerate-goldens.sh); the other tests
// assert one behaviour each.
#include "export/pdf_page_content.h"
#include "report/model/fill.h"
#include "report/model/memo_view.h"
#include "report/model/picture_view.h"
#include "report/model/shape_view.h"
#include "tests/export/pdf_test_support.h"
#include "tests/test_support.h"

#include <QBuffer>
#include <QImage>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace ovx {
namespace {

using test::PageContent;

// Content lines end with CR LF; golden files keep plain lines.
void ExpectContentGolden(const QString& name, QByteArray content) {
  content.replace("\r\n", "\n");
  test::ExpectGolden(QStringLiteral("export/pdf/") + name, content);
}

std::unique_ptr<TovxMemoView> Memo(double left, double top, double width, double height,
                                   const QString& text) {
  auto memo = std::make_unique<TovxMemoView>();
  memo->SetBounds(left, top, width, height);
  memo->Font().SetName(QStringLiteral("Arial"));
  memo->Font().SetSize(10);
  memo->SetText(text);
  return memo;
}

// Every number of the content stream is a plain decimal.
void ExpectOnlyFiniteNumbers(const QByteArray& content) {
  const QByteArray lower = content.toLower();
  EXPECT_FALSE(lower.contains("inf")) << content.constData();
  EXPECT_FALSE(lower.contains("nan")) << content.constData();
  EXPECT_FALSE(lower.contains("e+")) << content.constData();
}

// The (x, y) operands of every "Td" in `content`.
std::vector<std::pair<double, double>> TextPositions(const QByteArray& content) {
  std::vector<std::pair<double, double>> positions;
  static const QRegularExpression td(QStringLiteral("(-?[0-9.]+) (-?[0-9.]+) Td"));
  auto matches = td.globalMatch(QString::fromLatin1(content));
  while (matches.hasNext()) {
    const auto m = matches.next();
    positions.emplace_back(m.captured(1).toDouble(), m.captured(2).toDouble());
  }
  return positions;
}

// --- memo text --------------------------------------------------------------------------

TEST(PdfContent, MemoAlignmentsGolden) {
  const QByteArray content = PageContent(
      [](PdfPageContent& page) {
        const TovxHAlign h_aligns[] = {TovxHAlign::haLeft, TovxHAlign::haCenter,
                                       TovxHAlign::haRight};
        const TovxVAlign v_aligns[] = {TovxVAlign::vaTop, TovxVAlign::vaCenter,
                                       TovxVAlign::vaBottom};
        for (int h = 0; h < 3; ++h) {
          for (int v = 0; v < 3; ++v) {
            auto memo = Memo(10 + 60 * h, 10 + 30 * v, 55, 28, QStringLiteral("Ab"));
            memo->SetHAlign(h_aligns[h]);
            memo->SetVAlign(v_aligns[v]);
            page.WriteView(*memo);
          }
        }
        // Justified: the first line's spaces widen, the paragraph's last line
        // stays left-aligned.
        auto block = Memo(200, 10, 60, 60, QStringLiteral("aa bb cc dd ee ff gg hh"));
        block->SetHAlign(TovxHAlign::haBlock);
        page.WriteView(*block);
      },
      {}, 300, 110);
  ExpectContentGolden(QStringLiteral("memo_alignments.txt"), content);
}

TEST(PdfContent, CentredCharacterSitsInTheMiddleOfItsMemo) {
  const QByteArray content = PageContent([](PdfPageContent& page) {
    auto memo = Memo(20, 20, 60, 40, QStringLiteral("M"));
    memo->SetHAlign(TovxHAlign::haCenter);
    memo->SetVAlign(TovxVAlign::vaCenter);
    memo->Frame().SetTyp({TovxFrameType::ftLeft, TovxFrameType::ftRight});
    page.WriteView(*memo);
  });
  EXPECT_FALSE(content.contains(" Tc"));
  const auto positions = TextPositions(content);
  ASSERT_EQ(positions.size(), 1u);
  // "M" is 0.833 em wide in Liberation Sans: at 10 points its middle is
  // 4.17 points right of its origin, and the memo's middle is at 50 units
  // (+ the 0.25-point margin shift).
  EXPECT_NEAR(positions[0].first + 4.17, 0.75 * 50 + 0.25, 0.3);
  // The baseline lies below the middle by about a third of the size.
  const double middle = 75 - 0.25 - 0.75 * 40;
  EXPECT_LT(positions[0].second, middle);
  EXPECT_GT(positions[0].second, middle - 5);
}

TEST(PdfContent, SimulatedBoldAndItalicWrapTheirText) {
  // AR PL UKai has no bold or italic face: both are simulated.
  const QByteArray content = PageContent([](PdfPageContent& page) {
    auto memo = Memo(10, 10, 100, 30, QString::fromUtf16(u"\u5929\u5730"));
    memo->Font().SetName(QString::fromUtf16(u"\u6977\u4F53"));
    memo->Font().SetStyle({TovxFontStyle::fsBold, TovxFontStyle::fsItalic});
    page.WriteView(*memo);
  });
  const qsizetype bold = content.indexOf("2 Tr ");
  const qsizetype text = content.indexOf(" TJ");
  const qsizetype end = content.indexOf("0 Tr");
  ASSERT_GE(bold, 0) << content.constData();
  EXPECT_LT(bold, text);
  EXPECT_GT(end, text);
  EXPECT_TRUE(content.contains(" 0.25 1 ")) << content.constData();  // the shear of italic
  EXPECT_TRUE(content.contains(" Tm\r\n"));
}

TEST(PdfContent, ABoldRunAndARegularRunShareTheFontButNotItsSimulation) {
  // A bold title and a regular body in AR PL UKai, which has no bold face:
  // one embedded font serves both, and only the bold text is thickened.
  const QByteArray content = PageContent([](PdfPageContent& page) {
    for (const bool bold : {true, false, true}) {
      auto memo = Memo(10, 10, 100, 30, QString::fromUtf16(u"\u5929"));
      memo->Font().SetName(QString::fromUtf16(u"\u6977\u4F53"));
      if (bold) memo->Font().SetStyle({TovxFontStyle::fsBold});
      page.WriteView(*memo);
    }
  });
  QList<QByteArray> texts;  // each BT ... ET block with what follows it
  for (qsizetype at = content.indexOf("BT"); at >= 0; at = content.indexOf("BT", at + 2)) {
    const qsizetype end = content.indexOf("BT", at + 2);
    texts.append(content.mid(at, end < 0 ? -1 : end - at));
  }
  ASSERT_EQ(texts.size(), 3) << content.constData();
  for (const QByteArray& text : texts) EXPECT_TRUE(text.contains("/F0 ")) << text.constData();
  EXPECT_TRUE(texts[0].contains("2 Tr ") && texts[0].contains("0 Tr")) << texts[0].constData();
  EXPECT_FALSE(texts[1].contains(" Tr")) << texts[1].constData();
  EXPECT_TRUE(texts[2].contains("2 Tr ")) << texts[2].constData();
}

TEST(PdfContent, AnItalicFaceIsDescribedWithItsAngleInDegrees) {
  // Arial resolves to Liberation Sans, whose italic face leans by 12
  // degrees: nothing is simulated, the descriptor says so.
  const QByteArray pdf =
      test::WriteDocument(test::PlainOptions(), [](PdfDocument&, PdfPageContent& page) {
        page.BeginPage(200, 100, 5, 5, 0);
        auto memo = Memo(10, 10, 100, 30, QStringLiteral("italic"));
        memo->Font().SetStyle({TovxFontStyle::fsItalic});
        page.WriteView(*memo);
        page.EndPage();
      });
  EXPECT_TRUE(pdf.contains("/ItalicAngle -12\r\n")) << pdf.constData();
  EXPECT_FALSE(pdf.contains(" 0.25 1 "));
}

TEST(PdfContent, TurnedTextUsesATurnedTextMatrix) {
  const QByteArray content = PageContent([](PdfPageContent& page) {
    auto memo = Memo(10, 10, 30, 90, QStringLiteral("up"));
    memo->SetRotation(90);
    page.WriteView(*memo);
  });
  EXPECT_TRUE(content.contains("BT\r\n")) << content.constData();
  EXPECT_TRUE(content.contains("0 1 -1 0 ")) << content.constData();
}

TEST(PdfContent, UnderlinedTextAndRuledMemosGetTheirLines) {
  const QByteArray content = PageContent([](PdfPageContent& page) {
    auto memo = Memo(10, 10, 100, 60, QStringLiteral("one\r\ntwo"));
    memo->Font().SetStyle({TovxFontStyle::fsUnderline});
    memo->SetUnderlines(true);
    memo->Frame().SetColor(clBlue);
    memo->Frame().SetTyp({TovxFrameType::ftBottom});
    page.WriteView(*memo);
  });
  // Two runs, each with its underline bar.
  EXPECT_EQ(content.count(" l h f"), 2) << content.constData();
  // Three ruled lines (under both lines and on down the memo) in the
  // frame's colour, besides the frame's own line.
  EXPECT_EQ(content.count("0.00 0.00 1.00 RG"), 3 + 1) << content.constData();
}

TEST(PdfContent, CharactersTheFaceLacksComeFromTheirFallbackFont) {
  const QByteArray content = PageContent([](PdfPageContent& page) {
    auto memo = Memo(10, 10, 150, 30, QString::fromUtf16(u"A\u6C34B"));
    page.WriteView(*memo);
  });
  EXPECT_TRUE(content.contains("/F0 ")) << content.constData();
  EXPECT_TRUE(content.contains("/F1 ")) << content.constData();
  // One text object; the font changes twice within it.
  EXPECT_EQ(content.count("BT\r\n"), 1);
  EXPECT_EQ(content.count(" Tf\r\n"), 3);
}

// Cells of one character: no clip, one text object for consecutive plain
// memos with the font and colour written once, each line start moved to
// exactly where the memo written alone puts it; anything else drawn
// between them ends the text object first.
TEST(PdfContent, PlainMemosShareOneTextObject) {
  const auto alone = [](double left, double top) {
    const QByteArray content = PageContent([&](PdfPageContent& page) {
      auto memo = Memo(left, top, 30, 30, QStringLiteral("W"));
      page.WriteView(*memo);
    });
    const QList<QByteArray> words = content.split('\n');
    for (const QByteArray& line : words) {
      if (line.endsWith("Td\r")) {
        const QList<QByteArray> xy = line.split(' ');
        return std::pair{xy[0].toDouble(), xy[1].toDouble()};
      }
    }
    return std::pair{0.0, 0.0};
  };
  const auto first = alone(10, 10);
  const auto second = alone(10.3, 40.6);
  const QByteArray content = PageContent([](PdfPageContent& page) {
    auto a = Memo(10, 10, 30, 30, QStringLiteral("W"));
    auto b = Memo(10.3, 40.6, 30, 30, QStringLiteral("W"));
    auto c = Memo(50, 10, 30, 30, QStringLiteral("W"));
    c->SetColor(clYellow);
    auto d = Memo(90, 10, 30, 30, QStringLiteral("W"));
    page.WriteView(*a);
    page.WriteView(*b);
    page.WriteView(*c);
    page.WriteView(*d);
  });
  EXPECT_FALSE(content.contains(" re W n")) << content.constData();
  EXPECT_EQ(content.count("BT\r\n"), 3) << content.constData();
  EXPECT_EQ(content.count("BT\r\n"), content.count("ET\r\n"));
  EXPECT_EQ(content.count("q\r\n"), content.count("Q\r\n"));
  // The filled memo's fill comes after the shared text object ended.
  EXPECT_LT(content.indexOf("ET\r\n"), content.indexOf(" re f"));
  const QByteArray moved = QByteArray::number(second.first - first.first, 'f', 2) + ' ' +
                           QByteArray::number(second.second - first.second, 'f', 2) + " Td";
  EXPECT_TRUE(content.contains(moved)) << moved.constData() << '\n' << content.constData();
  EXPECT_EQ(content.left(content.indexOf("ET\r\n")).count(" Tf"), 1);
  EXPECT_EQ(content.left(content.indexOf("ET\r\n")).count(" rg"), 1);
}

TEST(PdfContent, ActualTextNamesTheCharactersAFontDrawsInstead) {
  PdfContentSettings settings;
  settings.actual_text = [](const QString& face, QStringView text) {
    return face == u"Arial" && text == u"\\" ? QString::fromUtf16(u"\u5155") : QString();
  };
  const QByteArray content = PageContent(
      [](PdfPageContent& page) {
        page.WriteView(*Memo(10, 10, 50, 20, QStringLiteral("\\")));
        page.WriteView(*Memo(10, 40, 50, 20, QStringLiteral("a")));
      },
      settings);
  EXPECT_EQ(content.count("/Span << /ActualText (\xFE\xFF\x51\x55) >> BDC"), 1)
      << content.constData();
  EXPECT_EQ(content.count("EMC"), 1);
}

TEST(PdfContent, DamagedSizesWriteOnlyFiniteNumbers) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const QByteArray content = PageContent([&](PdfPageContent& page) {
    auto memo = Memo(1e300, nan, 1e300, 50, QStringLiteral("x"));
    memo->Frame().SetTyp({TovxFrameType::ftLeft, TovxFrameType::ftTop});
    memo->Frame().SetWidth(nan);
    memo->SetFillType(TovxFillType::ftGradient);
    page.WriteView(*memo);
    auto shape = std::make_unique<TovxShapeView>();
    shape->SetBounds(-1e308, 5, 1e308, nan);
    page.WriteView(*shape);
    auto huge = Memo(10, 10, 50, 50, QStringLiteral("y"));
    huge->Font().SetSize(100000);
    page.WriteView(*huge);
  });
  ExpectOnlyFiniteNumbers(content);
}

// --- fills ------------------------------------------------------------------------------

TEST(PdfContent, FillsGolden) {
  const QByteArray content = PageContent(
      [](PdfPageContent& page) {
        double x = 5;
        auto next = [&]() {
          auto view = std::make_unique<TovxView>();
          view->SetBounds(x, 5, 20, 12);
          x += 22;
          return view;
        };
        for (const TovxBrushStyle style :
             {TovxBrushStyle::bsSolid, TovxBrushStyle::bsHorizontal, TovxBrushStyle::bsVertical,
              TovxBrushStyle::bsFDiagonal, TovxBrushStyle::bsBDiagonal, TovxBrushStyle::bsCross,
              TovxBrushStyle::bsDiagCross}) {
          auto view = next();
          TovxBrushFill fill;
          fill.SetBackColor(clYellow);
          fill.SetForeColor(clRed);
          fill.SetStyle(style);
          view->SetFill(fill);
          page.WriteView(*view);
        }
        for (int style = 0; style < 6; ++style) {
          auto view = next();
          TovxGradientFill fill;
          // Three steps from start to end keep the golden short.
          fill.SetStartColor(ovx::RgbColor(100, 100, 100));
          fill.SetEndColor(ovx::RgbColor(103, 101, 100));
          fill.SetGradientStyle(static_cast<TovxGradientStyle>(style));
          view->SetFill(fill);
          page.WriteView(*view);
        }
        for (int orientation = 0; orientation < 4; ++orientation) {
          auto view = next();
          TovxGlassFill fill;
          fill.SetColor(clNavy);
          fill.SetHatch(orientation == 0);
          fill.SetOrientation(static_cast<TovxFillOrientation>(orientation));
          view->SetFill(fill);
          page.WriteView(*view);
        }
      },
      {}, 400, 30);
  ExpectContentGolden(QStringLiteral("fills.txt"), content);
}

TEST(PdfContent, AGradientOfOneColourIsOneSolidFill) {
  for (int style = 0; style < 6; ++style) {
    const QByteArray content = PageContent([&](PdfPageContent& page) {
      auto view = std::make_unique<TovxView>();
      view->SetBounds(10, 10, 80, 40);
      TovxGradientFill fill;
      fill.SetStartColor(clTeal);
      fill.SetEndColor(clTeal);
      fill.SetGradientStyle(static_cast<TovxGradientStyle>(style));
      view->SetFill(fill);
      page.WriteView(*view);
    });
    EXPECT_EQ(content.count(" re f"), 1) << style << content.constData();
    EXPECT_EQ(content.count(" S"), 0) << style;
    ExpectOnlyFiniteNumbers(content);
  }
}

// --- frames, lines and shapes ---------------------------------------------------------------

TEST(PdfContent, FramesGolden) {
  const QByteArray content = PageContent(
      [](PdfPageContent& page) {
        double x = 5;
        for (int style = 0; style < 8; ++style) {
          auto view = std::make_unique<TovxView>();
          view->SetBounds(x, 5, 25, 15);
          x += 30;
          view->Frame().SetTyp({TovxFrameType::ftLeft, TovxFrameType::ftRight, TovxFrameType::ftTop,
                                TovxFrameType::ftBottom});
          view->Frame().SetStyle(static_cast<TovxFrameStyle>(style));
          view->Frame().SetWidth(style == 5 ? 1.5 : 2);
          view->Frame().SetColor(clMaroon);
          page.WriteView(*view);
        }
        // Lines of their own colour and width, one side missing, a shadow.
        auto view = std::make_unique<TovxView>();
        view->SetBounds(5, 30, 40, 20);
        view->Frame().SetTyp({TovxFrameType::ftLeft, TovxFrameType::ftTop, TovxFrameType::ftRight});
        view->Frame().TopLine().SetColor(clGreen);
        view->Frame().TopLine().SetWidth(3);
        view->Frame().RightLine().SetColor(clNone);
        view->Frame().SetDropShadow(true);
        view->Frame().SetShadowWidth(4);
        page.WriteView(*view);
      },
      {}, 260, 60);
  ExpectContentGolden(QStringLiteral("frames.txt"), content);
}

TEST(PdfContent, AFrameWithOnlyTheBottomLineStrokesOneLine) {
  const QByteArray content = PageContent([](PdfPageContent& page) {
    auto view = std::make_unique<TovxView>();
    view->SetBounds(10, 10, 80, 40);
    view->Frame().SetTyp({TovxFrameType::ftBottom});
    page.WriteView(*view);
  });
  EXPECT_EQ(content.count(" l S"), 1) << content.constData();
  // Along the bottom edge (y 75 - 0.25 - 0.75 x 50), from the left to the
  // right edge (x 0.25 + 0.75 x 10 and x 90) less half the width at each
  // free end.
  EXPECT_TRUE(content.contains("8.12 37.25 m 67.38 37.25 l S")) << content.constData();
}

TEST(PdfContent, LinesAndShapesAreStrokedPaths) {
  const QByteArray content = PageContent([](PdfPageContent& page) {
    auto line = std::make_unique<TovxLineView>();
    line->SetBounds(10, 10, 100, 0);
    line->Frame().SetWidth(2);
    line->SetArrowEnd(true);
    line->SetArrowSolid(true);
    page.WriteView(*line);
    for (int kind = 0; kind < 7; ++kind) {
      auto shape = std::make_unique<TovxShapeView>();
      shape->SetBounds(10 + 25 * kind, 30, 20, 20);
      shape->SetShape(static_cast<TovxShapeKind>(kind));
      shape->SetColor(clAqua);
      page.WriteView(*shape);
    }
  });
  // The line, the arrow head (filled and outlined) and seven outlines.
  EXPECT_TRUE(content.contains("1.50 w 2 J 0 0 0 RG")) << content.constData();
  EXPECT_EQ(content.count(" h B"), 1);
  EXPECT_EQ(content.count("S\r\n"), 7 + 1);
  // The five closed shapes are filled; the diagonals are not.
  EXPECT_EQ(content.count("0.00 1.00 1.00 rg\r\n"), 5);
}

// --- raster views and links ----------------------------------------------------------------

TEST(PdfContent, PicturesAreImagesWithTheirFrameAsVectorLines) {
  QImage image(40, 20, QImage::Format_RGB32);
  image.fill(Qt::green);
  QByteArray png;
  {
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
  }
  MemoryStream out;
  PdfDocument document(out, test::PlainOptions());
  PdfPageContent content(document, {});
  document.Begin();
  content.BeginPage(200, 100, 5, 5, 0);
  TovxPictureView view;
  view.SetBounds(10, 10, 40, 20);
  ASSERT_TRUE(view.Picture().LoadFromData(png));
  view.Frame().SetTyp({TovxFrameType::ftLeft, TovxFrameType::ftRight, TovxFrameType::ftTop,
                       TovxFrameType::ftBottom});
  view.Frame().SetWidth(2);
  view.Frame().SetColor(clRed);
  content.WriteView(view);
  const QByteArray page = document.Content();
  content.EndPage();
  document.Finish();

  EXPECT_TRUE(page.contains("/Im0 Do")) << page.constData();
  EXPECT_EQ(page.count("1.50 w 2 J 1.00 0.00 0.00 RG"), 4);
  // The frame's width is the view's again.
  EXPECT_EQ(view.Frame().Width(), 2);
  // The image itself is all picture: no red frame in it.
  const QByteArray pdf = out.Data();
  const qsizetype stream = pdf.indexOf("stream\r\n", pdf.indexOf("/Subtype /Image")) + 8;
  const qsizetype end = pdf.indexOf("\nendstream", stream);
  const QImage jpeg = QImage::fromData(pdf.mid(stream, end - stream), "JPEG");
  ASSERT_FALSE(jpeg.isNull());
  EXPECT_EQ(jpeg.size(), QSize(41, 21));
  for (const QPoint p : {QPoint(0, 0), QPoint(20, 0), QPoint(0, 10), QPoint(39, 19)}) {
    const QColor c = jpeg.pixelColor(p);
    EXPECT_LT(c.red(), 100) << p.x() << "," << p.y();
    EXPECT_GT(c.green(), 180) << p.x() << "," << p.y();
  }
}

TEST(PdfContent, HyperlinksBecomeLinkAnnotationsOverTheirView) {
  PdfContentSettings settings;
  settings.page_exported = [](int page) { return page != 5; };
  settings.find_anchor = [](const QString& name) -> std::optional<std::pair<int, double>> {
    if (name == u"there") return std::make_pair(0, 30.0);
    return std::nullopt;
  };
  const QByteArray pdf = test::WriteDocument(
      test::PlainOptions(),
      [](PdfDocument&, PdfPageContent& page) {
        page.BeginPage(200, 100, 5, 5, 0);
        struct Link {
          TovxHyperlinkKind kind;
          const char* value;
        } links[] = {{TovxHyperlinkKind::hkURL, " http://example.org/a\\b "},
                     {TovxHyperlinkKind::hkAnchor, "there"},
                     {TovxHyperlinkKind::hkAnchor, "nowhere"},
                     {TovxHyperlinkKind::hkPageNumber, "1"},
                     {TovxHyperlinkKind::hkPageNumber, "6"},  // not exported
                     {TovxHyperlinkKind::hkPageNumber, "x"},
                     {TovxHyperlinkKind::hkDetailPage, "Page2"}};
        double top = 5;
        for (const Link& link : links) {
          auto view = std::make_unique<TovxView>();
          view->SetBounds(10, top, 40, 10);
          top += 12;
          view->Hyperlink().SetKind(link.kind);
          view->Hyperlink().SetValue(QString::fromLatin1(link.value));
          page.WriteView(*view);
        }
        page.EndPage();
      },
      settings);
  EXPECT_EQ(pdf.count("/Subtype /Link"), 3) << pdf.constData();
  EXPECT_TRUE(pdf.contains("/Rect [7.75 63.50 37.75 71.00]"));
  EXPECT_TRUE(pdf.contains("/URI (http://example.org/a\\\\b)"));
  EXPECT_TRUE(pdf.contains("/XYZ null 52.50 null]"));
  EXPECT_TRUE(pdf.contains("/XYZ null 75.00 null]"));
}

}  // namespace
}  // namespace ovx
