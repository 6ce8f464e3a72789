// The drawing classes scripts reach without a window system: TFont (the
// font record every report object carries, so a font a script makes can
// be assigned to a report object's font), TPen and TBrush as plain values,
// the colour identifiers (clRed, clWindowText, ...) and the font style,
// pitch, pen and brush enumerations.
//
// TFont is the class the property metadata describes (base/font.h): the
// report module registers the same metadata, and whichever module runs
// first registers it, once, so scripts never meet two classes of that name.
// Canvases, pictures and metafiles are not reachable from scripts here:
// report objects draw through the render module, never through a canvas a
// script holds.
#pragma once

class TksScript;

namespace ovx {

// Appends the module to the RTTI module list, once; call at start-up after
// RegisterClassesModule.
void RegisterGraphicsModule();
// The registrations themselves, for a module list of one's own.
void RegisterGraphics(TksScript& script);

}  // namespace ovx
