// The page response family: an index.html with the bootstrap script
// inserted before its first "</head>".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/handle.h"

inline constexpr std::int64_t kPageLimitBytes = 8388608;  // 8 MiB; one byte more is refused
inline constexpr std::size_t kPageHeaderLimit = 256;

// Finds the first "</head>" (ASCII case ignored) before the first NUL of
// `text`; -1 when there is none.
std::int64_t find_head_tag(const char* text);

// Answers with the page `file` (open, or not: then "Not Found"), `facts`
// from its open, `bootstrap_script` inserted (unless the page already knows
// the launcher). A HEAD request is answered without the file, the same
// whether it exists or not, so the caller need not open it for one.
void serve_page(platform::NativeHandle socket, platform::File& file, const platform::FileFacts& facts,
                std::string_view bootstrap_script, bool head_only);
