// How the media store lies on disk, and the one rule that turns a
// request-supplied identifier into a folder or file name.
//
//   media folder\project            one folder per project
//   media folder\project\id         the item: the bytes exactly as received
//   ...\id.mime                     its content type, 8-bit, no line end
//   ...\id.tmp                      the body of an upload in progress
//
// Safe names hold only 0-9, A-Z, a-z, '-' and '_', so an item can never be
// taken for a side or staging file and no name can leave the media folder.
#pragma once

#include <cstddef>
#include <string>

// Capacities of the query and path fields that carry identifiers: at most
// 127 raw bytes of each are kept.
inline constexpr std::size_t kIdentifierBytes = 128;
inline constexpr std::size_t kSafeNameChars = 80;
// A recorded content type holds at most 159 bytes.
inline constexpr std::size_t kMimeBytes = 160;
inline constexpr char kDefaultMime[] = "application/octet-stream";

// False for an empty text (`safe` untouched). Otherwise every byte becomes
// one character, those outside the safe set '_', cut after 80 characters; a
// result that Windows takes for a device (NUL, COM1, ...) gets a '_' in
// front, so the same identifier names the same file on every system.
bool sanitize_segment(const char* text, std::u16string* safe);

// Paths under `media_folder` (the context's media folder). Each is false
// (and `out` empty) when the path would not fit in platform::kMaxPathChars.
bool project_folder_path(const std::u16string& media_folder, const std::u16string& project, std::u16string* out);
bool item_file_path(const std::u16string& media_folder, const std::u16string& project, const std::u16string& id,
                    std::u16string* out);
bool side_file_path(const std::u16string& item, std::u16string* out);
bool staging_file_path(const std::u16string& item, std::u16string* out);
