// HTTPS GET failures that need no certificate: a peer that does not speak
// TLS, and one that never answers (the time-outs must end the call).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

#include "platform/https.h"
#include "platform/net.h"
#include "platform/threads.h"
#include "support/loopback.h"

namespace {

struct Server {
  platform::Socket listener = platform::tcp_socket();
  std::uint16_t port = 0;
  Server() {
    EXPECT_TRUE(platform::bind_loopback(listener, "127.0.0.1", 0) && platform::listen_on(listener, 4));
    port = test_support::local_port(listener);
  }
};

platform::HttpsResult get(std::uint16_t port, int* sink_calls) {
  const platform::HttpsTimeouts t{300, 300, 300, 300};
  return platform::https_get("127.0.0.1", port, u"/descargas/version.json", u"Vesklar", t,
                             [sink_calls](const char*, std::size_t) {
                               ++*sink_calls;
                               return true;
                             });
}

void answer_in_plain_http(void* p) {
  platform::Socket c = platform::accept_connection(static_cast<Server*>(p)->listener.get());
  const char reply[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nhi";
  platform::send_some(c.get(), reply, sizeof reply - 1);
  char buf[512];
  platform::set_timeouts(c.get(), 2000, 2000);
  while (platform::recv_some(c.get(), buf, sizeof buf) > 0) {
  }
}

TEST(HttpsGet, RefusesAPeerWithoutTls) {
  Server s;
  platform::Thread t = platform::start_thread(answer_in_plain_http, &s);
  int calls = 0;
  const platform::HttpsResult r = get(s.port, &calls);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(calls, 0);
  EXPECT_TRUE(t.wait(10000));
}

TEST(HttpsGet, TimeOutsEndACallToASilentPeer) {
  Server s;  // listens but never accepts: the handshake never gets an answer
  const std::uint32_t start = platform::tick_ms();
  int calls = 0;
  const platform::HttpsResult r = get(s.port, &calls);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(calls, 0);
  EXPECT_LT(platform::tick_ms() - start, 30000u) << "the time-outs were not applied";
}


// libcurl and the TLS libraries under it are loaded only for a host whose
// name was found. The check runs in a fresh process (the threadsafe death
// test style re-executes this binary), since an earlier test in this one may
// well have loaded libcurl already.
[[noreturn]] void get_from_a_reserved_name_and_exit() {
  int calls = 0;
  const platform::HttpsTimeouts t{2000, 2000, 2000, 2000};
  // .invalid names never resolve (RFC 6761).
  const platform::HttpsResult r =
      platform::https_get("updates.vesklar.invalid", 443, u"/descargas/version.json", u"Vesklar", t,
                          [&calls](const char*, std::size_t) { return ++calls > 0; });
  const bool loaded = ::dlopen("libcurl.so.4", RTLD_LAZY | RTLD_NOLOAD) != nullptr;
  std::exit(r.ok || r.status != 0 || calls != 0 ? 2 : loaded ? 3 : 0);
}

TEST(HttpsGet, AHostWithoutAnAddressFailsWithoutLoadingLibcurl) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(get_from_a_reserved_name_and_exit(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
