// The page response family: an index.html with the bootstrap script
// inserted before its first "</head>".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/handle.h"

inline constexpr std::int64_t kPageLimitBytes = 8388608;  // 8 MiB; one byte more is refused
inline constexpr std::size_t kPageHeaderLimit = 256;

// Finds the first "</head>" (ASCII case ignored) before the first NUL of
// `text`; -1 when there is none.
std::int64_t find_head_tag(const char* text);

// Answers with the page at `page_path`, `bootstrap_script` inserted (unless
// the page already knows the launcher).
void serve_page(platform::NativeHandle socket, const std::u16string& page_path, std::string_view bootstrap_script,
                bool head_only);
