#pragma once

#include <cstdint>

// The process entry procedure: start-up, serving, shutdown. Its result is
// the exit code: 0 for a normal end, a second instance or an update
// hand-off; 1 for any start-up failure.
int launcher_main();

// The main thread's poll: true once `now` is at or past `deadline` on the
// wrapping 32-bit tick counter.
constexpr bool deadline_reached(std::uint32_t now, std::uint32_t deadline) {
  return static_cast<std::int32_t>(now - deadline) >= 0;
}

// Whether the process ends now: a quit is pending, its grace time has
// passed, and no announced page is open.
constexpr bool quit_due(std::uint32_t now, std::uint32_t deadline, bool pages_open) {
  return deadline != 0 && deadline_reached(now, deadline) && !pages_open;
}
