#include "launcher/startup_steps.h"

bool offer_update_at_startup() { return false; }
