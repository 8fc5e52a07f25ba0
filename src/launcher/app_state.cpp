#include "launcher/app_state.h"

AppState g_app;
