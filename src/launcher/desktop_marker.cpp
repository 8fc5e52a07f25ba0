#include "launcher/desktop_marker.h"

#include <cstdint>
#include <string>

#include "platform/files.h"

bool marker_matches(const std::u16string& marker_path, const std::u16string& exe_folder) {
  platform::File f = platform::open_for_read(marker_path);
  if (!f) return false;
  unsigned char bytes[kMarkerReadBytes];
  std::uint32_t got = 0;
  // One read, as much as fits: a marker is written in one piece and anything
  // beyond 259 characters cannot be an exe folder anyway.
  if (!f.read(bytes, sizeof bytes, &got)) got = 0;
  f.close();
  // The bytes are little-endian units whatever this machine's byte order;
  // an odd last byte belongs to no unit.
  std::u16string text;
  for (std::uint32_t i = 0; i + 1 < got; i += 2) {
    const auto unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    if (unit == u'\0') break;  // the text ends at a terminator
    text += unit;
  }
  return text == exe_folder;
}

void write_marker(const std::u16string& marker_path, const std::u16string& exe_folder) {
  platform::File f = platform::create_always(marker_path);
  if (!f) return;
  std::string bytes;
  bytes.reserve(exe_folder.size() * 2);
  for (const char16_t unit : exe_folder) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  std::uint32_t written = 0;
  f.write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &written);
}
