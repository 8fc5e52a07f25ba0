// Files and folders through the Win32 file services.
//
// The sharing modes below are what the rest of the launcher relies on: a
// served file (read sharing only) cannot be deleted or replaced under a
// reader, and a file being written (no sharing) cannot be touched at all.
#include "platform/error.h"
#include "platform/files.h"
#include "platform/handle.h"
#include "platform/win32/win32.h"

namespace platform {

using win32::from_handle;
using win32::to_handle;
using win32::wide;

void FileTraits::close(value_type h) { ::CloseHandle(to_handle(h)); }

bool File::read(void* buf, std::uint32_t want, std::uint32_t* got) {
  DWORD n = 0;
  const BOOL ok = ::ReadFile(to_handle(native()), buf, want, &n, nullptr);
  *got = n;
  return ok != FALSE;
}

bool File::write(const void* buf, std::uint32_t len, std::uint32_t* written) {
  DWORD n = 0;
  const BOOL ok = ::WriteFile(to_handle(native()), buf, len, &n, nullptr);
  *written = n;
  return ok != FALSE;
}

bool File::seek(std::int64_t offset) {
  LARGE_INTEGER to;
  to.QuadPart = offset;
  return ::SetFilePointerEx(to_handle(native()), to, nullptr, FILE_BEGIN) != FALSE;
}

bool File::size(std::int64_t* out) {
  LARGE_INTEGER s;
  if (!::GetFileSizeEx(to_handle(native()), &s)) return false;
  *out = s.QuadPart;
  return true;
}

bool File::is_regular() {
  if (::GetFileType(to_handle(native())) != FILE_TYPE_DISK) return false;
  // A folder opened with backup semantics is a disk "file" as well.
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(to_handle(native()), &info)) return false;
  return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool File::flush() { return ::FlushFileBuffers(to_handle(native())) != FALSE; }

namespace {

// A replacing move holds its target open with delete access for an instant,
// and a reader that does not share delete access is refused with a sharing
// violation just then, as if the file were in use. Such a refusal is tried
// again a few times, a millisecond apart (Sleep rounds up to the system
// clock tick: with the default 15.6 ms tick the whole wait stays under a
// tenth of a second); a file that a writer really holds is still refused.
constexpr int kSharingAttempts = 6;
constexpr DWORD kSharingRetryDelayMs = 1;

// Stores GetLastError() for a caller that asked, when `ok` is false.
bool checked(bool ok, Error* error) {
  if (!ok && error) *error = last_error();
  return ok;
}

File open_with(const std::u16string& path, DWORD access, DWORD share, DWORD disposition, Error* error) {
  // INVALID_HANDLE_VALUE is (HANDLE)-1, the same value as kInvalidNative.
  HANDLE h = ::CreateFileW(wide(path), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
  File file(from_handle(h));
  checked(file.valid(), error);
  return file;
}

}  // namespace

namespace {

// One look at an open handle. GetFileInformationByHandle is not for pipe
// handles, so the type is asked first; its size is that of the data (what
// GetFileSizeEx gives), its attributes tell a folder.
bool read_facts(HANDLE h, FileFacts* facts, Error* error) {
  *facts = FileFacts{};
  if (::GetFileType(h) != FILE_TYPE_DISK) return true;
  BY_HANDLE_FILE_INFORMATION info;
  if (!checked(::GetFileInformationByHandle(h, &info) != FALSE, error)) return false;
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return true;
  facts->regular = true;
  facts->size = static_cast<std::int64_t>((std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow);
  return true;
}

File open_reading(const std::u16string& path, Error* error, FileFacts* facts) {
  for (int attempt = 1;; ++attempt) {
    File file = open_with(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, error);
    if (file) {
      if (facts && !read_facts(to_handle(file.native()), facts, error)) return File();
      return file;
    }
    if (attempt >= kSharingAttempts || ::GetLastError() != ERROR_SHARING_VIOLATION) return file;
    ::Sleep(kSharingRetryDelayMs);
  }
}

}  // namespace

File open_for_read(const std::u16string& path, Error* error, FileFacts* facts) {
  return open_reading(path, error, facts);
}

File open_for_read(const NativePath& path, Error* error, FileFacts* facts) {
  return open_reading(path.text, error, facts);
}

File create_always(const std::u16string& path, Error* error) {
  return open_with(path, GENERIC_WRITE, 0, CREATE_ALWAYS, error);
}

File create_new(const std::u16string& path, Error* error) {
  return open_with(path, GENERIC_WRITE, 0, CREATE_NEW, error);
}

File open_for_append(const std::u16string& path) {
  // Append data without write data: a write can never land anywhere but at
  // the end. Attribute reading is for the size (GetFileSizeEx); SYNCHRONIZE
  // lets the handle's synchronous writes wait. Readers share it, so the
  // file can be looked at while it grows.
  return open_with(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE, FILE_SHARE_READ, OPEN_ALWAYS, nullptr);
}

std::uint32_t file_attributes(const std::u16string& path) {
  return ::GetFileAttributesW(wide(path));
}

std::uint32_t file_attributes(const NativePath& path) { return ::GetFileAttributesW(wide(path.text)); }

bool delete_file(const std::u16string& path, Error* error) {
  return checked(::DeleteFileW(wide(path)) != FALSE, error);
}

bool move_file(const std::u16string& from, const std::u16string& to, Error* error) {
  return checked(::MoveFileW(wide(from), wide(to)) != FALSE, error);
}

bool replace_file(const std::u16string& from, const std::u16string& to, Error* error) {
  return checked(::MoveFileExW(wide(from), wide(to), MOVEFILE_REPLACE_EXISTING) != FALSE, error);
}

bool copy_file(const std::u16string& from, const std::u16string& to, Error* error) {
  return checked(::CopyFileW(wide(from), wide(to), FALSE) != FALSE, error);
}

bool set_hidden(const std::u16string& path, bool hidden) {
  // Only FILE_WRITE_ATTRIBUTES is needed, which no sharing mode withholds,
  // so this works on a file that is open without sharing too.
  return ::SetFileAttributesW(wide(path), hidden ? FILE_ATTRIBUTE_HIDDEN : FILE_ATTRIBUTE_NORMAL) != FALSE;
}

bool create_folder(const std::u16string& path) {
  return ::CreateDirectoryW(wide(path), nullptr) != FALSE;
}

bool remove_folder(const std::u16string& path) {
  // On a junction or folder link this removes the link, never the target.
  return ::RemoveDirectoryW(wide(path)) != FALSE;
}

namespace {

struct FindTraits {
  using value_type = HANDLE;
  static value_type invalid() { return INVALID_HANDLE_VALUE; }
  static void close(value_type h) { ::FindClose(h); }
};

bool is_dot_entry(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

}  // namespace

bool list_folder(const std::u16string& path,
                 const std::function<bool(const FolderEntry&)>& visit) {
  std::u16string pattern = path;
  if (!pattern.empty() && pattern.back() != u'\\' && pattern.back() != u'/') pattern += u'\\';
  pattern += u'*';

  WIN32_FIND_DATAW data;
  UniqueHandle<FindTraits> find(::FindFirstFileW(wide(pattern), &data));
  if (!find) return false;
  do {
    if (is_dot_entry(data.cFileName)) continue;
    const bool reparse = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    FolderEntry entry;
    entry.name = reinterpret_cast<const char16_t*>(data.cFileName);
    entry.is_link = reparse;
    entry.is_folder = !reparse && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!visit(entry)) return true;
  } while (::FindNextFileW(find.get(), &data));
  return ::GetLastError() == ERROR_NO_MORE_FILES;
}

}  // namespace platform
