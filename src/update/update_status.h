// The answers of the update endpoint.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "update/latest_version.h"

inline constexpr std::size_t kStatusDocumentBytes = 320;  // terminator included

inline constexpr char kPostNotAvailable[] = "{\"available\":false}";
inline constexpr char kPostStarted[] = "{\"available\":true,\"started\":true}";
inline constexpr char kPostFailed[] = "{\"available\":true,\"started\":false}";

// A JSON string body: '\\' doubled, bytes below 0x20 as \u00XX, everything
// else (a name never holds a double quote) as it is.
std::string json_escape_name(std::string_view name);

// {"current":…,"latest":…,"name":"…","available":…,"checked":…}. `check_ok`
// is the result of this request's check and `latest` the fields as it left
// them; without a successful check "latest" repeats the current number.
// "name" is the latest name when there is one, else the current name.
// "checked" is `manifest_read`: whether the check got a manifest to scan, so
// the page can tell "up to date" from "could not check". It comes last so
// that every earlier member keeps its place and bytes.
std::string format_status_document(bool check_ok, bool manifest_read, const LatestVersion& latest,
                                   std::int32_t current_number, std::string_view current_name);
