// The one process-wide record. Written by the main thread during start-up,
// before the accept thread exists (starting that thread publishes it), and
// read-only afterwards except for the fields that say otherwise.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "http/open_pages.h"

struct AppState {
  static constexpr std::size_t kVersionNameBytes = 40;  // at most 30 characters used
  static constexpr std::size_t kBootstrapScriptBytes = 640;
  static constexpr std::size_t kLatestNameBytes = 31;
  static constexpr std::size_t kUpdateUrlUnits = 500;

  // 1 = serve, 0 = stop. Cleared by the main thread at shutdown.
  std::atomic<std::int32_t> server_running{1};
  // Tick value at which the process quits; 0 = no quit pending. Exchanged
  // by workers, polled by the main thread.
  std::atomic<std::uint32_t> quit_deadline{0};
  // The pages that announced themselves and have not said goodbye; the
  // deadline ends the process only while none is open. Its own lock.
  OpenPages open_pages;

  // Folders: UTF-16, at most 259 characters, no trailing backslash.
  std::u16string exe_folder;
  std::u16string site_folder;
  std::u16string profile_folder;
  std::u16string media_folder;
  std::u16string downloads_folder;

  std::int32_t current_version_number = 0;
  char current_version_name[kVersionNameBytes] = {};
  char bootstrap_script[kBootstrapScriptBytes] = {};

  // Rewritten by every update check.
  std::int32_t latest_version_number = 0;
  char latest_version_name[kLatestNameBytes] = {};
  std::u16string update_url;
};

// The process's one instance, never destroyed (see app_state.cpp).
extern AppState& g_app;
