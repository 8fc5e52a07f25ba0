// Only the two build constants: anything else placed here would stop the
// test copy's own definitions from standing in for these (see CMakeLists).
#include "update/update_host.h"

std::string_view update_host_name() { return VESKLAR_UPDATE_HOST; }

std::uint16_t update_host_port() { return VESKLAR_UPDATE_PORT; }
