// Private helpers of the POSIX layer for running other programs.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform::posix {

// Splits a Windows-form command line into its arguments the way the
// Microsoft C runtime does for a program it starts: the program name ends at
// the first space or tab outside double quotes and knows no escapes; in the
// arguments, 2n backslashes before a double quote give n backslashes and the
// quote opens or closes a quoted part, 2n+1 give n backslashes and a literal
// quote, backslashes before anything else stand for themselves, and "" inside
// a quoted part is one literal quote. Texts come back unchanged otherwise.
std::vector<std::u16string> split_command_line(std::u16string_view command_line);

// Starts `args[0]` (looked up on PATH when it holds no '/') with the given
// arguments, standard input from /dev/null (or from `input` when it is not
// -1), the default handling of every signal and, when `folder` is not null,
// that current folder. Returns the process id, or -1 when the program could
// not be started.
int spawn(const std::vector<std::string>& args, const char* folder, int input = -1);

// Waits for a child to end and reaps it: its exit status, or -1 when it did
// not exit normally or cannot be waited for.
int wait_for_exit(int pid);

// True when `name` is an executable file in one of the PATH folders.
bool on_path(const char* name);

}  // namespace platform::posix
