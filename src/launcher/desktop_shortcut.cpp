#include "launcher/startup_steps.h"

void ensure_desktop_shortcut() {}
