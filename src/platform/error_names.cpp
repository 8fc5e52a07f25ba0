#include "platform/error.h"

namespace platform {

const char* error_kind_name(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::none: return "none";
    case ErrorKind::not_found: return "not_found";
    case ErrorKind::exists: return "exists";
    case ErrorKind::busy: return "busy";
    case ErrorKind::no_space: return "no_space";
    case ErrorKind::transient: return "transient";
    case ErrorKind::other: return "other";
  }
  return "other";
}

}  // namespace platform
