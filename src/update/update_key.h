// The public key that update archives must be signed with: a build setting
// (CMake cache variable VESKLAR_UPDATE_PUBLIC_KEY, the path of a P-256
// public key in PEM). Its definition lives alone in update_key.cpp so that
// the signed test copy of the program can bring its own (the test key).
#pragma once

#include <string_view>

// The key in PEM, or empty when the program was built without one: then
// archives carry no signature and none is asked for.
std::string_view update_public_key_pem();
