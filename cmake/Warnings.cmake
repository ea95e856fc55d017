# SPDX-License-Identifier: Apache-2.0
# Project-wide warning flags; targets opt in with kelvo_warnings(<target>).
option(KELVO_WERROR "Treat compiler warnings as errors in the project's own targets (CI turns this on)" OFF)

function(kelvo_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wno-unused-parameter)
  if(KELVO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
    # GCC 12 reports -Warray-bounds from inside std::vector's reallocating insert (the memmove in stl_algobase.h)
    # for correct code such as `Payload response{status}; response.insert(response.end(), ...)`. They stay
    # visible as warnings; they must not stop the build.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
       AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
      target_compile_options(${target} PRIVATE -Wno-error=array-bounds)
    endif()
  endif()
endfunction()
