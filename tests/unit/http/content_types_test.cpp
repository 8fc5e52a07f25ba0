#include "http/content_types.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ContentTypes, LastDotOfTheWholeJoinedPathAnyCase) {
  struct Case {
    const char16_t* path;
    const char* type;
    bool asset;
  };
  const Case cases[] = {
      {u"C:\\app\\www\\app.min.js", "application/javascript; charset=utf-8", true},
      {u"C:\\app\\www\\APP.JS", "application/javascript; charset=utf-8", true},
      {u"C:\\app\\www\\photo.JPEG", "image/jpeg", true},
      {u"C:\\app\\www\\icon.ico", "image/x-icon", true},
      {u"C:\\app\\www\\README", "application/octet-stream", false},
      {u"C:\\app\\www\\archive.tar.gz", "application/octet-stream", false},
      {u"C:\\app\\www\\build.2\\data", "application/octet-stream", false},
      {u"C:\\app.v2\\www\\data", "application/octet-stream", false},
      {u"C:\\app\\www\\styles.map", "application/octet-stream", true},
      {u"C:\\app\\www\\clip.m4a", "audio/mp4", false},
      {u"C:\\app\\www\\page.html", "text/html; charset=utf-8", false},
      {u"C:\\app\\www\\page.htm", "application/octet-stream", false},
      {u"C:\\app\\www\\notes.txt", "application/octet-stream", false},
      {u"C:\\app\\www\\f.woff", "application/octet-stream", false},
      {u"C:\\app\\www\\f.woff2", "font/woff2", true},
      {u"C:\\app\\www\\a.css", "text/css; charset=utf-8", true},
      {u"C:\\app\\www\\a.json", "application/json", true},
      {u"C:\\app\\www\\a.svg", "image/svg+xml", true},
      {u"C:\\app\\www\\a.png", "image/png", true},
      {u"C:\\app\\www\\a.jpg", "image/jpeg", true},
      {u"C:\\app\\www\\a.webp", "image/webp", true},
      {u"C:\\app\\www\\a.gif", "image/gif", true},
      {u"C:\\app\\www\\a.mp4", "video/mp4", true},
      {u"C:\\app\\www\\a.webm", "video/webm", true},
      {u"C:\\app\\www\\a.mp3", "audio/mpeg", true},
      {u"C:\\app\\www\\a.wav", "audio/wav", true},
      {u"C:\\app\\www\\a.ttf", "font/ttf", true},
      {u"C:\\app\\www\\a.wasm", "application/wasm", true},
      {u"C:\\app\\www\\a.", "application/octet-stream", false},
      {u"C:\\app\\www\\.js", "application/javascript; charset=utf-8", true},
  };
  for (const auto& c : cases) {
    const std::u16string path(c.path);
    EXPECT_STREQ(content_type_for_path(path), c.type) << std::string(path.begin(), path.end());
    EXPECT_EQ(is_asset_path(path), c.asset) << std::string(path.begin(), path.end());
  }
}

}  // namespace
