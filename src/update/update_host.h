// The update host: a build setting (CMake cache variables VESKLAR_UPDATE_HOST
// and VESKLAR_UPDATE_PORT). Its definitions live alone in update_host.cpp so
// that the test copy of the program can bring its own (a host on this
// machine) without compiling the rest of the core twice.
#pragma once

#include <cstdint>
#include <string_view>

// Host name, as the TLS certificate names it.
std::string_view update_host_name();
// HTTPS port; 443 unless the build says otherwise.
std::uint16_t update_host_port();
