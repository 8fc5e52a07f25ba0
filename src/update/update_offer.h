// The start-up offer, split from its effects so its decisions can be tested.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "http/server_context.h"
#include "update/latest_version.h"

// The question: the latest version name, or "?" when the manifest gave none.
std::u16string format_update_offer(std::string_view latest_name);

struct OfferActions {
  std::function<bool(std::u16string_view text)> ask;   // true only for Yes
  std::function<bool()> install;                        // the hand-off
  std::function<void(std::u16string_view text)> warn;   // the failure notice
};

// Offers the update when the check succeeded and `latest` is strictly newer
// than `current`; true when the installer took over and the process must
// end now (code 0), false when start-up goes on.
bool offer_update(bool check_ok, const LatestVersion& latest, std::int32_t current, const OfferActions& actions);

// Start-up: checks for an update and offers it with message boxes, the
// installer unpacking into the context's program folder. True when the
// installer has started and the process must end.
bool offer_update_at_startup(const ServerContext& context);
