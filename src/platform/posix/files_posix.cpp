// Files and folders on POSIX, with the Windows sharing rules reproduced
// inside this process.
//
// POSIX has no sharing modes, yet the portable code relies on them: a file
// being played cannot be deleted or replaced, and two writers of one file
// cannot both have it. A process-wide registry keyed by (device, inode)
// counts the readers and marks the writer of every file this layer has open;
// opening, closing and every delete, move, replace and copy consult it, so
// each of them is atomic with respect to the others. Other processes are not
// covered: they do not know the rules anyway.
//
// The registry's lock guards its bookkeeping only, never a system call: an
// open, a truncation or an unlink of a large file can wait on the disk for
// seconds, and every playback would wait with it. What makes a call atomic
// instead is a claim on the names it works on (its path, or both paths of a
// move), held from its first look at the file system to its last: a call
// that meets a claimed name waits until the claim ends and then starts its
// look afresh, so calls on one name follow each other as if under one lock,
// while calls on other names never wait. A name is its path as given; the
// portable code spells one file's path one way. A file reached through a
// second spelling (a link) still obeys the open/open rules through the
// registry, but a delete or replace through one spelling is not ordered
// against an open through another.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/posix/posix_path.h"
#include "platform/text.h"

namespace platform {
namespace {

using posix::to_native;

// What Windows reports for a file with no other attribute.
constexpr std::uint32_t kAttrNormal = 0x80u;

using FileKey = std::pair<dev_t, ino_t>;

struct Usage {
  int readers = 0;
  bool writer = false;
};

class ShareRegistry {
 public:
  // Waits until no other call holds `name` (nor `second`, when given), then
  // holds them: both at once, so two calls can never each hold what the
  // other waits for.
  void hold(const std::string& name, const std::string* second) {
    std::unique_lock<std::mutex> lock(mutex_);
    names_free_.wait(lock, [&] { return held_.count(name) == 0 && (!second || held_.count(*second) == 0); });
    held_.insert(name);
    if (second) held_.insert(*second);
  }
  void let_go(const std::string& name, const std::string* second) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      held_.erase(name);
      if (second) held_.erase(*second);
    }
    names_free_.notify_all();
  }

  // Nobody in this process has the file open.
  bool unused(const FileKey& key) {
    std::lock_guard<std::mutex> lock(mutex_);
    return by_file_.count(key) == 0;
  }
  // Records `fd` as open on the file, if the sharing rules allow: a reader
  // beside other readers only, a writer alone.
  bool add(int fd, const FileKey& key, bool writer) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = by_file_.find(key);
    if (it != by_file_.end() && (writer || it->second.writer)) return false;
    Usage& u = by_file_[key];
    if (writer) {
      u.writer = true;
    } else {
      ++u.readers;
    }
    by_fd_[fd] = {key, writer};
    return true;
  }
  void remove(int fd) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = by_fd_.find(fd);
    if (it == by_fd_.end()) return;  // a descriptor this layer did not open
    auto file = by_file_.find(it->second.first);
    if (file != by_file_.end()) {
      if (it->second.second) {
        file->second.writer = false;
      } else {
        --file->second.readers;
      }
      if (file->second.readers == 0 && !file->second.writer) by_file_.erase(file);
    }
    by_fd_.erase(it);
  }

 private:
  std::mutex mutex_;
  std::condition_variable names_free_;
  std::set<std::string> held_;  // names claimed by a call under way
  std::map<FileKey, Usage> by_file_;
  std::map<int, std::pair<FileKey, bool>> by_fd_;  // descriptor -> file, is writer
};

// Never destroyed: detached workers may still close files while the process
// runs its static destructors on the way out.
ShareRegistry& registry() {
  static ShareRegistry* r = new ShareRegistry;
  return *r;
}

FileKey key_of(const struct stat& st) { return {st.st_dev, st.st_ino}; }

// Holds a call's names (see ShareRegistry::hold) for its whole life.
class NameClaim {
 public:
  explicit NameClaim(const std::string& name, const std::string* second = nullptr)
      : name_(name), second_(second) {
    registry().hold(name_, second_);
  }
  NameClaim(const NameClaim&) = delete;
  NameClaim& operator=(const NameClaim&) = delete;
  ~NameClaim() { registry().let_go(name_, second_); }

 private:
  const std::string& name_;
  const std::string* second_;
};

// A descriptor not yet in the registry: closed plainly if it never gets there.
class Unregistered {
 public:
  explicit Unregistered(int fd) : fd_(fd) {}
  Unregistered(const Unregistered&) = delete;
  Unregistered& operator=(const Unregistered&) = delete;
  ~Unregistered() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  // Now the registry's: a File closes it from here on.
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

int open_retry(const std::string& path, int flags, mode_t mode) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Descriptors are opened non-blocking so that a FIFO at the path cannot hang
// the call (and with it every other call on that name); reads and writes
// then block as usual. `kept` holds the status flags the open asked for
// besides O_NONBLOCK (O_APPEND, O_NOATIME): F_SETFL sets them all at once,
// so no F_GETFL is needed first.
bool clear_nonblock(int fd, int kept) { return ::fcntl(fd, F_SETFL, kept) == 0; }

constexpr int kOpenFlags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

// Reading need not update the file's access time, and O_NOATIME spares the
// file system that step. Only the file's owner may ask for it (anyone else
// gets EPERM, and the open is made again without it); after one refusal this
// process stops asking, because the files it reads mostly share one owner
// and every refused open costs a second walk of the path.
std::atomic<bool> g_noatime_allowed{true};

// Opens for reading; `*kept` receives the status flags to keep (see
// clear_nonblock).
int open_reading(const std::string& path, int* kept) {
  if (g_noatime_allowed.load(std::memory_order_relaxed)) {
    const int fd = open_retry(path, O_RDONLY | O_NOATIME | kOpenFlags, 0);
    if (fd >= 0) {
      *kept = O_NOATIME;
      return fd;
    }
    if (errno != EPERM) return fd;
    g_noatime_allowed.store(false, std::memory_order_relaxed);
  }
  *kept = 0;
  return open_retry(path, O_RDONLY | kOpenFlags, 0);
}

// Stores why a call failed for a caller that asked; false, for returning.
bool fail(Error* error, const Error& why) {
  if (error) *error = why;
  return false;
}
// The cause of the system call that just failed (errno).
bool fail(Error* error) { return fail(error, last_error()); }
// A refusal by the sharing rules, which Windows reports as a sharing
// violation: no system call failed, so there is no errno to read.
bool refuse(Error* error) { return fail(error, Error{ErrorKind::busy, EBUSY}); }
// A failure this layer finds itself, given the errno that names it.
bool fail_code(Error* error, int code) { return fail(error, Error{error_kind_of(code), code}); }

// Creates or opens a file for writing with no sharing. `exclusive` is
// "create new". Never follows a symbolic link at the path: in a shared folder
// such a link could point anywhere.
File create_for_write(const std::u16string& path, bool exclusive, Error* error) {
  const std::string p = to_native(path);
  File file;
  struct stat st;
  {
    NameClaim claim(p);
    // No O_TRUNC: a file that someone has open must keep its content, so the
    // truncation waits until the registry has been asked.
    Unregistered fd(open_retry(p, O_WRONLY | O_CREAT | O_NOFOLLOW | kOpenFlags | (exclusive ? O_EXCL : 0), 0666));
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !clear_nonblock(fd.get(), 0)) {
      fail(error);
      return File();
    }
    if (!registry().add(fd.get(), key_of(st), /*writer=*/true)) {
      refuse(error);
      return File();
    }
    file = File(fd.release());
  }
  // As its writer the file is out of everyone else's reach, so the name can
  // go before the cut: freeing a large file's blocks takes its time, and a
  // call on the same name meanwhile gets the answer it would get afterwards.
  if (S_ISREG(st.st_mode) && ::ftruncate(static_cast<int>(file.native()), 0) != 0) {
    fail(error);
    return File();
  }
  return file;
}

}  // namespace

void FileTraits::close(value_type h) {
  // The entry goes first: the descriptor number cannot be reused until the
  // close below, so another thread can never register it while its old entry
  // is still there. The close itself can take as long as freeing the file.
  registry().remove(static_cast<int>(h));
  ::close(static_cast<int>(h));
}

bool File::read(void* buf, std::uint32_t want, std::uint32_t* got) {
  ssize_t n;
  do {
    n = ::read(static_cast<int>(native()), buf, want);
  } while (n < 0 && errno == EINTR);
  if (got) *got = n < 0 ? 0 : static_cast<std::uint32_t>(n);
  return n >= 0;
}

bool File::write(const void* buf, std::uint32_t len, std::uint32_t* written) {
  ssize_t n;
  do {
    n = ::write(static_cast<int>(native()), buf, len);
  } while (n < 0 && errno == EINTR);
  if (written) *written = n < 0 ? 0 : static_cast<std::uint32_t>(n);
  return n >= 0;
}

bool File::seek(std::int64_t offset) {
  return ::lseek(static_cast<int>(native()), static_cast<off_t>(offset), SEEK_SET) != static_cast<off_t>(-1);
}

bool File::size(std::int64_t* out) {
  struct stat st;
  if (::fstat(static_cast<int>(native()), &st) != 0) return false;
  *out = st.st_size;
  return true;
}

bool File::is_regular() {
  struct stat st;
  return ::fstat(static_cast<int>(native()), &st) == 0 && S_ISREG(st.st_mode);
}

bool File::flush() {
  int r;
  do {
    r = ::fsync(static_cast<int>(native()));
  } while (r != 0 && errno == EINTR);
  return r == 0;
}

namespace {

File open_for_read_native(const std::string& p, Error* error, FileFacts* facts) {
  // The name is held from the open to the registration: otherwise a delete
  // or a replace could slip in between and remove a file that is open.
  NameClaim claim(p);
  int kept = 0;
  Unregistered fd(open_reading(p, &kept));
  // The one look at the file: the registry's key, the folder check and the
  // caller's facts all come from it.
  struct stat st;
  // A folder cannot be opened as a file on Windows either.
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
    fail(error);
    return File();
  }
  if (S_ISDIR(st.st_mode)) {
    fail_code(error, EISDIR);
    return File();
  }
  if (!clear_nonblock(fd.get(), kept)) {
    fail(error);
    return File();
  }
  if (!registry().add(fd.get(), key_of(st), /*writer=*/false)) {
    refuse(error);
    return File();
  }
  if (facts) {
    facts->regular = S_ISREG(st.st_mode);
    facts->size = facts->regular ? std::int64_t{st.st_size} : 0;
  }
  return File(fd.release());
}

std::uint32_t attributes_native(const std::string& p) {
  struct stat st;
  if (::lstat(p.c_str(), &st) != 0) return kInvalidAttributes;
  if (S_ISLNK(st.st_mode)) {
    // Windows marks a link to a folder as both a folder and a reparse point,
    // and a link to a file (or to nothing) as a reparse point only.
    struct stat target;
    const bool to_folder = ::stat(p.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
    return kAttrReparsePoint | (to_folder ? kAttrDirectory : 0u);
  }
  return S_ISDIR(st.st_mode) ? kAttrDirectory : kAttrNormal;
}

}  // namespace

File open_for_read(const std::u16string& path, Error* error, FileFacts* facts) {
  return open_for_read_native(to_native(path), error, facts);
}

File open_for_read(const NativePath& path, Error* error, FileFacts* facts) {
  return open_for_read_native(path.text, error, facts);
}

File create_always(const std::u16string& path, Error* error) {
  return create_for_write(path, /*exclusive=*/false, error);
}

File create_new(const std::u16string& path, Error* error) { return create_for_write(path, /*exclusive=*/true, error); }

File open_for_append(const std::u16string& path) {
  const std::string p = to_native(path);
  NameClaim claim(p);
  Unregistered fd(open_retry(p, O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | kOpenFlags, 0666));
  struct stat st;
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !clear_nonblock(fd.get(), O_APPEND) ||
      !registry().add(fd.get(), key_of(st), /*writer=*/true)) {
    return File();
  }
  return File(fd.release());
}

std::uint32_t file_attributes(const std::u16string& path) { return attributes_native(to_native(path)); }

std::uint32_t file_attributes(const NativePath& path) { return attributes_native(path.text); }

bool delete_file(const std::u16string& path, Error* error) {
  const std::string p = to_native(path);
  // Held until the unlink is done: nothing can open the file meanwhile, nor
  // put another one at its name.
  NameClaim claim(p);
  struct stat st;
  if (::lstat(p.c_str(), &st) != 0) return fail(error);
  if (S_ISDIR(st.st_mode)) return fail_code(error, EISDIR);
  if (!registry().unused(key_of(st))) return refuse(error);
  return ::unlink(p.c_str()) == 0 || fail(error);
}

bool move_file(const std::u16string& from, const std::u16string& to, Error* error) {
  const std::string f = to_native(from);
  const std::string t = to_native(to);
  NameClaim claim(f, &t);
  struct stat st;
  if (::lstat(f.c_str(), &st) != 0) return fail(error);
  if (!registry().unused(key_of(st))) return refuse(error);
  if (::renameat2(AT_FDCWD, f.c_str(), AT_FDCWD, t.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return fail(error);
  // The file system cannot rename without replacing. A hard link fails on an
  // existing target just as the move must; folders (and file systems without
  // hard links) fall back to a check before the rename, which is not atomic.
  if (::link(f.c_str(), t.c_str()) == 0) return ::unlink(f.c_str()) == 0 || fail(error);
  if (errno == EEXIST) return fail(error);
  struct stat existing;
  if (::lstat(t.c_str(), &existing) == 0) return fail_code(error, EEXIST);
  return ::rename(f.c_str(), t.c_str()) == 0 || fail(error);
}

bool replace_file(const std::u16string& from, const std::u16string& to, Error* error) {
  const std::string f = to_native(from);
  const std::string t = to_native(to);
  // Both names are held until the rename is done: an open of the target
  // waits and then finds the new file, as it would have found the old one
  // before; it never finds neither.
  NameClaim claim(f, &t);
  ShareRegistry& reg = registry();
  struct stat st;
  if (::lstat(f.c_str(), &st) != 0) return fail(error);
  if (!reg.unused(key_of(st))) return refuse(error);
  struct stat target;
  // Windows refuses to replace a target that is open as access denied, not
  // as a sharing violation; so does this layer.
  if (::lstat(t.c_str(), &target) == 0 && !reg.unused(key_of(target))) return fail_code(error, EACCES);
  return ::rename(f.c_str(), t.c_str()) == 0 || fail(error);
}

bool copy_file(const std::u16string& from, const std::u16string& to, Error* error) {
  // Both ends go through the ordinary opens, so the copy obeys the sharing
  // rules (a source being written or a target open in any way fails) without
  // holding either name while the bytes move.
  FileFacts facts;
  File src = open_for_read(from, error, &facts);
  if (!src) return false;
  if (!facts.regular) return fail_code(error, EINVAL);
  File dst = create_always(to, error);
  if (!dst) return false;
  std::vector<char> buf(64 * 1024);
  Error why;
  for (;;) {
    std::uint32_t got = 0;
    if (!src.read(buf.data(), static_cast<std::uint32_t>(buf.size()), &got)) {
      why = last_error();
      break;
    }
    if (got == 0) return true;
    if (!write_all(dst, buf.data(), got)) {
      why = last_error();
      break;
    }
  }
  // A write that takes nothing without an error: the disk took no more.
  if (!why) why = Error{ErrorKind::no_space, ENOSPC};
  // A failed copy leaves no half-written target behind.
  dst.close();
  delete_file(to);
  return fail(error, why);
}

bool set_hidden(const std::u16string&, bool) { return true; }

bool create_folder(const std::u16string& path) { return ::mkdir(to_native(path).c_str(), 0755) == 0; }

bool remove_folder(const std::u16string& path) {
  const std::string p = to_native(path);
  struct stat st;
  if (::lstat(p.c_str(), &st) != 0) return false;
  if (S_ISLNK(st.st_mode)) {
    // A link to a folder goes as a link; its target stays untouched.
    struct stat target;
    if (::stat(p.c_str(), &target) != 0 || !S_ISDIR(target.st_mode)) return false;
    return ::unlink(p.c_str()) == 0;
  }
  return ::rmdir(p.c_str()) == 0;
}

bool list_folder(const std::u16string& path, const std::function<bool(const FolderEntry&)>& visit) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(to_native(path).c_str()), ::closedir);
  if (!dir) return false;
  for (;;) {
    errno = 0;
    const dirent* ent = ::readdir(dir.get());
    if (!ent) return errno == 0;
    const std::string_view name(ent->d_name);
    if (name == "." || name == "..") continue;
    FolderEntry entry;
    entry.name = utf8_to_utf16(name, name.size() + 1).value_or(std::u16string());
    unsigned char type = ent->d_type;
    if (type == DT_UNKNOWN) {
      // Some file systems do not fill in the type.
      struct stat st;
      if (::fstatat(::dirfd(dir.get()), ent->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_REG;
      }
    }
    // A link counts as a link whatever it points to, never as a folder: a
    // walk of the tree then removes the link instead of entering its target.
    entry.is_folder = type == DT_DIR;
    entry.is_link = type == DT_LNK;
    if (!visit(entry)) return true;
  }
}

}  // namespace platform
