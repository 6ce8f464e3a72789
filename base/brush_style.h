// How an area is filled: a solid colour, nothing, or a hatch pattern.
//
// Published by fills (Fill.Style) and used by every drawing surface, hence
// its place below both.
#pragma once

#include "base/meta_class.h"

OVX_ENUM(TovxBrushStyle, bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal,
         bsCross, bsDiagCross)
