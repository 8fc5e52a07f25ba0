// Content types and the asset test for site files, by the extension: the
// text from the last '.' of the whole joined path, compared ignoring case.
#pragma once

#include <string_view>

// One of the fixed types; "application/octet-stream" when nothing matches.
const char* content_type_for_path(std::u16string_view joined_path);
// True for extensions whose files must exist (missing ones get 404, not the page).
bool is_asset_path(std::u16string_view joined_path);
