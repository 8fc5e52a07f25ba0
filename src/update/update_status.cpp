#include "update/update_status.h"

#include <cstdio>

std::string json_escape_name(std::string_view name) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      out += "\\\\";
    } else if (byte < 0x20) {
      out += "\\u00";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

std::string format_status_document(bool check_ok, bool manifest_read, const LatestVersion& latest,
                                   std::int32_t current_number, std::string_view current_name) {
  const bool available = check_ok && latest.number > current_number;
  const std::string name = json_escape_name(latest.name.empty() ? current_name : std::string_view(latest.name));
  // At most 30 name bytes of 6 each: 269 bytes, inside the buffer.
  char text[kStatusDocumentBytes];
  std::snprintf(text, sizeof text,
                "{\"current\":%d,\"latest\":%d,\"name\":\"%s\",\"available\":%s,\"checked\":%s}",
                int(current_number), int(check_ok ? latest.number : current_number), name.c_str(),
                available ? "true" : "false", manifest_read ? "true" : "false");
  return text;
}
