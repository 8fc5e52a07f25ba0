// Places the launcher stores its data in: the data home of the freedesktop
// base-directory rules stands for LOCALAPPDATA.
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "platform/posix/posix_path.h"
#include "platform/process.h"

namespace platform {
namespace {

// The base-directory rules make a missing data home private to its user.
constexpr mode_t kDataHomeMode = 0700;

bool is_folder(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

bool prepare_local_app_data(const std::u16string& folder) {
  const std::string path = posix::to_native(folder);
  if (path.empty()) return false;
  // Each level from the top down: an existing one is left as it is, a
  // missing one is made. A level that another process makes meanwhile
  // counts as made.
  std::size_t end = 0;
  while (end != std::string::npos) {
    end = path.find('/', end + 1);
    const std::string level = path.substr(0, end);
    if (level.empty() || is_folder(level)) continue;
    if (::mkdir(level.c_str(), kDataHomeMode) != 0 && errno != EEXIST) return false;
  }
  return is_folder(path);
}

}  // namespace platform
