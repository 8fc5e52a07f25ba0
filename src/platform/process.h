// The running process and the programs it starts: environment, places,
// the single-instance marker, starting and waiting for programs, and the
// ways the process ends.
//
// Paths are in Windows form (see platform/text.h). Unless a contract says
// otherwise, every function may be called from any thread, and failures are
// return values (never exceptions).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/handle.h"

namespace platform {

// The value of an environment variable, if it is set, non-empty and shorter
// than `max_units` (so it fits with its terminator); nullopt otherwise.
std::optional<std::u16string> env_value(std::u16string_view name, std::size_t max_units);
// Makes sure that `folder`, the value of LOCALAPPDATA, exists before the
// launcher stores anything below it. Windows: that folder always exists and
// nothing is done. Linux: the data home of a new account (or an
// XDG_DATA_HOME not made yet) may be missing; it is made with its missing
// parents, each with mode 0700, and an existing folder keeps its mode.
// False when it is still missing afterwards. Main thread, start-up only.
bool prepare_local_app_data(const std::u16string& folder);
// Expands %NAME% references the Windows way (unset names stay as written);
// nullopt when the expansion fails or does not fit in `max_units` units.
std::optional<std::u16string> expand_env(std::u16string_view text, std::size_t max_units);
// Full path of the running executable, cut to `max_units` - 1 units. The
// second member is the untruncated length, so a caller sees that it was cut.
struct ExePath {
  std::u16string path;
  std::size_t length = 0;  // 0 on failure; max_units when the path was cut
};
ExePath exe_path(std::size_t max_units);
// The user's temporary folder, with a trailing separator.
std::optional<std::u16string> temp_folder();
// POSIX only: a new, empty folder inside the temporary folder that only this
// user can enter (mode 0700, made by mkdtemp with `prefix` and six random
// characters as its name), with a trailing separator; nullopt on failure.
// Files made in it cannot have been planted by anyone else. Windows has no
// counterpart: its per-user temporary folder already keeps other users out.
std::optional<std::u16string> make_private_temp_folder(std::u16string_view prefix);
std::uint32_t current_process_id();
// Ends the process at once with the code; nothing is cleaned up.
[[noreturn]] void exit_process(int code);
// Ends the process with the code while other threads may be in the middle
// of a call: no library's clean-up code runs, so none can wait for a lock
// that a stopped thread held. Open handles and sockets are closed by the
// system, and unsent socket data may be lost.
[[noreturn]] void end_process_abruptly(int code);

// The single-instance marker ("Local\VesklarEditorV1" on Windows).
enum class InstanceResult { failed, acquired, already_running };
class InstanceLock;
// Takes the marker `name` into `lock`, which must not hold one yet. Main
// thread, start-up only.
InstanceResult acquire_instance_lock(std::u16string_view name, InstanceLock* lock);
class InstanceLock {
 public:
  InstanceLock() = default;
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;
  InstanceLock(InstanceLock&& o) noexcept : h_(o.h_) { o.h_ = kInvalidNative; }
  InstanceLock& operator=(InstanceLock&&) = delete;
  // Deliberately does not release: on early exits the lock is left to the
  // end of the process. `release` is the orderly way.
  ~InstanceLock() = default;
  void release();

 private:
  // Only taking the marker fills the handle in.
  friend InstanceResult acquire_instance_lock(std::u16string_view name, InstanceLock* lock);
  NativeHandle h_ = kInvalidNative;
};

// Starting other programs. The command line is one Windows-form string; the
// POSIX layer splits it by the Windows rules before it runs the program.
struct ProcessOptions {
  bool hidden = false;      // STARTF_USESHOWWINDOW + SW_HIDE
  bool no_window = false;   // CREATE_NO_WINDOW
  const std::u16string* current_folder = nullptr;  // null: the launcher's own
};
struct ProcessTraits {
  using value_type = NativeHandle;
  static value_type invalid() { return kInvalidNative; }
  static void close(value_type h);
};
using Process = UniqueHandle<ProcessTraits>;
// Starts the program; invalid when it cannot be started. Windows: a program
// named without a folder ("powershell.exe ...") is started from the system
// folder (PowerShell from its own folder below it), never found by the
// search order, which would look in the program's and the current folder
// first; the command line reaches it unchanged.
Process start_process(const std::u16string& command_line, const ProcessOptions& options);
// Waits at most `ms`; true when the process ended.
bool wait_process(const Process& p, std::uint32_t ms);
// Opens a URL with the user's default handler; the outcome is not reported.
void open_with_default_handler(const std::u16string& url);

}  // namespace platform
