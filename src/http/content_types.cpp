#include "http/content_types.h"

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
std::u16string_view extension_of(std::u16string_view path) {
  const auto dot = path.rfind(u'.');
  return dot == std::u16string_view::npos ? std::u16string_view() : path.substr(dot);
}

}  // namespace

const char* content_type_for_path(std::u16string_view joined_path) {
  const auto ext = extension_of(joined_path);
  if (ext.empty()) return kOctetStream;
  for (const auto& entry : kTypes)
    if (base::ascii_iequal(ext, entry.extension)) return entry.type;
  return kOctetStream;
}

bool is_asset_path(std::u16string_view joined_path) {
  const auto ext = extension_of(joined_path);
  if (ext.empty()) return false;
  for (const auto asset : kAssets)
    if (base::ascii_iequal(ext, asset)) return true;
  return false;
}
