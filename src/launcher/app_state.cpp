#include "launcher/app_state.h"

namespace {

// Holds the record without ever destroying it. Detached workers may still
// be serving when the launcher returns, and they go on reading the folders
// while the process runs its static destructors on the way out.
union NeverDestroyed {
  AppState state;
  NeverDestroyed() : state() {}
  ~NeverDestroyed() {}
};

// Built before main (not at compile time: the open-page table's mutex is not
// constexpr on every toolchain); nothing reads the record during static
// initialisation.
NeverDestroyed g_storage;

}  // namespace

AppState& g_app = g_storage.state;
