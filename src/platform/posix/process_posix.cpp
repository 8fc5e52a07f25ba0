// Processes, environment, places and the single-instance lock on POSIX.
//
// Environment names that stand for Windows places are mapped onto their
// Linux counterparts (compared without regard to ASCII case, as Windows
// compares names, so "%LocalAppData%" works too):
//   LOCALAPPDATA  $XDG_DATA_HOME, or $HOME/.local/share when that is unset or empty
//   USERPROFILE   $HOME
//   TEMP, TMP     $TMPDIR, or /tmp
// Their values come back in backslash form like every path of this layer.
// Any other name is looked up as it is written, and its value is returned
// unchanged.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/handle.h"
#include "platform/posix/posix_path.h"
#include "platform/posix/spawn.h"
#include "platform/process.h"
#include "platform/text.h"
#include "platform/threads.h"

namespace platform {
namespace {

using posix::from_native;
using posix::to_native;

constexpr std::uint32_t kWaitForever = 0xFFFFFFFFu;

// An environment value, if set and non-empty.
const char* env_text(const char* name) {
  const char* v = std::getenv(name);
  return v && *v ? v : nullptr;
}

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string temp_dir() {
  const char* v = env_text("TMPDIR");
  return v ? v : "/tmp";
}

// The value of `name` in UTF-16 after the place mapping above; empty when it
// is unset or empty.
std::u16string lookup(std::u16string_view name) {
  const std::string n = utf16_to_utf8(name);
  if (same_name(n, "LOCALAPPDATA")) {
    if (const char* v = env_text("XDG_DATA_HOME")) return from_native(v);
    if (const char* home = env_text("HOME")) return from_native(std::string(home) + "/.local/share");
    return {};
  }
  if (same_name(n, "USERPROFILE")) {
    const char* home = env_text("HOME");
    return home ? from_native(home) : std::u16string();
  }
  if (same_name(n, "TEMP") || same_name(n, "TMP")) return from_native(temp_dir());
  if (n.empty() || n.find('=') != std::string::npos || n.find('\0') != std::string::npos) return {};
  const char* v = env_text(n.c_str());
  if (!v) return {};
  const std::string_view text(v);
  return utf8_to_utf16(text, text.size() + 1).value_or(std::u16string());
}

// RAII owners of the posix_spawn records.
struct SpawnActions {
  posix_spawn_file_actions_t a;
  bool ok = posix_spawn_file_actions_init(&a) == 0;
  ~SpawnActions() {
    if (ok) posix_spawn_file_actions_destroy(&a);
  }
};
struct SpawnAttrs {
  posix_spawnattr_t a;
  bool ok = posix_spawnattr_init(&a) == 0;
  ~SpawnAttrs() {
    if (ok) posix_spawnattr_destroy(&a);
  }
};

// Whether the child has ended, without reaping it: the process id stays
// ours until ProcessTraits::close reaps it, so it cannot be reused meanwhile.
// `block` waits until it ends.
bool has_ended(int pid, bool block) {
  for (;;) {
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT | (block ? 0 : WNOHANG)) == 0) {
      return info.si_pid != 0;
    }
    if (errno == EINTR) continue;
    return errno == ECHILD;  // already reaped (by someone else): gone
  }
}

}  // namespace

namespace posix {

std::vector<std::u16string> split_command_line(std::u16string_view cmd) {
  const auto is_space = [](char16_t c) { return c == u' ' || c == u'\t'; };
  std::vector<std::u16string> args;
  std::size_t i = 0;
  const std::size_t n = cmd.size();
  while (i < n && is_space(cmd[i])) ++i;
  if (i == n) return args;
  std::u16string program;
  bool quoted = false;
  for (; i < n && (quoted || !is_space(cmd[i])); ++i) {
    if (cmd[i] == u'"') {
      quoted = !quoted;
    } else {
      program += cmd[i];
    }
  }
  args.push_back(std::move(program));
  for (;;) {
    while (i < n && is_space(cmd[i])) ++i;
    if (i == n) return args;
    std::u16string arg;
    quoted = false;
    while (i < n && (quoted || !is_space(cmd[i]))) {
      if (cmd[i] == u'\\') {
        std::size_t slashes = 0;
        for (; i < n && cmd[i] == u'\\'; ++i) ++slashes;
        if (i < n && cmd[i] == u'"') {
          arg.append(slashes / 2, u'\\');
          if (slashes % 2 == 1) {
            arg += u'"';
            ++i;
          }  // with an even count the quote is read as a quote next round
        } else {
          arg.append(slashes, u'\\');
        }
      } else if (cmd[i] == u'"') {
        if (quoted && i + 1 < n && cmd[i + 1] == u'"') {
          arg += u'"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        arg += cmd[i++];
      }
    }
    args.push_back(std::move(arg));
  }
}

int spawn(const std::vector<std::string>& args, const char* folder, int input) {
  if (args.empty() || args[0].empty()) return -1;
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  SpawnActions actions;
  SpawnAttrs attrs;
  if (!actions.ok || !attrs.ok) return -1;
  // The launcher ignores SIGPIPE, and ignored signals survive exec; the child
  // gets the default handling back and an empty signal mask.
  sigset_t defaults, mask;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigemptyset(&mask);
  const int stdin_set = input >= 0 ? posix_spawn_file_actions_adddup2(&actions.a, input, 0)
                                   : posix_spawn_file_actions_addopen(&actions.a, 0, "/dev/null", O_RDONLY, 0);
  if (stdin_set != 0 ||
      (folder && posix_spawn_file_actions_addchdir_np(&actions.a, folder) != 0) ||
      posix_spawnattr_setsigdefault(&attrs.a, &defaults) != 0 || posix_spawnattr_setsigmask(&attrs.a, &mask) != 0 ||
      posix_spawnattr_setflags(&attrs.a, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK) != 0) {
    return -1;
  }
  pid_t pid = -1;
  // glibc reports a failed exec or folder change here, not in the child.
  if (posix_spawnp(&pid, argv[0], &actions.a, &attrs.a, argv.data(), environ) != 0) return -1;
  return pid;
}

int wait_for_exit(int pid) {
  int status = 0;
  pid_t rc;
  do {
    rc = ::waitpid(pid, &status, 0);
  } while (rc < 0 && errno == EINTR);
  if (rc != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

bool on_path(const char* name) {
  const char* path = env_text("PATH");
  std::string_view rest = path ? path : "/usr/bin:/bin";
  for (;;) {
    const std::size_t colon = rest.find(':');
    std::string dir(rest.substr(0, colon));
    if (dir.empty()) dir = ".";
    const std::string candidate = dir + "/" + name;
    struct stat st;
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0) {
      return true;
    }
    if (colon == std::string_view::npos) return false;
    rest.remove_prefix(colon + 1);
  }
}

}  // namespace posix

std::optional<std::u16string> env_value(std::u16string_view name, std::size_t max_units) {
  std::u16string v = lookup(name);
  if (v.empty() || v.size() >= max_units) return std::nullopt;
  return v;
}

std::optional<std::u16string> expand_env(std::u16string_view text, std::size_t max_units) {
  std::u16string out;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t open = text.find(u'%', i);
    const std::size_t close = open == std::u16string_view::npos ? open : text.find(u'%', open + 1);
    if (close == std::u16string_view::npos) {
      out.append(text.substr(i));  // no complete reference left
      break;
    }
    out.append(text.substr(i, open - i));
    const std::u16string value = lookup(text.substr(open + 1, close - open - 1));
    // An unknown (or empty) name stays as written, with both percent signs,
    // and the scan goes on after the closing one.
    out.append(value.empty() ? text.substr(open, close - open + 1) : std::u16string_view(value));
    i = close + 1;
  }
  if (out.size() >= max_units) return std::nullopt;
  return out;
}

ExePath exe_path(std::size_t max_units) {
  ExePath result;
  if (max_units == 0) return result;
  std::string buf(256, '\0');
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return result;
    if (static_cast<std::size_t>(n) < buf.size()) {
      buf.resize(static_cast<std::size_t>(n));
      break;
    }
    if (buf.size() >= 65536) return result;
    buf.resize(buf.size() * 2);  // may have been cut: try again with more room
  }
  std::u16string path = from_native(buf);
  if (path.empty()) return result;
  if (path.size() >= max_units) {
    path.resize(max_units - 1);
    result.length = max_units;
  } else {
    result.length = path.size();
  }
  result.path = std::move(path);
  return result;
}

std::optional<std::u16string> temp_folder() {
  std::string dir = temp_dir();
  if (dir.back() != '/') dir += '/';
  return from_native(dir);
}

std::optional<std::u16string> make_private_temp_folder(std::u16string_view prefix) {
  std::string dir = temp_dir();
  if (dir.back() != '/') dir += '/';
  dir += utf16_to_utf8(prefix) + "XXXXXX";
  if (::mkdtemp(dir.data()) == nullptr) return std::nullopt;  // mode 0700
  return from_native(dir + "/");
}

std::uint32_t current_process_id() { return static_cast<std::uint32_t>(::getpid()); }

void exit_process(int code) { ::_exit(code); }

void end_process_abruptly(int code) { ::_exit(code); }

// The named mutex becomes an exclusive lock on a file. "Local\" (the session
// namespace) is dropped from the name; the user's runtime folder is already
// per session, and the /tmp fallback carries the user id instead.
InstanceResult acquire_instance_lock(std::u16string_view name, InstanceLock* lock) {
  std::u16string_view base = name;
  if (base.substr(0, 6) == u"Local\\") base.remove_prefix(6);
  std::string file;
  for (const char16_t c : base) {
    const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                       c == u'.' || c == u'_' || c == u'-';
    file += plain ? static_cast<char>(c) : '-';
  }
  file += ".lock";
  std::string path;
  if (const char* runtime = env_text("XDG_RUNTIME_DIR")) {
    path = std::string(runtime) + "/" + file;
  } else {
    path = "/tmp/vesklar-" + std::to_string(::geteuid()) + "-" + file;
  }
  // O_NOFOLLOW and the owner check keep another user's file or link in /tmp
  // from standing in for ours.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return InstanceResult::failed;
  struct stat st;
  if (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid()) {
    ::close(fd);
    return InstanceResult::failed;
  }
  int rc;
  do {
    rc = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    const bool held = errno == EWOULDBLOCK;
    ::close(fd);
    return held ? InstanceResult::already_running : InstanceResult::failed;
  }
  lock->h_ = fd;
  return InstanceResult::acquired;
}

void InstanceLock::release() {
  if (h_ == kInvalidNative) return;
  ::flock(static_cast<int>(h_), LOCK_UN);
  ::close(static_cast<int>(h_));
  h_ = kInvalidNative;
}

// Closing the handle reaps a child that has ended. One that still runs is
// left alone; when it ends it stays a zombie until the launcher exits, which
// costs nothing but a process table entry.
void ProcessTraits::close(value_type h) { ::waitpid(static_cast<pid_t>(h), nullptr, WNOHANG); }

Process start_process(const std::u16string& command_line, const ProcessOptions& options) {
  // `hidden` and `no_window` have no meaning here: there is no console
  // window to hide.
  std::vector<std::u16string> parts = posix::split_command_line(command_line);
  if (parts.empty()) return Process();
  std::vector<std::string> args;
  args.push_back(to_native(parts[0]));  // the program is a path; its arguments are texts
  for (std::size_t k = 1; k < parts.size(); ++k) args.push_back(utf16_to_utf8(parts[k]));
  std::string folder;
  if (options.current_folder) folder = to_native(*options.current_folder);
  const int pid = posix::spawn(args, options.current_folder ? folder.c_str() : nullptr);
  return pid > 0 ? Process(pid) : Process();
}

bool wait_process(const Process& p, std::uint32_t ms) {
  if (!p) return false;
  const int pid = static_cast<int>(p.get());
  if (ms == kWaitForever) return has_ended(pid, /*block=*/true);
  // There is no waiting with a time-out for a child on POSIX; poll.
  const std::uint32_t start = tick_ms();
  for (;;) {
    if (has_ended(pid, /*block=*/false)) return true;
    const std::uint32_t waited = tick_ms() - start;
    if (waited >= ms) return false;
    sleep_ms(ms - waited < 5 ? ms - waited : 5);
  }
}

void open_with_default_handler(const std::u16string& url) {
  // A shell starts xdg-open in the background and ends at once, so the
  // handler, which may run as long as the browser, is not our child and
  // leaves no zombie; waiting for the shell takes a moment only.
  const int pid = posix::spawn({"/bin/sh", "-c", "xdg-open \"$1\" >/dev/null 2>&1 &", "sh", utf16_to_utf8(url)},
                               nullptr);
  if (pid > 0) posix::wait_for_exit(pid);
}

}  // namespace platform
