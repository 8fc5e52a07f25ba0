#include "update/update_offer.h"

#include "base/event_log.h"
#include "platform/ui.h"
#include "update/download_window.h"
#include "update/update_check.h"
#include "update/update_install.h"
#include "update/update_messages.h"

namespace {

constexpr std::size_t kOfferTextUnits = 255;  // a 256-unit buffer with its terminator

}  // namespace

std::u16string format_update_offer(std::string_view latest_name) {
  std::u16string text = u"Hay una versión nueva de Vesklar (";
  if (latest_name.empty()) {
    text += u'?';
  } else {
    // The name is 8-bit text; each byte is shown as the character it codes
    // in Latin-1.
    for (unsigned char c : latest_name) text += char16_t(c);
  }
  text += u").\nSe descarga, se instala y se vuelve a abrir.";
  if (text.size() > kOfferTextUnits) text.resize(kOfferTextUnits);
  return text;
}

bool offer_update(bool check_ok, const LatestVersion& latest, std::int32_t current, const OfferActions& actions) {
  if (!check_ok || latest.number <= current) return false;
  if (!actions.ask(format_update_offer(latest.name))) return false;
  if (actions.install()) return true;
  actions.warn(kUpdateFailed);
  return false;
}

bool offer_update_at_startup(const ServerContext& context) {
  LatestVersion latest;
  const bool ok = check_for_update(latest_version_store(), &latest);
  base::log_event("update_check", {"at=startup ", update_check_result(ok, latest, context.version.number)});
  OfferActions actions;
  actions.ask = [](std::u16string_view text) {
    return platform::message_box(kUpdateOfferCaption, text, platform::BoxIcon::information,
                                 platform::BoxButtons::yes_no) == platform::BoxAnswer::yes;
  };
  // Only here, at start-up, does the download show a window of its own; the
  // page shows the progress of the downloads it starts.
  bool cancelled = false;
  actions.install = [&] {
    const WatchedHandoff outcome = handoff_with_progress_window(latest, context.folders.exe);
    cancelled = outcome.cancelled;
    return outcome.started;
  };
  // The user who cancelled knows; start-up just goes on.
  actions.warn = [&cancelled](std::u16string_view text) {
    if (!cancelled)
      platform::message_box(kUpdateCaption, text, platform::BoxIcon::warning, platform::BoxButtons::ok);
  };
  return offer_update(ok, latest, context.version.number, actions);
}
