// Private helpers of the POSIX layer: the bridge between the Windows-form
// UTF-16 paths of the portable code and the UTF-8 paths of the kernel.
#pragma once

#include <string>
#include <string_view>

namespace platform::posix {

// UTF-8 for the kernel, every backslash turned into '/'.
std::string to_native(std::u16string_view path);

// UTF-16 for the portable code, every '/' turned into a backslash. Bytes that
// are not UTF-8 become U+FFFD, so such a name does not survive the round trip.
std::u16string from_native(std::string_view path);

}  // namespace platform::posix
