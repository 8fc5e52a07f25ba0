// The test-only socket calls, with the system's socket headers: tests may
// include them, the program's code above src/platform/ may not.
#include "platform/net.h"
#include "support/loopback.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#endif

#include <utility>

namespace test_support {
namespace {

#ifdef _WIN32
using NativeSocket = SOCKET;
using AddressLength = int;
#else
using NativeSocket = int;
using AddressLength = socklen_t;
#endif

NativeSocket native(const platform::Socket& s) { return static_cast<NativeSocket>(s.get()); }

}  // namespace

std::uint16_t local_port(const platform::Socket& s) {
  sockaddr_in addr{};
  AddressLength len = sizeof addr;
  if (::getsockname(native(s), reinterpret_cast<sockaddr*>(&addr), &len) != 0) return 0;
  return ntohs(addr.sin_port);
}

bool connect_loopback(const platform::Socket& s, const char* address, std::uint16_t port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  if (::inet_pton(AF_INET, address, &addr.sin_addr) != 1) return false;
  int rc;
  do {
    rc = ::connect(native(s), reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
#ifdef _WIN32
  } while (false);
#else
  } while (rc != 0 && errno == EINTR);
#endif
  return rc == 0;
}

bool socket_pair(platform::Socket* a, platform::Socket* b) {
  platform::Socket listener = platform::tcp_socket();
  if (!listener || !platform::bind_loopback(listener, "127.0.0.1", 0) || !platform::listen_on(listener, 1)) {
    return false;
  }
  platform::Socket client = platform::tcp_socket();
  if (!client || !connect_loopback(client, "127.0.0.1", local_port(listener))) return false;
  platform::Socket server = platform::accept_connection(listener.get());
  if (!server) return false;
  *a = std::move(client);
  *b = std::move(server);
  return true;
}

}  // namespace test_support
