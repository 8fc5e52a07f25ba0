#include "http/content_types.h"

#include <type_traits>

#include "base/bounded_format.h"

namespace {

struct TypeEntry {
  std::u16string_view extension;
  const char* type;
};

constexpr char kOctetStream[] = "application/octet-stream";

constexpr TypeEntry kTypes[] = {
    {u".html", "text/html; charset=utf-8"},
    {u".js", "application/javascript; charset=utf-8"},
    {u".css", "text/css; charset=utf-8"},
    {u".json", "application/json"},
    {u".svg", "image/svg+xml"},
    {u".png", "image/png"},
    {u".jpg", "image/jpeg"},
    {u".jpeg", "image/jpeg"},
    {u".webp", "image/webp"},
    {u".gif", "image/gif"},
    {u".mp4", "video/mp4"},
    {u".webm", "video/webm"},
    {u".mp3", "audio/mpeg"},
    {u".wav", "audio/wav"},
    {u".m4a", "audio/mp4"},
    {u".woff2", "font/woff2"},
    {u".ttf", "font/ttf"},
    {u".wasm", "application/wasm"},
    {u".ico", "image/x-icon"},
};

constexpr std::u16string_view kAssets[] = {
    u".js",  u".css",   u".png",  u".jpg",  u".jpeg", u".webp", u".svg", u".mp4", u".webm",
    u".woff2", u".wasm", u".json", u".ico", u".map",  u".gif",  u".mp3", u".wav", u".ttf",
};

// From the last dot to the end; empty when there is no dot. A dot inside a
// folder name yields a text with a backslash, which matches nothing.
template <class Char>
std::basic_string_view<Char> extension_of(std::basic_string_view<Char> path) {
  const auto dot = path.rfind(Char('.'));
  return dot == std::basic_string_view<Char>::npos ? std::basic_string_view<Char>() : path.substr(dot);
}

// ASCII case ignored; a byte or unit above ASCII never matches a table entry.
template <class Char>
bool same_extension(std::basic_string_view<Char> ext, std::u16string_view entry) {
  if (ext.size() != entry.size()) return false;
  for (std::size_t i = 0; i < ext.size(); ++i) {
    const auto unit = static_cast<std::make_unsigned_t<Char>>(ext[i]);
    if (unit >= 0x80 || base::ascii_lower(char16_t(unit)) != base::ascii_lower(entry[i])) return false;
  }
  return true;
}

template <class Char>
const char* type_for(std::basic_string_view<Char> path) {
  const auto ext = extension_of(path);
  if (ext.empty()) return kOctetStream;
  for (const auto& entry : kTypes)
    if (same_extension(ext, entry.extension)) return entry.type;
  return kOctetStream;
}

template <class Char>
bool is_asset(std::basic_string_view<Char> path) {
  const auto ext = extension_of(path);
  if (ext.empty()) return false;
  for (const auto asset : kAssets)
    if (same_extension(ext, asset)) return true;
  return false;
}

}  // namespace

const char* content_type_for_path(std::u16string_view joined_path) { return type_for(joined_path); }
const char* content_type_for_path(std::string_view path) { return type_for(path); }

bool is_asset_path(std::u16string_view joined_path) { return is_asset(joined_path); }
bool is_asset_path(std::string_view path) { return is_asset(path); }
