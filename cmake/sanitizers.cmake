# Native sanitizer builds: 'address' is AddressSanitizer with
# UndefinedBehaviorSanitizer, 'thread' is ThreadSanitizer.
if(VESKLAR_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(VESKLAR_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT VESKLAR_SANITIZE STREQUAL "")
  message(FATAL_ERROR "VESKLAR_SANITIZE must be '', 'address' or 'thread'")
endif()
if(NOT VESKLAR_SANITIZE STREQUAL "" AND WIN32)
  message(FATAL_ERROR "Sanitizers are for the native build only")
endif()
