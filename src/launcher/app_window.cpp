#include "launcher/startup_steps.h"

void launch_app_window() {}
