// What the application benchmarks share: the settings of a run over the
// built-in text repeated `repeat` times (engine, export and the private font
// installed, as the program does at start-up), and the process's peak
// resident set size.
#pragma once

#include "app/core/fixed_data.h"
#include "app/core/print_command.h"
#include "engine/engine.h"
#include "export/pdf_export.h"
#include "platform/font_service.h"

#include <sys/resource.h>

namespace ovx::bench {

inline double PeakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

inline ovx::app::PrintSettings RepeatedTextSettings(int repeat) {
  ovx::InstallEngine();
  ovx::InstallExport();
  ovx::FontService::Instance().AddPrivateFont(QStringLiteral(VELMORA_APP_DATA_DIR) +
                                              QStringLiteral("/KaitiVelmora.otf"));
  ovx::app::PrintSettings settings;
  const QStringList body = ovx::app::BodyTextLines();
  for (int i = 0; i < repeat; ++i) settings.body_lines += body;
  settings.title_lines = ovx::app::TitleLines();
  settings.data_directory = QStringLiteral(VELMORA_APP_DATA_DIR);
  return settings;
}

}  // namespace ovx::bench
