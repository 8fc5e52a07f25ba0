// The start-up download of an update, shown in a progress window that the
// user can cancel.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "update/latest_version.h"

// "Descargando la actualización 1.2.0…", or "?" for a missing name.
std::u16string format_download_text(std::string_view latest_name);

// The window hears of the download at most this often (and once more at the
// end), so a fast download does not flood it.
inline constexpr std::uint32_t kProgressReportMs = 200;

struct WatchedHandoff {
  bool started = false;    // the installer runs; the process must end
  bool cancelled = false;  // the user cancelled the download
};

// Runs the hand-off of the `latest` archive into `exe_folder` with the
// progress window open from the start of the download until its end. A
// cancel stops the download within moments; the hand-off then fails as for
// any failed download (the archive is deleted) and reports `cancelled`.
// Main thread.
WatchedHandoff handoff_with_progress_window(const LatestVersion& latest, const std::u16string& exe_folder);
