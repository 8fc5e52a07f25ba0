// The one boundary between Vesklar and the operating system.
//
// Everything above src/platform/ is platform-neutral and talks to the OS only
// through this header. Two implementations exist with the same file names:
// win32/*_win32.cpp (Win32, Winsock, WinHTTP, Shell) and posix/*_posix.cpp
// (POSIX, libcurl). CMake picks one set; no #ifdef outside this folder.
//
// Paths are UTF-16 (`std::u16string`) in Windows form: the portable code joins
// them with a backslash. The POSIX layer turns every backslash into '/' when
// it hands a path to the kernel, and hands paths back with '/' turned into a
// backslash, so the same portable code serves both systems.
//
// Unless a contract says otherwise, every function may be called from any
// thread, and failures are return values (never exceptions).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// ---------------------------------------------------------------------------
// Paths and text

// A path buffer holds 260 UTF-16 units including its terminator, so a path
// has at most 259 characters.
inline constexpr std::size_t kPathUnits = 260;
inline constexpr std::size_t kMaxPathChars = kPathUnits - 1;

// Converts UTF-8 to UTF-16. Invalid sequences become U+FFFD; the conversion
// fails (nullopt) only when the result plus its terminator would need more
// than `max_units` units.
std::optional<std::u16string> utf8_to_utf16(std::string_view utf8, std::size_t max_units);

// UTF-16 to UTF-8 for diagnostics and for handing text to POSIX tools.
std::string utf16_to_utf8(std::u16string_view text);

// ---------------------------------------------------------------------------
// Handles

// One RAII owner for every OS handle kind. `Traits` supplies:
//   using value_type = ...;
//   static value_type invalid();
//   static void close(value_type);
template <class Traits>
class UniqueHandle {
 public:
  using value_type = typename Traits::value_type;

  UniqueHandle() noexcept : value_(Traits::invalid()) {}
  explicit UniqueHandle(value_type v) noexcept : value_(v) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());  // closes the old handle first
    return *this;
  }
  ~UniqueHandle() { reset(); }

  bool valid() const noexcept { return value_ != Traits::invalid(); }
  explicit operator bool() const noexcept { return valid(); }
  value_type get() const noexcept { return value_; }
  value_type release() noexcept {
    value_type v = value_;
    value_ = Traits::invalid();
    return v;
  }
  void reset(value_type v = Traits::invalid()) noexcept {
    if (value_ != Traits::invalid()) Traits::close(value_);
    value_ = v;
  }

 private:
  value_type value_;
};

// Opaque handle value used for files, sockets and processes on both systems:
// an intptr_t holds a Win32 HANDLE, a SOCKET and a POSIX descriptor alike.
using NativeHandle = std::intptr_t;
inline constexpr NativeHandle kInvalidNative = -1;

// ---------------------------------------------------------------------------
// Files
//
// Windows sharing rules are part of the contract, and the POSIX layer
// reproduces them inside this process:
//  - a file open for reading may be opened for reading again, but cannot be
//    opened for writing, deleted, moved or replaced while it is open;
//  - a file open for writing cannot be opened again in any way, deleted,
//    moved or replaced while it is open.

struct FileTraits {
  using value_type = NativeHandle;
  static value_type invalid() { return kInvalidNative; }
  static void close(value_type h);
};

class File {
 public:
  File() = default;
  explicit File(NativeHandle h) : h_(h) {}
  bool valid() const { return h_.valid(); }
  explicit operator bool() const { return valid(); }
  void close() { h_.reset(); }

  // Reads up to `want` bytes; `*got` receives the count (0 at end of file).
  bool read(void* buf, std::uint32_t want, std::uint32_t* got);
  // Writes up to `len` bytes; `*written` receives the count.
  bool write(const void* buf, std::uint32_t len, std::uint32_t* written);
  // Sets the position, counted from the start of the file.
  bool seek(std::int64_t offset);
  // Current size of the file in bytes.
  bool size(std::int64_t* out);
  // True only for an ordinary disk file (not a device, pipe or console).
  bool is_regular();
  // Waits until every byte written so far is on the disk itself, not just
  // in the system's cache (FlushFileBuffers / fsync). Files open for writing.
  bool flush();

  NativeHandle native() const { return h_.get(); }

 private:
  UniqueHandle<FileTraits> h_;
};

// Existing files only, reading, shared with other readers only. A refusal
// that lasts only an instant (Windows: the sharing violation a replacing
// move causes while it holds the target) is tried again for a few
// milliseconds, so a reader never takes a replaced file for a missing one.
File open_for_read(const std::u16string& path);
// Writing, no sharing, created anew or truncated ("create always").
File create_always(const std::u16string& path);
// Writing, no sharing, fails when anything exists at the path ("create new").
File create_new(const std::u16string& path);
// Appending: created when missing, kept when there ("open always"), and
// every write lands at the end of the file. Other programs may read it
// meanwhile (read sharing); inside this process it is held as a writer.
File open_for_append(const std::u16string& path);

// Attribute word. `kInvalidAttributes` (all bits, so the folder bit too) is
// returned for a path that cannot be read.
inline constexpr std::uint32_t kInvalidAttributes = 0xFFFFFFFFu;
inline constexpr std::uint32_t kAttrDirectory = 0x10u;
inline constexpr std::uint32_t kAttrReparsePoint = 0x400u;
std::uint32_t file_attributes(const std::u16string& path);

bool delete_file(const std::u16string& path);
// Moves or renames; fails when the target exists.
bool move_file(const std::u16string& from, const std::u16string& to);
// Moves over an existing target in one atomic step; fails (leaving both as
// they were) when either is open.
bool replace_file(const std::u16string& from, const std::u16string& to);
// Copies, replacing an existing target.
bool copy_file(const std::u16string& from, const std::u16string& to);
// Windows: sets or clears the hidden attribute of a file (open or not), all
// its other attributes cleared. POSIX has no such attribute: does nothing
// and succeeds.
bool set_hidden(const std::u16string& path, bool hidden);
// Creates one folder level; fails on an existing folder (callers ignore it).
bool create_folder(const std::u16string& path);
// Removes an empty folder, or a link to a folder as a link.
bool remove_folder(const std::u16string& path);

struct FolderEntry {
  std::u16string name;
  bool is_folder = false;
  bool is_link = false;  // symbolic link, junction or other reparse point
};
// Lists a folder's entries without "." and "..". Fails when the folder
// cannot be read; `visit` returning false stops the listing early.
bool list_folder(const std::u16string& path, const std::function<bool(const FolderEntry&)>& visit);

// ---------------------------------------------------------------------------
// Sockets

struct SocketTraits {
  using value_type = NativeHandle;
  static value_type invalid() { return kInvalidNative; }
  static void close(value_type s);
};
using Socket = UniqueHandle<SocketTraits>;

// Starts / ends the socket library (WSAStartup 2.2 / nothing on POSIX).
bool net_startup();
void net_cleanup();

Socket tcp_socket();
// Lets a listener bind again at once after a restart, while no other
// program can share its port: SO_REUSEADDR on Linux (which never lets two
// listeners share a port) and SO_EXCLUSIVEADDRUSE on Windows (where
// SO_REUSEADDR would let a second program take the port over). Server-side
// TIME_WAIT entries do not stop either from binding. The result is the
// setsockopt outcome.
bool set_listener_address_option(const Socket& s);
bool bind_loopback(const Socket& s, const char* address, std::uint16_t port);
// Port of a bound socket (for listeners bound to port 0 in tests).
std::uint16_t local_port(const Socket& s);
bool listen_on(const Socket& s, int backlog);
// Blocks until a connection arrives; invalid on any failure, including the
// listener being closed by `close_listener` from another thread.
Socket accept_connection(NativeHandle listener);
// Right after `accept_connection` failed, on the same thread: true when the
// failure passes by itself (out of descriptors or buffers for the moment, a
// connection reset while it waited), so accepting again later can succeed.
bool accept_failure_is_transient();
// Closes a listener so that a thread blocked in `accept_connection` wakes up.
void close_listener(Socket& s);
// Receive and send time-outs in milliseconds; results ignored by callers.
void set_timeouts(NativeHandle s, std::uint32_t recv_ms, std::uint32_t send_ms);
// As recv()/send(): bytes moved, 0 when the peer closed, < 0 on failure or
// time-out. `send_some` never raises SIGPIPE.
int recv_some(NativeHandle s, void* buf, int len);
int send_some(NativeHandle s, const void* buf, int len);
// Ends the sending side of a connection: the peer sees the end of the data
// after every byte already sent, and receiving goes on. False when the
// connection is gone already.
bool shutdown_send(NativeHandle s);
// Whether received bytes wait to be read at this moment; never blocks.
bool receive_pending(NativeHandle s);
// Connects a TCP socket to a loopback address (for tests and tools).
bool connect_loopback(const Socket& s, const char* address, std::uint16_t port);
// A connected pair of loopback stream sockets, for tests.
bool socket_pair(Socket* a, Socket* b);

// Sends `length` bytes of `file`, starting at byte `offset` of the file, on
// the connected socket without copying them through this process: sendfile()
// on Linux, TransmitFile on Windows. The bytes on the wire are exactly those
// of the file; the file position is not used and is left unspecified.
// Result:
//  - sent: every byte went out;
//  - failed: a send failed or timed out (the socket's send time-out holds as
//    for `send_some`), or the file ended before the range did; some bytes
//    may have gone out, and the caller must stop;
//  - unavailable: nothing was sent because this file or socket cannot be
//    sent this way (or, on Windows, the two zero-copy transfers that client
//    editions run at once are both taken by this process); the caller sends
//    the bytes itself.
// Never raises SIGPIPE. Any thread; each call needs its own socket.
enum class Transmit { sent, failed, unavailable };
Transmit transmit_file(NativeHandle socket, const File& file, std::int64_t offset, std::int64_t length);
// As `send_some`, for bytes that the next send or `transmit_file` on the
// socket follows at once (an answer's header before its body): the system
// may hold them back to send both in one piece, which saves a packet and its
// acknowledgement. The bytes and their order are unchanged. MSG_MORE on
// Linux; on Windows the same as `send_some`.
int send_some_before_more(NativeHandle s, const void* buf, int len);

// ---------------------------------------------------------------------------
// Threads and time

// Starts `body(arg)` on a new thread with the given stack size (0: default).
// A detached thread's resources are freed when it ends.
bool start_detached_thread(void (*body)(void*), void* arg, std::size_t stack_size);

class Thread {
 public:
  Thread() = default;
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  Thread(Thread&& o) noexcept;
  Thread& operator=(Thread&& o) noexcept;
  ~Thread();  // detaches a thread that was never waited for
  bool valid() const { return impl_ != nullptr; }
  // Waits at most `ms` for the thread to end; true when it ended.
  bool wait(std::uint32_t ms);

 private:
  friend Thread start_thread(void (*)(void*), void*);
  struct Impl;
  Impl* impl_ = nullptr;
};
Thread start_thread(void (*body)(void*), void* arg);

// Parking idle threads: a lock and a wake-up signal, for the pool of worker
// threads that the listener reuses (src/http/worker_pool.h). The server
// shares nothing between connections, so this is its only lock: it guards
// the list of parked threads for the moments it takes to take a thread from
// it or to put one back, never a request.
class ParkingLock {
 public:
  ParkingLock();
  ~ParkingLock();
  ParkingLock(const ParkingLock&) = delete;
  ParkingLock& operator=(const ParkingLock&) = delete;
  void lock();
  void unlock();

 private:
  friend class ParkingSignal;
  alignas(8) unsigned char storage_[64];  // pthread_mutex_t / SRWLOCK
};

class ParkingSignal {
 public:
  ParkingSignal();
  ~ParkingSignal();
  ParkingSignal(const ParkingSignal&) = delete;
  ParkingSignal& operator=(const ParkingSignal&) = delete;
  // Called with `lock` held: releases it, sleeps until `wake` or until `ms`
  // have passed, and takes it again before returning. False when the time
  // ran out. Like every condition wait it may also return early for no
  // reason, so the caller re-checks what it waits for.
  bool wait(ParkingLock& lock, std::uint32_t ms);
  // Wakes the threads waiting on this signal (call with the lock held).
  void wake();

 private:
  alignas(8) unsigned char storage_[64];  // pthread_cond_t / CONDITION_VARIABLE
};

// Millisecond tick counter that wraps after 2^32 ms, like GetTickCount.
std::uint32_t tick_ms();
void sleep_ms(std::uint32_t ms);

// ---------------------------------------------------------------------------
// Process, environment and places

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
  NativeHandle h_ = kInvalidNative;
};
InstanceResult acquire_instance_lock(std::u16string_view name, InstanceLock* lock);

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

// ---------------------------------------------------------------------------
// Desktop integration: the browsers for the app window and the shortcut

// Where a browser for the app window may be, in probe order: paths that may
// hold %NAME% references, for `expand_env`. A candidate is taken when it
// names something that exists and is not a folder.
// Windows: msedge.exe, then chrome.exe, each under %ProgramFiles%,
// %ProgramFiles(x86)% and %LocalAppData%. POSIX: microsoft-edge,
// microsoft-edge-stable, google-chrome, google-chrome-stable, chromium and
// chromium-browser, each looked for in every PATH folder in turn.
std::vector<std::u16string> browser_candidates();

// A path as a program started by `start_process` expects it inside its
// arguments (which are passed on as texts): as it is on Windows, with '/'
// separators on POSIX.
std::u16string argument_path(std::u16string_view path);

// The program's own file name ("Vesklar.exe" / "vesklar"), which a shortcut
// starts whatever name the running copy has.
std::u16string_view program_file_name();

struct DesktopShortcut {
  std::u16string target;        // the program it starts
  std::u16string folder;        // its working folder
  std::u16string icon;          // the icon file (icon index 0)
  std::u16string command_line;  // Windows: the hidden process that makes it
};
// Places the program's shortcut on the user's desktop. True when the maker
// was started, whatever came of it; false when it could not be started, so
// nothing was attempted.
// Windows: starts `command_line` hidden with CREATE_NO_WINDOW in `folder`,
// waits at most `wait_ms` for it to end and closes its handles.
// POSIX: writes a freedesktop launcher "Vesklar.desktop" (Exec, Path, Icon,
// Name) into $XDG_DESKTOP_DIR, or $HOME/Desktop when that is unset or empty;
// "started" means the whole file was written and renamed into place (a
// failure leaves any earlier one as it was). Nothing runs apart, so there
// is nothing to wait for.
// Main thread, during start-up.
bool make_desktop_shortcut(const DesktopShortcut& shortcut, std::uint32_t wait_ms);

// ---------------------------------------------------------------------------
// User interface

enum class BoxIcon { error, information, question, warning };
enum class BoxButtons { ok, yes_no };
enum class BoxAnswer { ok, yes, no, failed };
// A message box with no owner window. Without a desktop to show it on, the
// text goes to standard error and a Yes/No question answers No.
BoxAnswer message_box(std::u16string_view caption, std::u16string_view text, BoxIcon icon,
                      BoxButtons buttons);

// ---------------------------------------------------------------------------
// HTTPS

// Limits of single network steps, not of the whole transfer: a download may
// go on for as long as data keeps coming. 0 means no limit.
struct HttpsTimeouts {
  std::uint32_t resolve_ms, connect_ms, send_ms, receive_ms;
};
struct HttpsResult {
  bool ok = false;       // a 200 answer whose body was read to the end
  int status = 0;        // HTTP status code when known
};
inline constexpr std::size_t kHttpsReadBlock = 16384;
// One synchronous GET over TLS on `port`, with the system's proxy settings,
// certificate store and redirect rules, and nothing else set. Body bytes are
// handed to `sink` as they arrive, at most kHttpsReadBlock at a time, so no
// more than one block is held here; a sink returning false stops the
// transfer (the result is then not ok). Only a 200 response has its body
// read: any other status is reported in `status` with ok false, and the sink
// never sees a byte of it. Each call has its own session and connection.
// Windows: WinHTTP with the default proxy and the time-outs as given.
// POSIX: libcurl; resolve + connect bound the connection and TLS handshake,
// receive bounds how long the answer may stall (whole seconds, rounded up).
HttpsResult https_get(std::string_view host, std::uint16_t port, std::u16string_view path,
                      std::u16string_view user_agent, const HttpsTimeouts& timeouts,
                      const std::function<bool(const char*, std::size_t)>& sink);

}  // namespace platform
