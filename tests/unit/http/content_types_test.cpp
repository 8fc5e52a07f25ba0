#include "http/content_types.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ContentTypes, LastDotOfTheWholeJoinedPathAnyCase) {
  struct Case {
    const char* path;
    const char* type;
    bool asset;
  };
  const Case cases[] = {
      {"C:\\app\\www\\app.min.js", "application/javascript; charset=utf-8", true},
      {"C:\\app\\www\\APP.JS", "application/javascript; charset=utf-8", true},
      {"C:\\app\\www\\photo.JPEG", "image/jpeg", true},
      {"C:\\app\\www\\icon.ico", "image/x-icon", true},
      {"C:\\app\\www\\README", "application/octet-stream", false},
      {"C:\\app\\www\\archive.tar.gz", "application/octet-stream", false},
      {"C:\\app\\www\\build.2\\data", "application/octet-stream", false},
      {"C:\\app.v2\\www\\data", "application/octet-stream", false},
      {"C:\\app\\www\\styles.map", "application/octet-stream", true},
      {"C:\\app\\www\\clip.m4a", "audio/mp4", false},
      {"C:\\app\\www\\page.html", "text/html; charset=utf-8", false},
      {"C:\\app\\www\\page.htm", "application/octet-stream", false},
      {"C:\\app\\www\\notes.txt", "application/octet-stream", false},
      {"C:\\app\\www\\f.woff", "application/octet-stream", false},
      {"C:\\app\\www\\f.woff2", "font/woff2", true},
      {"C:\\app\\www\\a.css", "text/css; charset=utf-8", true},
      {"C:\\app\\www\\a.json", "application/json", true},
      {"C:\\app\\www\\a.svg", "image/svg+xml", true},
      {"C:\\app\\www\\a.png", "image/png", true},
      {"C:\\app\\www\\a.jpg", "image/jpeg", true},
      {"C:\\app\\www\\a.webp", "image/webp", true},
      {"C:\\app\\www\\a.gif", "image/gif", true},
      {"C:\\app\\www\\a.mp4", "video/mp4", true},
      {"C:\\app\\www\\a.webm", "video/webm", true},
      {"C:\\app\\www\\a.mp3", "audio/mpeg", true},
      {"C:\\app\\www\\a.wav", "audio/wav", true},
      {"C:\\app\\www\\a.ttf", "font/ttf", true},
      {"C:\\app\\www\\a.wasm", "application/wasm", true},
      {"C:\\app\\www\\a.", "application/octet-stream", false},
      {"C:\\app\\www\\.js", "application/javascript; charset=utf-8", true},
  };
  for (const auto& c : cases) {
    EXPECT_STREQ(content_type_for_path(c.path), c.type) << c.path;
    EXPECT_EQ(is_asset_path(c.path), c.asset) << c.path;
  }
}

}  // namespace
