# SPDX-License-Identifier: Apache-2.0
# SANITIZE=address,undefined or SANITIZE=thread selects a sanitizer build for every target.
set(SANITIZE "" CACHE STRING "Comma-separated list of sanitizers (address,undefined | thread)")
if(SANITIZE)
  string(REPLACE "," ";" _sanitizers "${SANITIZE}")
  foreach(_s IN LISTS _sanitizers)
    if(NOT _s MATCHES "^(address|undefined|thread|leak)$")
      message(FATAL_ERROR "Unknown sanitizer '${_s}'")
    endif()
  endforeach()
  set(_flags "-fsanitize=${SANITIZE}" -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_compile_options(${_flags})
  add_link_options("-fsanitize=${SANITIZE}")
endif()

# The fuzzing build instruments every library for coverage; only the fuzz targets link libFuzzer's main.
if(KELVO_BUILD_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "The fuzz targets need clang (CXX=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
