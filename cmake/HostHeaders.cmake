# Header-only libraries from the build machine's distribution (CLI11,
# Boost, nlohmann-json) for the programs beside the plugin. A native build
# finds them on the compiler's own path. A cross build for Windows gets a
# folder holding only these libraries' folders, never all of /usr/include,
# whose C library headers are the build machine's and not the target's.
#
#   tarvos_host_headers(TARGET CLI boost nlohmann)
#
# The folder is public: what links a library using them sees them too.
function(tarvos_host_headers target)
  set(dir "${CMAKE_BINARY_DIR}/host-headers")
  foreach(lib IN LISTS ARGN)
    if(NOT EXISTS "/usr/include/${lib}")
      message(FATAL_ERROR "${target} needs /usr/include/${lib} "
                          "(run .ci/install-deps.sh)")
    endif()
    if(CMAKE_CROSSCOMPILING AND NOT EXISTS "${dir}/${lib}")
      file(MAKE_DIRECTORY "${dir}")
      file(CREATE_LINK "/usr/include/${lib}" "${dir}/${lib}" SYMBOLIC)
    endif()
  endforeach()
  if(CMAKE_CROSSCOMPILING)
    target_include_directories(${target} SYSTEM PUBLIC "${dir}")
  endif()
endfunction()
