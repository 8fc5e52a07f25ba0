// Files and folders on POSIX, with the Windows sharing rules reproduced
// inside this process.
//
// POSIX has no sharing modes, yet the portable code relies on them: a file
// being played cannot be deleted or replaced, and two writers of one file
// cannot both have it. A process-wide registry keyed by (device, inode)
// counts the readers and marks the writer of every file this layer has open;
// opening, closing and every delete, move, replace and copy consult it under
// one mutex, so each of them is atomic with respect to the others. Other
// processes are not covered: they do not know the rules anyway.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/posix_path.h"

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
  std::mutex& mutex() { return mutex_; }

  // The callers below hold mutex() for all of these.
  bool in_use(const FileKey& key) const { return by_file_.count(key) != 0; }
  bool has_writer(const FileKey& key) const {
    auto it = by_file_.find(key);
    return it != by_file_.end() && it->second.writer;
  }
  void add(int fd, const FileKey& key, bool writer) {
    Usage& u = by_file_[key];
    if (writer) {
      u.writer = true;
    } else {
      ++u.readers;
    }
    by_fd_[fd] = {key, writer};
  }
  void remove(int fd) {
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

int open_retry(const std::string& path, int flags, mode_t mode) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Descriptors are opened non-blocking so that a FIFO at the path cannot hang
// the call (and with it the registry lock); reads and writes then block as
// usual.
bool clear_nonblock(int fd) {
  const int fl = ::fcntl(fd, F_GETFL);
  return fl >= 0 && ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK) == 0;
}

constexpr int kOpenFlags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

// Creates or opens a file for writing with no sharing. `exclusive` is
// "create new". Never follows a symbolic link at the path: in a shared folder
// such a link could point anywhere.
File create_for_write(const std::u16string& path, bool exclusive) {
  const std::string p = to_native(path);
  ShareRegistry& reg = registry();
  std::lock_guard<std::mutex> lock(reg.mutex());
  // No O_TRUNC: a file that someone has open must keep its content, so the
  // truncation waits until the registry has been asked.
  const int fd = open_retry(p, O_WRONLY | O_CREAT | O_NOFOLLOW | kOpenFlags | (exclusive ? O_EXCL : 0), 0666);
  if (fd < 0) return File();
  struct stat st;
  if (::fstat(fd, &st) != 0 || reg.in_use(key_of(st)) || (S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0) ||
      !clear_nonblock(fd)) {
    ::close(fd);
    return File();
  }
  reg.add(fd, key_of(st), /*writer=*/true);
  return File(fd);
}

bool write_all(File& f, const char* data, std::uint32_t len) {
  while (len > 0) {
    std::uint32_t n = 0;
    if (!f.write(data, len, &n) || n == 0) return false;
    data += n;
    len -= n;
  }
  return true;
}

}  // namespace

void FileTraits::close(value_type h) {
  ShareRegistry& reg = registry();
  std::lock_guard<std::mutex> lock(reg.mutex());
  reg.remove(static_cast<int>(h));
  // Closed under the lock so that the descriptor number cannot be reused and
  // registered by another thread before its old entry is gone.
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

File open_for_read(const std::u16string& path) {
  const std::string p = to_native(path);
  ShareRegistry& reg = registry();
  // The open happens under the lock too: otherwise a delete could slip in
  // between the open and the registration and remove a file that is open.
  std::lock_guard<std::mutex> lock(reg.mutex());
  const int fd = open_retry(p, O_RDONLY | kOpenFlags, 0);
  if (fd < 0) return File();
  struct stat st;
  // A folder cannot be opened as a file on Windows either.
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) || reg.has_writer(key_of(st)) || !clear_nonblock(fd)) {
    ::close(fd);
    return File();
  }
  reg.add(fd, key_of(st), /*writer=*/false);
  return File(fd);
}

File create_always(const std::u16string& path) { return create_for_write(path, /*exclusive=*/false); }

File create_new(const std::u16string& path) { return create_for_write(path, /*exclusive=*/true); }

std::uint32_t file_attributes(const std::u16string& path) {
  const std::string p = to_native(path);
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

bool delete_file(const std::u16string& path) {
  const std::string p = to_native(path);
  ShareRegistry& reg = registry();
  std::lock_guard<std::mutex> lock(reg.mutex());
  struct stat st;
  if (::lstat(p.c_str(), &st) != 0 || S_ISDIR(st.st_mode) || reg.in_use(key_of(st))) return false;
  return ::unlink(p.c_str()) == 0;
}

bool move_file(const std::u16string& from, const std::u16string& to) {
  const std::string f = to_native(from);
  const std::string t = to_native(to);
  ShareRegistry& reg = registry();
  std::lock_guard<std::mutex> lock(reg.mutex());
  struct stat st;
  if (::lstat(f.c_str(), &st) != 0 || reg.in_use(key_of(st))) return false;
  if (::renameat2(AT_FDCWD, f.c_str(), AT_FDCWD, t.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // The file system cannot rename without replacing. A hard link fails on an
  // existing target just as the move must; folders (and file systems without
  // hard links) fall back to a check before the rename, which is not atomic.
  if (::link(f.c_str(), t.c_str()) == 0) return ::unlink(f.c_str()) == 0;
  if (errno == EEXIST) return false;
  struct stat existing;
  if (::lstat(t.c_str(), &existing) == 0) return false;
  return ::rename(f.c_str(), t.c_str()) == 0;
}

bool replace_file(const std::u16string& from, const std::u16string& to) {
  const std::string f = to_native(from);
  const std::string t = to_native(to);
  ShareRegistry& reg = registry();
  std::lock_guard<std::mutex> lock(reg.mutex());
  struct stat st;
  if (::lstat(f.c_str(), &st) != 0 || reg.in_use(key_of(st))) return false;
  struct stat target;
  if (::lstat(t.c_str(), &target) == 0 && reg.in_use(key_of(target))) return false;
  return ::rename(f.c_str(), t.c_str()) == 0;
}

bool copy_file(const std::u16string& from, const std::u16string& to) {
  // Both ends go through the ordinary opens, so the copy obeys the sharing
  // rules (a source being written or a target open in any way fails) without
  // holding the registry lock while the bytes move.
  File src = open_for_read(from);
  if (!src || !src.is_regular()) return false;
  File dst = create_always(to);
  if (!dst) return false;
  std::vector<char> buf(64 * 1024);
  for (;;) {
    std::uint32_t got = 0;
    if (!src.read(buf.data(), static_cast<std::uint32_t>(buf.size()), &got)) break;
    if (got == 0) return true;
    if (!write_all(dst, buf.data(), got)) break;
  }
  // A failed copy leaves no half-written target behind.
  dst.close();
  delete_file(to);
  return false;
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
