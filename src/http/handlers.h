// Every request handler the router can choose. Each sends at most one
// answer on `socket`; the worker closes the connection afterwards. The
// context gives the folders and the version; handlers never change it.
#pragma once

#include <cstdint>

#include "http/request_head.h"
#include "http/server_context.h"
#include "platform/handle.h"

void serve_static(const ServerContext& context, platform::NativeHandle socket, const char* path, const char* range,
                  bool head_only);
void handle_media_upload(const ServerContext& context, platform::NativeHandle socket, const char* query,
                         const char* header_block, const char* body_prefix, std::int32_t body_prefix_count);
void serve_media(const ServerContext& context, platform::NativeHandle socket, const char* path, const char* range,
                 bool head_only);
void handle_media_copy(const ServerContext& context, platform::NativeHandle socket, const char* query);
void handle_media_delete(const ServerContext& context, platform::NativeHandle socket, const char* path);
void handle_save(const ServerContext& context, platform::NativeHandle socket, const char* query,
                 const char* header_block, const char* body_prefix, std::int32_t body_prefix_count);
void handle_update_request(const ServerContext& context, platform::NativeHandle socket, const RequestHead& head);

// The answer of routes whose handlers are not built yet.
void send_not_implemented(platform::NativeHandle socket);
