# Warnings as errors on the project's own targets (not on third-party code).
function(quarix_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Werror)
endfunction()
