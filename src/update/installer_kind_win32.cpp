#include "update/installer_script.h"

const InstallerKind& platform_installer() { return kPowerShellInstaller; }
