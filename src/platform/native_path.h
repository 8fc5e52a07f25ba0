// A file path in the form the system's file calls take, made once and then
// opened as it is: UTF-8 with '/' between components on POSIX, UTF-16 with
// '\\' on Windows. The portable code builds one only through the functions
// below and hands it back to the platform layer untouched; it never looks
// inside.
#pragma once

#include <string>
#include <string_view>

namespace platform {

#if defined(_WIN32)
using NativeChar = char16_t;
#else
using NativeChar = char;
#endif

struct NativePath {
  std::basic_string<NativeChar> text;  // read by the platform layer only

  bool operator==(const NativePath&) const = default;
};

// The native form of a Windows-form path (what every platform call that
// takes a `std::u16string` path does with it on each call).
NativePath native_path(std::u16string_view path);

// `folder` (Windows form), a separator, then `relative`: well-formed UTF-8
// (as `well_formed_utf8` gives it) in Windows form. The same name as
// `native_path(folder + u"\\" + relative converted to UTF-16)`, but on POSIX
// `relative` is copied as it is, never converted.
NativePath native_path(std::u16string_view folder, std::string_view relative);

}  // namespace platform
