# Warnings for our own targets. Third-party code (GoogleTest, Benchmark) does
# not get these flags.
function(tarvos_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    target_compile_options(${target} PRIVATE -Wthread-safety)
  endif()
endfunction()
