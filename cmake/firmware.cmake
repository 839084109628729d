# The firmware profile: morvid and libzuqutil.so go into a flash image where
# every KiB counts, so a cross build (the device) is made for size. Host
# builds keep their debuggable -O2 code. Only the morvid_flags targets get
# it; GoogleTest is built as it comes.
if(CMAKE_CROSSCOMPILING)
  set(morvid_firmware_default ON)
else()
  set(morvid_firmware_default OFF)
endif()
option(MORVID_FIRMWARE "Build morvid and libzuqutil.so for size, as the firmware image wants them"
       ${morvid_firmware_default})

if(MORVID_FIRMWARE)
  # After the build type's -O2 on the command line, so -Os wins. Each function
  # and object in its own section lets the linker drop what nothing uses. The
  # executable exports nothing, so hidden symbols keep its own functions out
  # of the dynamic symbol table (on MIPS each such one also costs a GOT entry).
  target_compile_options(morvid_flags INTERFACE
    -Os -ffunction-sections -fdata-sections -fno-unwind-tables -fvisibility=hidden)
  target_link_options(morvid_flags INTERFACE -Wl,--gc-sections -Wl,--build-id=none)
  # GNU hash is the smaller table, except on MIPS: there it becomes
  # DT_MIPS_XHASH, larger than the classic table and unknown to some of the
  # device C libraries' loaders.
  if(CMAKE_EXE_LINKER_FLAGS MATCHES "hash-style")
    # The build system's own choice stands (Yocto checks for GNU hash).
  elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^mips")
    target_link_options(morvid_flags INTERFACE -Wl,--hash-style=sysv)
  else()
    target_link_options(morvid_flags INTERFACE -Wl,--hash-style=gnu)
  endif()
endif()
