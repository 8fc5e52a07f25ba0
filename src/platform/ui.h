// A message box for the user, the program's only window of its own.
#pragma once

#include <string_view>

namespace platform {

enum class BoxIcon { error, information, question, warning };
enum class BoxButtons { ok, yes_no };
enum class BoxAnswer { ok, yes, no, failed };
// A message box with no owner window. Without a desktop to show it on, the
// text goes to standard error and a Yes/No question answers No.
BoxAnswer message_box(std::u16string_view caption, std::u16string_view text, BoxIcon icon,
                      BoxButtons buttons);

}  // namespace platform
