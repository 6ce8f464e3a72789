// A JSON picture of a report as the print command built it (before any
// preparation): its pages with their paper and every object's geometry,
// font and text (a memo's lines joined with "\n"). Tests and scripts compare
// it; numbers are written unrounded and without the locale, so two runs give
// the same bytes.
#pragma once

#include <QByteArray>

class TovxReport;

namespace ovx::app {

QByteArray DumpReportJson(const TovxReport& report);

}  // namespace ovx::app
