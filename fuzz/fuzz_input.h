// Shared helpers for fuzz entry points: turn raw bytes into the
// 0-terminated texts the code under test expects, and stop loudly when an
// invariant breaks.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

inline std::string fuzz_text(const std::uint8_t* data, std::size_t size, std::size_t limit) {
  std::string text(reinterpret_cast<const char*>(data), size < limit ? size : limit);
  return text;
}

#define FUZZ_CHECK(cond)                                                   \
  do {                                                                     \
    if (!(cond)) {                                                         \
      std::fprintf(stderr, "invariant failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
      std::abort();                                                        \
    }                                                                      \
  } while (0)
