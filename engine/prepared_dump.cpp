// The readable account of a prepared report used by op3dump and the tests.
#include "engine/prepared_dump.h"

#include "base/number_format.h"
#include "engine/preview_pages.h"
#include "report/model/memo_view.h"
#include "report/model/page.h"
#include "report/storage/xml_item.h"

namespace ovx {
namespace {

QByteArray Number(double value) { return FormatFloat(value).toUtf8(); }

void DumpItems(const TovxXMLItem& item, int depth, QByteArray& out) {
  for (int i = 0; i < item.Count(); ++i) {
    const TovxXMLItem& child = *item.Items(i);
    out +=
        QByteArray(depth * 2, ' ') + "item " + child.Name() + " [" + child.Text().trimmed() + "]\n";
    DumpItems(child, depth + 1, out);
  }
}

}  // namespace

QByteArray DumpPreparedPages(TovxPreviewPages& pages, int first, int last) {
  QByteArray out;
  if (last < 0 || last >= pages.Count()) last = pages.Count() - 1;
  out += "pages " + QByteArray::number(pages.Count()) + '\n';
  for (int i = std::max(first, 0); i <= last; ++i) {
    const QSize size = pages.GetPageSize(i);
    TovxXMLItem* item = pages.PageItem(i);
    if (!item) {
      out += "page " + QByteArray::number(i) + " damaged\n";
      continue;
    }
    out += "page " + QByteArray::number(i) + ' ' + item->Name() + ' ' +
           QByteArray::number(size.width()) + 'x' + QByteArray::number(size.height()) + '\n';
    DumpItems(*item, 1, out);
    const TovxReportPage* page = pages.GetPage(i);
    if (!page) continue;
    out += "  rebuilt " + page->Name().toUtf8() + " orientation " +
           QByteArray::number(static_cast<int>(page->Orientation())) + '\n';
    for (const TovxComponent* object : page->AllObjects()) {
      out += "  " + object->GetMetaClass().ClassName().toUtf8() + ' ' + object->Name().toUtf8() +
             " l=" + Number(object->Left()) + " t=" + Number(object->Top()) +
             " w=" + Number(object->Width()) + " h=" + Number(object->Height());
      if (const auto* memo = dynamic_cast<const TovxCustomMemoView*>(object)) {
        out += " text=\"" + memo->Text().toUtf8() + "\" font=" + memo->Font().Name().toUtf8() +
               ',' + QByteArray::number(memo->Font().Size());
      }
      out += '\n';
    }
  }
  return out;
}

}  // namespace ovx
