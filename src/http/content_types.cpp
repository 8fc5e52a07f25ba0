#include "http/content_types.h"

#include "base/bounded_format.h"

namespace {

struct TypeEntry {
  std::string_view extension;
  const char* type;
};

constexpr char kOctetStream[] = "application/octet-stream";

constexpr TypeEntry kTypes[] = {
    {".html", "text/html; charset=utf-8"},
    {".js", "application/javascript; charset=utf-8"},
    {".css", "text/css; charset=utf-8"},
    {".json", "application/json"},
    {".svg", "image/svg+xml"},
    {".png", "image/png"},
    {".jpg", "image/jpeg"},
    {".jpeg", "image/jpeg"},
    {".webp", "image/webp"},
    {".gif", "image/gif"},
    {".mp4", "video/mp4"},
    {".webm", "video/webm"},
    {".mp3", "audio/mpeg"},
    {".wav", "audio/wav"},
    {".m4a", "audio/mp4"},
    {".woff2", "font/woff2"},
    {".ttf", "font/ttf"},
    {".wasm", "application/wasm"},
    {".ico", "image/x-icon"},
};

constexpr std::string_view kAssets[] = {
    ".js",  ".css",   ".png",  ".jpg",  ".jpeg", ".webp", ".svg", ".mp4", ".webm",
    ".woff2", ".wasm", ".json", ".ico", ".map",  ".gif",  ".mp3", ".wav", ".ttf",
};

// From the last dot to the end; empty when there is no dot. A dot inside a
// folder name yields a text with a backslash, which matches nothing.
std::string_view extension_of(std::string_view path) {
  const auto dot = path.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : path.substr(dot);
}

}  // namespace

// ASCII case ignored: a byte above ASCII never matches a table entry.
const char* content_type_for_path(std::string_view path) {
  const auto ext = extension_of(path);
  if (ext.empty()) return kOctetStream;
  for (const auto& entry : kTypes)
    if (base::ascii_iequal(ext, entry.extension)) return entry.type;
  return kOctetStream;
}

bool is_asset_path(std::string_view path) {
  const auto ext = extension_of(path);
  if (ext.empty()) return false;
  for (const auto asset : kAssets)
    if (base::ascii_iequal(ext, asset)) return true;
  return false;
}
