// A shared library opened on first use instead of by the loader at start.
//
// libcurl and libcrypto, with the TLS, Kerberos and LDAP libraries that
// libcurl brings along, take about 12 ms to map and set up. Linked in, every
// start paid that before its first answer, although only the update check
// and the update download need them, and a start that cannot find the
// update host's name (no network) needs neither.
#pragma once

#include <dlfcn.h>

namespace platform::posix {

class LoadedLibrary {
 public:
  // Opens `soname` with every symbol bound at once, kept private to its
  // users. A library that cannot be opened binds nothing (below).
  explicit LoadedLibrary(const char* soname) : handle_(::dlopen(soname, RTLD_NOW | RTLD_LOCAL)) {}
  // Never closed: libcurl and OpenSSL register exit handlers and keep
  // global state that other threads may still be using at the end.
  ~LoadedLibrary() = default;
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;

  // Sets `fn` to the function `name`; false (and `fn` null) when the
  // library did not open or lacks it.
  template <class F>
  bool bind(const char* name, F*& fn) {
    void* symbol = handle_ ? ::dlsym(handle_, name) : nullptr;
    fn = reinterpret_cast<F*>(symbol);
    return symbol != nullptr;
  }

 private:
  void* handle_;
};

}  // namespace platform::posix
