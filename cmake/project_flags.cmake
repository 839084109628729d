# Warnings are the project's business: its own builds (the presets, tests/run,
# CI) turn them into errors; a packager's build, with flags and compilers of
# its own, only shows them.
option(MORVID_WERROR "Treat warnings as errors (the project's own builds)" OFF)

# Flags for the daemon and the host library: no C++ run-time is wanted on the
# device, so exceptions, RTTI and thread-safe statics (which pull in
# libstdc++'s guard functions) are off, and linking goes through the C driver.
add_library(morvid_flags INTERFACE)
target_compile_options(morvid_flags INTERFACE
  -Wall -Wextra $<$<BOOL:${MORVID_WERROR}>:-Werror>
  $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti -fno-threadsafe-statics -fno-asynchronous-unwind-tables>)
target_link_options(morvid_flags INTERFACE -static-libgcc -Wl,--as-needed)
include(${CMAKE_CURRENT_LIST_DIR}/firmware.cmake)

# Give a target the C run-time only: it links with the C compiler driver.
function(morvid_c_runtime_only target)
  set_target_properties(${target} PROPERTIES LINKER_LANGUAGE C)
endfunction()

# A checking build (for example -DMORVID_SANITIZE=address,undefined) for the
# tests; its binaries need the sanitizer run-times, so never ship them.
set(MORVID_SANITIZE "" CACHE STRING "Sanitizers to build everything with")
if(MORVID_SANITIZE)
  add_compile_options(-fsanitize=${MORVID_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${MORVID_SANITIZE})
endif()
