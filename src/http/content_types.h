// Content types and the asset test for site files, by the extension: the
// text from the last '.' of the whole joined path, compared ignoring case.
// The path below the site folder gives the same answer: a dot further left
// yields a text with a backslash, which matches nothing.
#pragma once

#include <string_view>

// One of the fixed types; "application/octet-stream" when nothing matches.
const char* content_type_for_path(std::string_view path);
// True for extensions whose files must exist (missing ones get 404, not the page).
bool is_asset_path(std::string_view path);
