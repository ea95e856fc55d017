# Project-wide warning flags; targets opt in with kelvo_warnings(<target>).
function(kelvo_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wno-unused-parameter)
endfunction()
