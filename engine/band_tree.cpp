// The band tree of a report page (see band_tree.h).
#include "engine/band_tree.h"

#include "report/model/band.h"
#include "report/model/data_set.h"
#include "report/model/page.h"
#include "resources/resources.h"

#include <algorithm>
#include <cmath>

namespace ovx {
namespace {

constexpr double kEpsilon = 0.0001;
constexpr int kFirstSortedBand = 4;  // TovxHeader
constexpr int kLastSortedBand = 13;  // TovxGroupFooter

bool IsDataBand(const TovxBand* band) { return dynamic_cast<const TovxDataBand*>(band); }

// Positions as the designer shows them, to two decimals.
double SortKey(const TovxBand& band) {
  const double position = band.Vertical() ? band.Left() : band.Top();
  return std::round(position * 100) / 100;
}

class TreeBuilder {
 public:
  TreeBuilder(BandTree& tree, QStringList& errors, ResourceTextLookup text)
      : tree_(tree), errors_(errors), text_(text) {}

  void Build(std::vector<TovxBand*> bands, bool vertical) {
    std::stable_sort(bands.begin(), bands.end(), [](const TovxBand* a, const TovxBand* b) {
      return SortKey(*a) < SortKey(*b);
    });
    list_ = std::move(bands);
    used_.assign(list_.size(), false);
    AttachGroups();
    AttachHeadersAndFooters();
    for (size_t i = 0; i < list_.size(); ++i) {
      if (!dynamic_cast<TovxMasterData*>(list_[i])) continue;
      auto* master = static_cast<TovxDataBand*>(list_[i]);
      used_[i] = true;
      (vertical ? tree_.vertical_top : tree_.top).push_back(master);
      tree_.data[master];
      Nest(i);
    }
    for (size_t i = 0; i < list_.size(); ++i) {
      if (!used_[i]) Error("enBandPos", *list_[i]);
    }
  }

 private:
  void Error(const char* name, const TovxBand& band) {
    errors_.append(text_(QString::fromLatin1(name)) + u' ' + band.Name());
  }

  void AttachGroups() {
    for (size_t i = 0; i < list_.size(); ++i) {
      if (!dynamic_cast<TovxGroupHeader*>(list_[i])) continue;
      size_t end = i;
      while (end < list_.size() && dynamic_cast<TovxGroupHeader*>(list_[end])) ++end;
      TovxDataBand* data = nullptr;
      for (size_t j = end; j < list_.size() && !data; ++j) {
        if (IsDataBand(list_[j])) data = static_cast<TovxDataBand*>(list_[j]);
      }
      for (size_t j = i; j < end; ++j) {
        auto* header = static_cast<TovxGroupHeader*>(list_[j]);
        if (!data) {
          Error("enUnconnGroup", *header);
          continue;
        }
        used_[j] = true;
        tree_.data[data].groups.push_back(header);
        tree_.owner[header] = data;
      }
      i = end - 1;
    }
    // A footer closes the innermost group before it that is still open.
    for (size_t i = 0; i < list_.size(); ++i) {
      auto* footer = dynamic_cast<TovxGroupFooter*>(list_[i]);
      if (!footer) continue;
      TovxGroupHeader* header = nullptr;
      for (size_t j = i; j-- > 0 && !header;) {
        auto* candidate = dynamic_cast<TovxGroupHeader*>(list_[j]);
        if (candidate && used_[j] && !tree_.group_footers.count(candidate)) header = candidate;
      }
      if (!header) {
        Error("enUnconnGFooter", *footer);
        continue;
      }
      used_[i] = true;
      tree_.group_footers[header] = footer;
    }
  }

  // A data band's header is the nearest band before it and its footer the
  // nearest after it, passing over its own group headers and footers; the
  // footer also passes over the nested data bands with their headers and
  // footers, so the deepest bands choose first.
  void AttachHeadersAndFooters() {
    std::vector<size_t> data_bands;
    for (size_t i = 0; i < list_.size(); ++i) {
      if (IsDataBand(list_[i])) data_bands.push_back(i);
    }
    std::stable_sort(data_bands.begin(), data_bands.end(), [this](size_t a, size_t b) {
      return list_[a]->BandNumber() > list_[b]->BandNumber();
    });
    for (const size_t i : data_bands) {
      auto* data = static_cast<TovxDataBand*>(list_[i]);
      const int level = data->BandNumber();
      const DataBandLinks& links = tree_.data[data];
      const auto own_group = [&](const TovxBand* band) {
        for (TovxGroupHeader* group : links.groups) {
          if (band == group || band == tree_.GroupFooter(group)) return true;
        }
        return false;
      };
      for (size_t j = i; j-- > 0;) {
        if (own_group(list_[j])) continue;
        if (auto* header = dynamic_cast<TovxHeader*>(list_[j]); header && !used_[j]) {
          used_[j] = true;
          tree_.data[data].header = header;
          tree_.owner[header] = data;
        }
        break;
      }
      for (size_t j = i + 1; j < list_.size(); ++j) {
        TovxBand* band = list_[j];
        const bool inner =
            own_group(band) || (IsDataBand(band) && band->BandNumber() > level) ||
            (used_[j] && (dynamic_cast<TovxHeader*>(band) || dynamic_cast<TovxFooter*>(band)));
        if (inner) continue;
        if (auto* footer = dynamic_cast<TovxFooter*>(band); footer && !used_[j]) {
          used_[j] = true;
          tree_.data[data].footer = footer;
          tree_.owner[footer] = data;
        }
        break;
      }
    }
    for (size_t i = 0; i < list_.size(); ++i) {
      if (used_[i]) continue;
      if (dynamic_cast<TovxHeader*>(list_[i]) || dynamic_cast<TovxFooter*>(list_[i])) {
        used_[i] = true;  // reported here, not again as misplaced
        Error("enUnconnHeader", *list_[i]);
      }
    }
  }

  // The data bands one level deeper after list_[parent], up to the first
  // data band of the parent's level or above; answers where that is.
  size_t Nest(size_t parent) {
    auto* band = static_cast<TovxDataBand*>(list_[parent]);
    const int level = band->BandNumber();
    size_t j = parent + 1;
    while (j < list_.size()) {
      if (!IsDataBand(list_[j])) {
        ++j;
        continue;
      }
      const int number = list_[j]->BandNumber();
      if (number <= level) break;
      if (number == level + 1 && !dynamic_cast<TovxDataBand6*>(band)) {
        auto* sub = static_cast<TovxDataBand*>(list_[j]);
        used_[j] = true;
        tree_.data[band].sub_bands.push_back(sub);
        tree_.data[sub];
        j = Nest(j);
      } else {
        ++j;
      }
    }
    return j;
  }

  BandTree& tree_;
  QStringList& errors_;
  ResourceTextLookup text_;
  std::vector<TovxBand*> list_;
  std::vector<bool> used_;
};

bool Within(const TovxComponent& object, const TovxBand& band) {
  return object.Left() >= band.Left() - kEpsilon &&
         object.Left() + object.Width() <= band.Left() + band.Width() + kEpsilon;
}

}  // namespace

const DataBandLinks& BandTree::Links(const TovxDataBand* band) const {
  static const DataBandLinks kNone;
  const auto found = data.find(band);
  return found == data.end() ? kNone : found->second;
}

TovxGroupFooter* BandTree::GroupFooter(const TovxGroupHeader* header) const {
  const auto found = group_footers.find(header);
  return found == group_footers.end() ? nullptr : found->second;
}

TovxDataBand* BandTree::Owner(const TovxBand* band) const {
  const auto found = owner.find(band);
  return found == owner.end() ? nullptr : found->second;
}

QString EngineText(const QString& name) { return TovxResources::Instance().Get(name); }

void BuildBandTree(const TovxReportPage& page, BandTree& tree, QStringList& errors,
                   ResourceTextLookup text) {
  tree = BandTree();
  std::vector<TovxBand*> horizontal;
  std::vector<TovxBand*> vertical;
  std::vector<TovxBand*> vertical_all;
  for (TovxComponent* child : page.Objects()) {
    auto* band = dynamic_cast<TovxBand*>(child);
    if (!band || dynamic_cast<TovxNullBand*>(band)) continue;
    // Single bands: the first of each kind counts.
    if (auto* b = dynamic_cast<TovxReportTitle*>(band)) {
      if (!tree.title) tree.title = b;
    } else if (auto* b = dynamic_cast<TovxReportSummary*>(band)) {
      if (!tree.summary) tree.summary = b;
    } else if (auto* b = dynamic_cast<TovxPageHeader*>(band)) {
      if (!tree.page_header) tree.page_header = b;
    } else if (auto* b = dynamic_cast<TovxPageFooter*>(band)) {
      if (!tree.page_footer) tree.page_footer = b;
    } else if (auto* b = dynamic_cast<TovxColumnHeader*>(band)) {
      if (!tree.column_header) tree.column_header = b;
    } else if (auto* b = dynamic_cast<TovxColumnFooter*>(band)) {
      if (!tree.column_footer) tree.column_footer = b;
    } else if (auto* b = dynamic_cast<TovxOverlay*>(band)) {
      if (!tree.overlay) tree.overlay = b;
    }
    if (band->Vertical()) vertical_all.push_back(band);
    const int number = band->BandNumber();
    if (number < kFirstSortedBand || number > kLastSortedBand) continue;
    if (dynamic_cast<TovxReportTitle*>(band)) continue;
    (band->Vertical() ? vertical : horizontal).push_back(band);
  }
  // Cells of vertical bands: the objects of horizontal bands that lie
  // across a vertical band's width. They stay where they are; the run
  // looks them up here.
  if (!vertical_all.empty()) {
    for (TovxComponent* child : page.Objects()) {
      auto* band = dynamic_cast<TovxBand*>(child);
      if (!band || band->Vertical() || dynamic_cast<TovxOverlay*>(band)) continue;
      for (TovxComponent* object : band->Objects()) {
        for (TovxBand* column : vertical_all) {
          if (!Within(*object, *column)) continue;
          tree.cells[object] = column;
          tree.cells_of[column].push_back(object);
          tree.holds_cells.insert(band);
          break;
        }
      }
    }
  }
  TreeBuilder(tree, errors, text).Build(std::move(horizontal), false);
  TreeBuilder(tree, errors, text).Build(std::move(vertical), true);
}

TovxDataSet* BandDataSet(TovxDataBand& band) {
  if (TovxDataSet* data_set = band.DataSet()) return data_set;
  if (band.RowCount() > 0) return &band.CountingDataSet();
  return nullptr;
}

}  // namespace ovx
