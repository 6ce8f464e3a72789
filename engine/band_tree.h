// The band tree of a report page: which bands a run shows where, built
// afresh at every run and kept by the engine, never in the template.
//
// Design: the links between bands (a data band's header, footer, groups
// and nested data bands, a group header's footer) and the cells a
// horizontal band lends to vertical bands live here, keyed by band. The
// template is only read, so a run cannot leave changed owners or links
// behind, whatever way it ends, and a second run finds the same tree.
//
// Bands are ordered by their top (by their left for vertical bands),
// compared as numbers rounded to two decimals, ties kept in page order.
#pragma once

#include <QString>
#include <QStringList>

#include <unordered_map>
#include <unordered_set>
#include <vector>

class TovxBand;
class TovxColumnFooter;
class TovxColumnHeader;
class TovxComponent;
class TovxDataBand;
class TovxDataSet;
class TovxFooter;
class TovxGroupFooter;
class TovxGroupHeader;
class TovxHeader;
class TovxOverlay;
class TovxPageFooter;
class TovxPageHeader;
class TovxReportPage;
class TovxReportSummary;
class TovxReportTitle;

namespace ovx {

struct DataBandLinks {
  TovxHeader* header = nullptr;
  TovxFooter* footer = nullptr;
  // Outermost first.
  std::vector<TovxGroupHeader*> groups;
  std::vector<TovxDataBand*> sub_bands;
};

struct BandTree {
  TovxReportTitle* title = nullptr;
  TovxReportSummary* summary = nullptr;
  TovxPageHeader* page_header = nullptr;
  TovxPageFooter* page_footer = nullptr;
  TovxColumnHeader* column_header = nullptr;
  TovxColumnFooter* column_footer = nullptr;
  TovxOverlay* overlay = nullptr;
  // The data bands of the first level, in page order.
  std::vector<TovxDataBand*> top;
  std::vector<TovxDataBand*> vertical_top;
  std::unordered_map<const TovxDataBand*, DataBandLinks> data;
  std::unordered_map<const TovxGroupHeader*, TovxGroupFooter*> group_footers;
  // The data band a header, footer or group header belongs to.
  std::unordered_map<const TovxBand*, TovxDataBand*> owner;
  // Objects of horizontal bands that lie within a vertical band: the cells
  // that vertical band fills, and the horizontal bands that hold any.
  std::unordered_map<const TovxComponent*, TovxBand*> cells;
  std::unordered_set<const TovxBand*> holds_cells;
  // The cells of each vertical band, in page order.
  std::unordered_map<const TovxBand*, std::vector<TovxComponent*>> cells_of;

  const DataBandLinks& Links(const TovxDataBand* band) const;
  TovxGroupFooter* GroupFooter(const TovxGroupHeader* header) const;
  TovxDataBand* Owner(const TovxBand* band) const;
};

// The text a band-tree error starts with, for a resource name.
using ResourceTextLookup = QString (*)(const QString& name);
// The text of a resource name in the process-wide resource table, so a
// language file the user chose changes the engine's messages too.
QString EngineText(const QString& name);

// Builds the tree of `page`; each problem appends "text name" to `errors`.
void BuildBandTree(const TovxReportPage& page, BandTree& tree, QStringList& errors,
                   ResourceTextLookup text = &EngineText);

// The data set a data band runs over: its own, else its counting data set
// when RowCount is above 0, else none.
TovxDataSet* BandDataSet(TovxDataBand& band);

}  // namespace ovx
