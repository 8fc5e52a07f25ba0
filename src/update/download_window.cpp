#include "update/download_window.h"

#include <atomic>
#include <memory>
#include <string>

#include "base/event_log.h"
#include "platform/https.h"
#include "platform/threads.h"
#include "platform/ui.h"
#include "update/update_install.h"
#include "update/update_messages.h"

std::u16string format_download_text(std::string_view latest_name) {
  std::u16string text = kDownloadingPrefix;
  if (latest_name.empty()) {
    text += u'?';
  } else {
    // 8-bit text, each byte shown as the Latin-1 character it codes, as in
    // the question that led here.
    for (unsigned char c : latest_name) text += char16_t(c);
  }
  text += u'\u2026';
  return text;
}

WatchedHandoff handoff_with_progress_window(const LatestVersion& latest, const std::u16string& exe_folder) {
  // Shared with the window's thread, which may set it at any moment.
  auto cancelled = std::make_shared<std::atomic<bool>>(false);
  auto window = std::make_unique<platform::ProgressWindow>(kUpdateOfferCaption, format_download_text(latest.name),
                                                          kDownloadCancelLabel, [cancelled] { *cancelled = true; });
  std::uint32_t last_report = platform::tick_ms();
  bool reported = false;
  std::uint64_t shown_received = 0, shown_total = 0;  // what the window heard last
  DownloadWatch watch;
  watch.progress = [&](std::uint64_t received, std::uint64_t total) {
    const std::uint32_t now = platform::tick_ms();
    const bool complete = total != platform::kHttpsLengthUnknown && received >= total;
    if (!reported || complete || now - last_report >= kProgressReportMs) {
      shown_received = received;
      shown_total = total == platform::kHttpsLengthUnknown ? 0 : total;
      window->set_progress(shown_received, shown_total);
      last_report = now;
      reported = true;
    }
    return !*cancelled;
  };
  // The window goes as soon as the download is over, before the archive
  // check and before any message box.
  watch.ended = [&] { window.reset(); };
  WatchedHandoff outcome;
  outcome.started = download_and_install_update(latest.url, exe_folder, latest.signature, &watch);
  window.reset();
  outcome.cancelled = *cancelled && !outcome.started;
  base::log_event("update_download_window", {outcome.cancelled ? "result=cancelled" : "result=ended",
                                             " shown=", std::to_string(shown_received), "/",
                                             std::to_string(shown_total)});
  return outcome;
}
