// The installer that takes over once an update is downloaded: a script
// written into the temporary folder (on Linux a private folder made in it)
// and started hidden. It waits for the
// launcher to end, unpacks the archive into a staging folder, lays it over
// the program folder (20 attempts, half a second apart, while files are
// still locked), starts the program again and cleans up; on any error it
// tells the user and leaves everything where it is.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// What the command line hands the script.
struct InstallerArgs {
  std::u16string script;  // the script file
  std::uint32_t pid = 0;  // the launcher, which the script waits for
  std::u16string zip;     // the archive
  std::u16string dest;    // the program folder
  std::u16string exe;     // the program to start again
};

struct InstallerKind {
  std::string_view script;          // written byte for byte
  std::u16string_view script_file;  // its name in the temporary folder
  std::u16string (*command_line)(const InstallerArgs& args);
};

// Windows PowerShell (Expand-Archive, a Windows Forms box on error).
extern const InstallerKind kPowerShellInstaller;
// A POSIX shell (unzip, else python3 -m zipfile; errors on standard error
// and in a desktop dialog when there is a display).
extern const InstallerKind kShellInstaller;

// The one this system runs (`platform::installer_shell`).
const InstallerKind& platform_installer();

// One argument of a command line in double quotes, read back whole by the
// Windows rules (CommandLineToArgvW and the C runtime, which the POSIX layer
// follows too): a double quote becomes \" and the backslashes just before a
// double quote or the closing quote are doubled. Any other character,
// spaces, single quotes, '$', '`' and non-ASCII ones included, stands as it is.
std::u16string quote_argument(std::u16string_view arg);
