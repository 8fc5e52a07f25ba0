// Places the launcher stores its data in.
#include "platform/process.h"

namespace platform {

// Windows makes the local application data folder with the profile, and the
// launcher makes its own folders below it.
bool prepare_local_app_data(const std::u16string&) { return true; }

}  // namespace platform
