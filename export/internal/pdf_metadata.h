// Data blocks of PDF/A files: the XMP metadata packet and the sRGB colour
// profile of the output intent.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace ovx::pdf_internal {

struct XmpValues {
  QString title;
  QString author;
  QString subject;
  QString keywords;
  QString creator;  // the creating application (CreatorTool)
  QString producer;
  QByteArray version;  // "1.7"
  QDateTime time;      // creation and modification, UTC
  QByteArray file_id;  // 16 bytes; document and instance id
  int part = 2;        // 0: the packet claims no PDF/A level
  char conformance = 'B';
};

// The packet as UTF-8; every value XML-escaped.
QByteArray XmpPacket(const XmpValues& values);

// An ICC version 2 display profile of sRGB IEC61966-2.1: the standard's
// primaries adapted to D50, its white point and its tone curve sampled in
// 1024 steps. Built in code (about 2.5 KB), so no data file is needed.
QByteArray SrgbIccProfile();

}  // namespace ovx::pdf_internal
