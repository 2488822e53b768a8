# Warning flags, carried by an interface target so that every target of the
# project (library, tool, tests, fuzzers) gets the same set.
add_library(arcdig_warnings INTERFACE)
target_compile_options(arcdig_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual -Wcast-align
  -Wnull-dereference -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough)
if(ARCDIG_WERROR)
  target_compile_options(arcdig_warnings INTERFACE -Werror)
endif()
