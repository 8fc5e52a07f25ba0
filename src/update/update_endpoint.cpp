#include "http/handlers.h"

void handle_update_request(platform::NativeHandle socket, const RequestHead&) {
  send_not_implemented(socket);
}
