# AddressSanitizer and UndefinedBehaviorSanitizer, with every report fatal.
add_library(arcdig_sanitizers INTERFACE)
if(ARCDIG_SANITIZE)
  set(_arcdig_san -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_compile_options(arcdig_sanitizers INTERFACE ${_arcdig_san})
  target_link_options(arcdig_sanitizers INTERFACE ${_arcdig_san})
endif()
