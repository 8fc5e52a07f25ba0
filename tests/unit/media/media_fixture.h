// A media folder and a Downloads folder in a fresh temporary folder, a
// server context that names them, and the means to run a media handler over
// a loopback connection.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "http/server_context.h"
#include "platform/file_text.h"
#include "platform/files.h"
#include "platform/net.h"
#include "support/socket_capture.h"
#include "support/temp_dir.h"

class MediaFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    // Socket pairs need the socket library on Windows, whatever ran before.
    ASSERT_TRUE(platform::net_startup());
    media_ = dir_ / u"media";
    ASSERT_TRUE(platform::create_folder(media_));
    context_.folders.media = media_;
    context_.folders.downloads = dir_ / u"Downloads";
  }

  static std::string read(const std::u16string& path) { return platform_test::read_text(path); }
  static bool exists(const std::u16string& path) {
    return platform::file_attributes(path) != platform::kInvalidAttributes;
  }
  std::u16string item(const std::u16string& project, const std::u16string& id) const {
    return media_ + u"\\" + project + u"\\" + id;
  }

  // Runs `handler(socket)` with `late` already sent by the client, and
  // returns every byte of the answer.
  template <class Handler>
  static std::string run(Handler handler, const std::string& late = "") {
    SocketCapture cap;
    if (!late.empty()) cap.send_from_client(late);
    cap.start_reading();
    handler(cap.server.get());
    return cap.finish();
  }

  // Runs the handler after the client sent `late` and then went away: the
  // body breaks off there. Returns nothing, since no answer can arrive.
  template <class Handler>
  static void run_broken_off(Handler handler, const std::string& late) {
    SocketCapture cap;
    if (!late.empty()) cap.send_from_client(late);
    cap.client.reset();
    handler(cap.server.get());
  }

  static std::string simple(const std::string& status, const std::string& type, const std::string& body) {
    return "HTTP/1.1 " + status + "\r\nContent-Type: " + type + "\r\nContent-Length: " +
           std::to_string(body.size()) +
           "\r\nCache-Control: no-cache\r\nConnection: close\r\nAccess-Control-Allow-Origin: *\r\n\r\n" + body;
  }

  TempDir dir_;
  std::u16string media_;
  ServerContext context_;
};
