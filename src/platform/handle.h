// Owning OS handles: one RAII wrapper for every handle kind the platform
// layer gives out (files, sockets, processes), and the opaque value it holds.
//
// Nothing here calls the OS; each handle kind's header supplies its traits.
#pragma once

#include <cstdint>

namespace platform {

// One RAII owner for every OS handle kind. `Traits` supplies:
//   using value_type = ...;
//   static value_type invalid();
//   static void close(value_type);
template <class Traits>
class UniqueHandle {
 public:
  using value_type = typename Traits::value_type;

  UniqueHandle() noexcept : value_(Traits::invalid()) {}
  explicit UniqueHandle(value_type v) noexcept : value_(v) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());  // closes the old handle first
    return *this;
  }
  ~UniqueHandle() { reset(); }

  bool valid() const noexcept { return value_ != Traits::invalid(); }
  explicit operator bool() const noexcept { return valid(); }
  value_type get() const noexcept { return value_; }
  value_type release() noexcept {
    value_type v = value_;
    value_ = Traits::invalid();
    return v;
  }
  void reset(value_type v = Traits::invalid()) noexcept {
    if (value_ != Traits::invalid()) Traits::close(value_);
    value_ = v;
  }

 private:
  value_type value_;
};

// Opaque handle value used for files, sockets and processes on both systems:
// an intptr_t holds a Win32 HANDLE, a SOCKET and a POSIX descriptor alike.
using NativeHandle = std::intptr_t;
inline constexpr NativeHandle kInvalidNative = -1;

}  // namespace platform
