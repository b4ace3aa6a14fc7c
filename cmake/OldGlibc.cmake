# Model libraries for 64-bit Linux that load with glibc 2.17 and later,
# built with this machine's newer glibc: the few functions the static C++
# runtime, the unwinder and libm take in a version newer than 2.17 are
# redirected at link time to shims (cmake/old-glibc-shims.c) that call the
# oldest version of the same function, or stand in for it. The test
# kit_glibc_symbol_versions checks the result with objdump -T; the Debian 11
# run loads the libraries with an older C library.
option(TESSEL_OLD_GLIBC "Link the Linux model libraries so that they load with glibc 2.17 and later" ON)

set(TESSEL_OLD_GLIBC_WRAPPED exp log pow pthread_once __pthread_key_create fstat64
                             __libc_single_threaded _dl_find_object)

# Sanitized libraries need this machine's sanitizer runtime and never load
# elsewhere: they are linked as they are.
if(TESSEL_OLD_GLIBC AND NOT TESSEL_SANITIZE AND NOT WIN32 AND CMAKE_SYSTEM_NAME STREQUAL "Linux"
   AND CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64")
  add_library(tessel_old_glibc_shims OBJECT ${CMAKE_CURRENT_LIST_DIR}/old-glibc-shims.c)
  set_target_properties(tessel_old_glibc_shims PROPERTIES POSITION_INDEPENDENT_CODE ON
                                                          C_VISIBILITY_PRESET hidden)
  # One section per shim: --gc-sections drops those a library does not use.
  target_compile_options(tessel_old_glibc_shims PRIVATE -ffunction-sections -fdata-sections)
endif()

# Links `target` (a model library) against the shims. Before glibc 2.34 the
# thread functions lived in libpthread.so.0, which the library then names as
# a dependency so that an old C library resolves them.
function(tessel_old_glibc_link target)
  if(NOT TARGET tessel_old_glibc_shims)
    return()
  endif()
  target_link_libraries(${target} PRIVATE tessel_old_glibc_shims)
  foreach(symbol ${TESSEL_OLD_GLIBC_WRAPPED})
    target_link_options(${target} PRIVATE -Wl,--wrap=${symbol})
  endforeach()
  target_link_options(${target} PRIVATE -Wl,--push-state,--no-as-needed,-l:libpthread.so.0,--pop-state)
endfunction()
