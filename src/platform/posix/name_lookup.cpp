#include "platform/posix/name_lookup.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>

#include "platform/threads.h"

namespace platform::posix {
namespace {

// What the caller and the lookup thread share; the last of the two to be
// done with it frees it, so a caller that gave up leaves nothing dangling.
struct Pending {
  std::string host;
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  int code = 0;
  std::vector<std::string> addresses;
};

std::vector<std::string> numeric_addresses(const addrinfo* list) {
  std::vector<std::string> out;
  for (const addrinfo* a = list; a; a = a->ai_next) {
    char text[INET6_ADDRSTRLEN] = {};
    const void* raw = nullptr;
    if (a->ai_family == AF_INET) raw = &reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr;
    if (a->ai_family == AF_INET6) raw = &reinterpret_cast<const sockaddr_in6*>(a->ai_addr)->sin6_addr;
    if (!raw || !::inet_ntop(a->ai_family, raw, text, sizeof text)) continue;
    if (std::find(out.begin(), out.end(), text) == out.end()) out.emplace_back(text);
  }
  return out;
}

void run_lookup(void* arg) {
  std::unique_ptr<std::shared_ptr<Pending>> own(static_cast<std::shared_ptr<Pending>*>(arg));
  Pending& p = **own;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  const int code = ::getaddrinfo(p.host.c_str(), nullptr, &hints, &list);
  std::vector<std::string> addresses;
  if (code == 0) {
    addresses = numeric_addresses(list);
    ::freeaddrinfo(list);
  }
  {
    std::lock_guard<std::mutex> lock(p.mutex);
    p.code = code;
    p.addresses = std::move(addresses);
    p.done = true;
  }
  p.ended.notify_all();
}

// Resolver answers that mean no connection can be made to the name: it has
// no address, or no resolver could be asked.
bool means_not_found(int code) {
  return code == EAI_NONAME || code == EAI_AGAIN || code == EAI_FAIL
#ifdef EAI_NODATA
         || code == EAI_NODATA
#endif
#ifdef EAI_ADDRFAMILY
         || code == EAI_ADDRFAMILY
#endif
      ;
}

}  // namespace

Lookup look_up_host(const std::string& host, std::uint32_t timeout_ms, std::uint32_t poll_ms,
                    const std::function<bool()>& keep_waiting) {
  Lookup result;
  std::shared_ptr<Pending> pending(new (std::nothrow) Pending);
  auto* handed = pending ? new (std::nothrow) std::shared_ptr<Pending>(pending) : nullptr;
  if (!handed) return result;
  pending->host = host;
  if (!start_detached_thread(run_lookup, handed, 0)) {
    delete handed;
    return result;
  }
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  const auto poll = std::chrono::milliseconds(poll_ms == 0 ? 1 : poll_ms);
  std::unique_lock<std::mutex> lock(pending->mutex);
  while (!pending->done) {
    auto wake = Clock::now() + poll;
    if (timeout_ms != 0) {
      if (Clock::now() >= deadline) {
        result.outcome = LookupOutcome::gave_up;
        return result;
      }
      wake = std::min(wake, deadline);
    }
    pending->ended.wait_until(lock, wake);
    if (pending->done) break;
    if (keep_waiting) {
      lock.unlock();
      const bool go_on = keep_waiting();
      lock.lock();
      if (!go_on && !pending->done) {
        result.outcome = LookupOutcome::gave_up;
        return result;
      }
    }
  }
  if (pending->code == 0 && !pending->addresses.empty()) {
    result.outcome = LookupOutcome::found;
    result.addresses = std::move(pending->addresses);
  } else if (means_not_found(pending->code)) {
    result.outcome = LookupOutcome::not_found;
  }
  return result;
}

std::string resolve_entry(const std::string& host, std::uint16_t port, const std::vector<std::string>& addresses) {
  std::string entry = host + ":" + std::to_string(port) + ":";
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    if (i) entry += ',';
    const bool v6 = addresses[i].find(':') != std::string::npos;
    entry += v6 ? "[" + addresses[i] + "]" : addresses[i];
  }
  return entry;
}

}  // namespace platform::posix
