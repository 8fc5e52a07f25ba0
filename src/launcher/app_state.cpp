#include "launcher/app_state.h"

namespace {

// Holds the record without ever destroying it. Detached workers may still
// be serving when the launcher returns, and they go on reading the folders
// while the process runs its static destructors on the way out.
union NeverDestroyed {
  AppState state;
  constexpr NeverDestroyed() : state() {}
  ~NeverDestroyed() {}
};

constinit NeverDestroyed g_storage;

}  // namespace

AppState& g_app = g_storage.state;
