// The names under which an export is written before it is complete.
//
// A save writes into "<export name>.vesklar-part" beside its final name (on
// Windows a hidden file) and gives the file its final name only once every
// byte is on disk. An export name never ends in that suffix, so a part file
// can never be taken for a finished export, and a part file left by a
// launcher that was killed can be recognised and removed at the next start.
#pragma once

#include <string>
#include <string_view>

inline constexpr char16_t kPartSuffix[] = u".vesklar-part";

// True for a name that ends in the suffix, in any letter case.
bool is_part_name(std::u16string_view name);

// The export name itself, or, when it ends in the suffix, the same name with
// the '.' before the suffix turned into '_' (same length, so still within
// the export name's limit).
std::u16string keep_off_part_names(std::u16string export_name);

// Start-up: removes the part files that a save left in `downloads_folder`
// when the launcher ended in the middle of it. Folders and links are never
// touched. Call once the instance lock is held, before the server accepts a
// save.
void remove_leftover_exports(const std::u16string& downloads_folder);
