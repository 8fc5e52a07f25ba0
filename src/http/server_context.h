// What the server knows while it runs: built by the launcher at start-up and
// handed down to the accept loop, the router and every handler, which see
// nothing else of the process.
//
// Lifetime. Connection workers are detached: one may still be serving after
// the launcher has finished shutting down (a slow download), and the accept
// thread and parked workers may still be on their way out when the launcher
// returns. So the context is held by shared ownership: the launcher, the
// accept loop and every connection in flight each hold a `shared_ptr`, and
// whoever lets go last frees it. No order of endings can leave a worker with
// a context that is gone, and tests get the same guarantee for free, with a
// context of their own for each test.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "http/open_pages.h"

// The folders of one run. UTF-16, at most 259 characters, no trailing
// backslash. All written by the launcher during start-up, before the accept
// thread exists; read-only afterwards.
struct ServerFolders {
  std::u16string exe;        // the program's own folder: version.txt, the update's target
  std::u16string site;       // exe\www: the pages the server answers with
  std::u16string profile;    // the app window's browser profile
  std::u16string media;      // one folder per project (media/media_store.h)
  std::u16string downloads;  // where saves land (media/export_part.h)
};

// The program's own version as version.txt gives it (update/version.h).
struct VersionIdentity {
  std::int32_t number = 0;  // 0 when version.txt is missing
  std::string name;         // at most 30 bytes; empty when version.txt is missing
};

// The part of the server's state that changes while it runs. Every member
// may be used from any thread.
struct ServerLifecycle {
  // True while the accept loop goes on. Cleared once, by the launcher's main
  // thread at shutdown.
  std::atomic<bool> running{true};
  // Tick value at which the process quits; 0 = no quit pending. Armed and
  // cleared by workers (the router), polled by the launcher's main thread.
  std::atomic<std::uint32_t> quit_deadline{0};
  // The pages that announced themselves and have not said goodbye: recorded
  // by workers (the router), read by the launcher's main thread, which ends
  // the process at the deadline only while none is open. Its own lock.
  OpenPages open_pages;
};

struct ServerContext {
  // Written by the launcher during start-up, before the accept thread
  // exists (starting that thread publishes them); read-only afterwards.
  ServerFolders folders;
  VersionIdentity version;
  // Inserted into every page before its "</head>" (http/page.h).
  std::string bootstrap_script;

  ServerLifecycle lifecycle;
};
