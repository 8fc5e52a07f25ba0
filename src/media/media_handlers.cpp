#include "http/handlers.h"

void handle_media_upload(platform::NativeHandle socket, const char*, const char*, const char*,
                         std::int32_t) {
  send_not_implemented(socket);
}
void serve_media(platform::NativeHandle socket, const char*, const char*, bool) {
  send_not_implemented(socket);
}
void handle_media_copy(platform::NativeHandle socket, const char*) { send_not_implemented(socket); }
void handle_media_delete(platform::NativeHandle socket, const char*) { send_not_implemented(socket); }
void handle_save(platform::NativeHandle socket, const char*, const char*, const char*, std::int32_t) {
  send_not_implemented(socket);
}
