// The accept thread and the per-connection workers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "http/server_context.h"
#include "platform/handle.h"
#include "platform/net.h"

inline constexpr std::size_t kHeadBufferBytes = 65536;  // at most 65,535 received
// After a failed accept that passes by itself, the next try waits this long.
inline constexpr std::uint32_t kAcceptRetryDelayMs = 50;

// The stack of a worker thread, sized for the deepest road a request takes:
// a 64 KiB buffer on the stack while a file is copied to the socket or a
// body to a file (16 KiB while a body is drained), the handler frames above
// it, and the C library and the TLS code of the update check below it.
// Measured: about 7 KiB for a file sent by the zero-copy call or a page,
// 67 KiB for the copying loop and for an upload, so this leaves more than
// seven times the deepest road. The sanitizers' run-time adds its own use
// in every intercepted call; their builds get room to spare.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr std::size_t kWorkerStackBytes = std::size_t(4) << 20;
#else
inline constexpr std::size_t kWorkerStackBytes = std::size_t(512) << 10;
#endif
// Threads that wait for the next connection once theirs is served. A page
// load opens a handful of connections at once; 64, the listen backlog, covers
// bursts far beyond that. A thread parked this long without work ends.
inline constexpr std::size_t kMaxParkedWorkers = 64;
inline constexpr std::uint32_t kParkedWorkerIdleMs = 30000;
// At the end, `accept_loop` waits this long at most for the parked threads
// and the last one accepting to leave (they only have to wake up and return),
// and for threads that finish a connection meanwhile, which leave too.
inline constexpr std::uint32_t kDismissParkedWaitMs = 200;

// Accepts connections until `context->lifecycle.running` is cleared or the
// listener is closed, and returns then. Each connection is served by the
// worker thread that accepted it, for its whole life; before serving, that
// thread hands accepting on to another (a parked one when there is one,
// otherwise a new one), so accepting never waits for a request. Never closes
// the listener. Every connection keeps a share of the context until its
// worker is done with it.
void accept_loop(std::shared_ptr<ServerContext> context, platform::NativeHandle listener);

// How many worker threads the listener has started so far, the one
// accepting included (diagnostics and tests: with parked threads reused, far
// fewer than connections).
std::size_t worker_threads_started();
// How many of them are parked right now, waiting to take over accepting.
std::size_t worker_threads_parked();
// How many of them have not ended yet, serving, accepting or parked. After
// `accept_loop` has returned, 0 means that none is left and none will come.
std::size_t worker_threads_live();

// A worker's whole life: read the head, parse, route, close. Owns `socket`.
void handle_connection(ServerContext& context, platform::Socket socket);
