// The manifest check: reads "/descargas/version.json" from the update host
// and picks the Windows entry's version, name and archive URL out of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "update/latest_version.h"

// Only this much of the manifest is ever looked at.
inline constexpr std::size_t kManifestBytes = 8191;

// "https://" and the update host, with ":port" when the port is not 443:
// the text every archive URL in the manifest begins with.
std::string update_base_url();

// Scans a manifest text (0-terminated; nothing after a NUL is seen) the way
// the check does. `base_url` is the update host's HTTPS base URL. True when
// an archive URL on the update host containing ".zip" was found; `out` says
// in any case which fields are to be stored and with what.
bool scan_manifest(const char* text, std::string_view base_url, ManifestFindings* out);

// Fetches and scans the manifest and stores what it found in `store`. True
// when the update URL now names an archive on the update host (which says
// nothing of whether it is newer) and, in a program built with an update
// key, the manifest gives that archive a signature. `seen`, when given,
// receives the fields as this check left them; `manifest_read`, when given,
// whether a manifest was fetched and scanned at all (false when the host
// could not be reached or did not answer 200 with a whole body), which is
// what tells "no newer version" from "could not tell". Any thread; holds no
// lock while it waits for the network.
bool check_for_update(LatestVersionStore& store, LatestVersion* seen = nullptr, bool* manifest_read = nullptr);

// The outcome of a check as the log writes it: "result=available latest=12",
// "result=none latest=7" or "result=failed" (the fetch's own line, if any,
// says why).
std::string update_check_result(bool check_ok, const LatestVersion& latest, std::int32_t current);
