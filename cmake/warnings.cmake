# Warnings are errors in spirit: both targets build clean with these.
add_library(vesklar_warnings INTERFACE)
target_compile_options(vesklar_warnings INTERFACE -Wall -Wextra -Wshadow -Wformat=2)
