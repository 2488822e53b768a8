# GoogleTest compiled with the project's own (cross) compiler from the
# sources Debian ships in the googletest package, for builds where the
# host's prebuilt library does not fit (a Windows build made on Linux).
# Provides the same targets as find_package(GTest): GTest::gtest and
# GTest::gtest_main.
set(ARCDIG_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
if(NOT EXISTS ${ARCDIG_GTEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${ARCDIG_GTEST_SOURCE_DIR} "
                      "(Debian package googletest)")
endif()

set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${ARCDIG_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

foreach(_arcdig_gtest_target gtest gtest_main)
  # Its headers count as system headers, so the project's warning flags do
  # not apply to them.
  get_target_property(_arcdig_gtest_includes ${_arcdig_gtest_target} INTERFACE_INCLUDE_DIRECTORIES)
  set_target_properties(${_arcdig_gtest_target} PROPERTIES
    INTERFACE_SYSTEM_INCLUDE_DIRECTORIES "${_arcdig_gtest_includes}")
endforeach()
if(NOT TARGET GTest::gtest)  # recent GoogleTest versions define these themselves
  add_library(GTest::gtest ALIAS gtest)
  add_library(GTest::gtest_main ALIAS gtest_main)
endif()
