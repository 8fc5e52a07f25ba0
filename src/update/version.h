// The program's own version, read from version.txt beside the executable,
// and the bootstrap script that tells pages about it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "http/server_context.h"

inline constexpr std::size_t kVersionFileBytes = 79;  // everything after is ignored
inline constexpr std::size_t kVersionNameMax = 30;

// Reads the number and name from the (0-terminated) start of version.txt.
// `name` must hold kVersionNameMax + 1 bytes or more.
void parse_version_text(const char* text, std::int32_t* number, char* name);

// The longest bootstrap script, without its terminator.
extern const std::size_t kBootstrapScriptMaxChars;

// Formats the page bootstrap script; the result is never cut.
void format_bootstrap_script(std::int32_t number, const char* name, char* out, std::size_t capacity);

// Start-up: the version that version.txt in `exe_folder` gives. A missing
// or unreadable file gives number 0 and an empty name (no decimal fallback
// there).
VersionIdentity load_current_version(const std::u16string& exe_folder);

// Start-up: the bootstrap script that tells pages about `version`.
std::string build_bootstrap_script(const VersionIdentity& version);
