#include "media/export_part.h"

#include "base/bounded_format.h"
#include "platform/files.h"
#include "platform/text.h"

namespace {

constexpr std::size_t kSuffixUnits = sizeof kPartSuffix / sizeof kPartSuffix[0] - 1;

}  // namespace

bool is_part_name(std::u16string_view name) {
  return name.size() >= kSuffixUnits && base::ascii_iequal(name.substr(name.size() - kSuffixUnits), kPartSuffix);
}

std::u16string keep_off_part_names(std::u16string export_name) {
  if (is_part_name(export_name)) export_name[export_name.size() - kSuffixUnits] = u'_';
  return export_name;
}

void remove_leftover_exports(const std::u16string& folder) {
  if (folder.empty()) return;
  platform::list_folder(folder, [&](const platform::FolderEntry& entry) {
    std::u16string path;
    if (!entry.is_folder && !entry.is_link && is_part_name(entry.name) &&
        base::join_bounded(path, platform::kMaxPathChars, {folder, u"\\", entry.name})) {
      platform::delete_file(path);
    }
    return true;
  });
}
