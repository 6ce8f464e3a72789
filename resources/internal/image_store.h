// The lazily drawn image lists of TovxResources.
#pragma once

#include "resources/image_list.h"
#include "resources/resources.h"

#include <mutex>

struct TovxResources::Images {
  template <typename Draw>
  const ovx::ImageList& Get(std::once_flag& once, ovx::ImageList& list, int cell_size, Draw draw) {
    std::call_once(once, [&] { list = ovx::ImageList(cell_size, draw()); });
    return list;
  }

  std::once_flag designer_once, greyed_once, object_once, preview_once, wizard_once;
  ovx::ImageList designer, greyed, objects, preview, wizards;
};
