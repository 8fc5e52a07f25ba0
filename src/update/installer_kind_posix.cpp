#include "platform/platform.h"
#include "update/installer_script.h"

const InstallerKind& platform_installer() { return kShellInstaller; }

// A temporary folder on Linux is shared by every account: fixed names there
// could be planted or linked elsewhere by another user beforehand.
std::optional<InstallerFolder> installer_folder() {
  std::optional<std::u16string> folder = platform::make_private_temp_folder(u"vesklar-update-");
  if (!folder) return std::nullopt;
  return InstallerFolder{std::move(*folder), true};
}
