// Looking the update host's name up before libcurl is loaded, so that a
// start without a network (the name cannot be found) fails its update check
// in a few milliseconds without bringing the TLS stack in at all.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform::posix {

enum class LookupOutcome {
  found,      // `addresses` holds at least one address
  not_found,  // the resolver says the name has no address, or cannot be
              // asked at all (no network): a connection could not be made
  gave_up,    // the time-out passed or `keep_waiting` said stop first
  failed,     // the lookup could not be run here (no thread, no memory):
              // the caller should let its HTTP library try on its own
};

struct Lookup {
  LookupOutcome outcome = LookupOutcome::failed;
  std::vector<std::string> addresses;  // numeric, in the resolver's order
};

// Resolves `host` to stream-socket addresses of any family, as libcurl's own
// resolver does, on a thread of its own so that the caller can stop waiting:
// after `timeout_ms` (0: no limit), or when `keep_waiting`, asked every
// `poll_ms`, returns false. A lookup given up on ends on its thread later
// and frees what it holds; its answer is dropped.
Lookup look_up_host(const std::string& host, std::uint32_t timeout_ms, std::uint32_t poll_ms,
                    const std::function<bool()>& keep_waiting);

// The entry that hands `addresses` to libcurl (CURLOPT_RESOLVE), so that it
// connects to them without asking the resolver a second time:
// "host:port:addr,addr", IPv6 addresses in brackets.
std::string resolve_entry(const std::string& host, std::uint16_t port, const std::vector<std::string>& addresses);

}  // namespace platform::posix
