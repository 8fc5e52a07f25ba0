#include "platform/platform.h"
#include "update/installer_script.h"

const InstallerKind& platform_installer() { return kPowerShellInstaller; }

// The per-user temporary folder, which other users cannot enter, under the
// fixed names the installer hand-off has always used.
std::optional<InstallerFolder> installer_folder() {
  std::optional<std::u16string> folder = platform::temp_folder();
  if (!folder) return std::nullopt;
  return InstallerFolder{std::move(*folder), false};
}
