// How a memo's text is placed in its rectangle; published by memo views and
// read by the text layout.
#pragma once

#include "base/meta_class.h"

OVX_ENUM(TovxHAlign, haLeft, haRight, haCenter, haBlock)
OVX_ENUM(TovxVAlign, vaTop, vaBottom, vaCenter)
OVX_ENUM(TovxUnderlinesTextMode, ulmNone, ulmUnderlinesAll, ulmUnderlinesText,
         ulmUnderlinesTextAndEmptyLines)
