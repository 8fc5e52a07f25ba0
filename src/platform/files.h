// Files and folders, with the Windows sharing rules on both systems.
//
// Paths are in Windows form (see platform/text.h). Every function may be
// called from any thread; failures are return values, never exceptions.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/error.h"
#include "platform/handle.h"
#include "platform/native_path.h"

namespace platform {

// Windows sharing rules are part of the contract, and the POSIX layer
// reproduces them inside this process:
//  - a file open for reading may be opened for reading again, but cannot be
//    opened for writing, deleted, moved or replaced while it is open;
//  - a file open for writing cannot be opened again in any way, deleted,
//    moved or replaced while it is open.
//
// The calls that take an `Error* error` say why they failed: on failure they
// store the cause in `*error` when `error` is not null, and leave it alone on
// success. A refusal by the sharing rules is `ErrorKind::busy` on both
// systems (Windows: ERROR_SHARING_VIOLATION; POSIX: the layer's own
// refusal, reported with the number EBUSY), with one exception Windows
// makes: `replace_file` onto a target that is open is refused as access
// denied (`other`; POSIX: EACCES), which cannot be told from a target that
// may not be written. `last_error()` is not a
// substitute for them: the POSIX layer refuses some calls without errno.

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

// What the open of a file tells about it, without another look at the path
// (POSIX: the one fstat the open makes anyway; Windows: one
// GetFileInformationByHandle).
struct FileFacts {
  bool regular = false;   // as `File::is_regular`
  std::int64_t size = 0;  // as `File::size`; 0 when not `regular`
};

// Existing files only, reading, shared with other readers only. A refusal
// that lasts only an instant (Windows: the sharing violation a replacing
// move causes while it holds the target) is tried again for a few
// milliseconds, so a reader never takes a replaced file for a missing one.
// A folder is never opened. With `facts`, success fills `*facts`. POSIX: the
// access time is left alone where the file's owner may ask that.
File open_for_read(const std::u16string& path, Error* error = nullptr, FileFacts* facts = nullptr);
File open_for_read(const NativePath& path, Error* error = nullptr, FileFacts* facts = nullptr);
// Writing, no sharing, created anew or truncated ("create always").
File create_always(const std::u16string& path, Error* error = nullptr);
// Writing, no sharing, fails when anything exists at the path ("create new").
File create_new(const std::u16string& path, Error* error = nullptr);
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
std::uint32_t file_attributes(const NativePath& path);

bool delete_file(const std::u16string& path, Error* error = nullptr);
// Moves or renames; fails when the target exists.
bool move_file(const std::u16string& from, const std::u16string& to, Error* error = nullptr);
// Moves over an existing target in one atomic step; fails (leaving both as
// they were) when either is open.
bool replace_file(const std::u16string& from, const std::u16string& to, Error* error = nullptr);
// Copies, replacing an existing target. `error` tells a full disk (no_space) from a source that is missing
// (not_found) or held (busy) and a target that is held (busy).
bool copy_file(const std::u16string& from, const std::u16string& to, Error* error = nullptr);
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

// Writes all `len` bytes through `File::write`, as many calls as it takes.
// False when a write fails or takes nothing; after a failed write,
// `last_error()` on the same thread right after the call tells why.
bool write_all(File& file, const void* data, std::uint32_t len);

}  // namespace platform
