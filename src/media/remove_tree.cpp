#include "media/remove_tree.h"

#include "base/bounded_format.h"
#include "platform/files.h"
#include "platform/text.h"

namespace {

// A link to a file goes with a file delete, a link to a folder (or a
// junction) with a folder removal; neither touches what the link points to.
bool remove_link(const std::u16string& path) {
  return platform::delete_file(path) || platform::remove_folder(path);
}

}  // namespace

bool remove_tree(const std::u16string& folder) {
  const std::uint32_t attributes = platform::file_attributes(folder);
  if (attributes != platform::kInvalidAttributes && (attributes & platform::kAttrReparsePoint) != 0) {
    return remove_link(folder);
  }
  platform::list_folder(folder, [&folder](const platform::FolderEntry& entry) {
    // A name that holds a separator (POSIX allows a backslash in a name) or
    // that could not be read back would name some other path: leave it.
    if (entry.name.empty() || entry.name.find(u'\\') != std::u16string::npos ||
        entry.name.find(u'/') != std::u16string::npos) {
      return true;
    }
    std::u16string child;
    // The path limit also bounds the depth of the walk.
    if (!base::join_bounded(child, platform::kMaxPathChars, {folder, u"\\", entry.name})) return true;
    if (entry.is_link) {
      remove_link(child);
    } else if (entry.is_folder) {
      remove_tree(child);
    } else {
      platform::delete_file(child);  // failures stay in place, unreported
    }
    return true;
  });
  return platform::remove_folder(folder);
}
