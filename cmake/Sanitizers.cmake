# TARVOS_SANITIZE=address builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer; TARVOS_SANITIZE=thread with ThreadSanitizer.
if(TARVOS_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(TARVOS_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT TARVOS_SANITIZE STREQUAL "")
  message(FATAL_ERROR "TARVOS_SANITIZE must be '', 'address' or 'thread'")
endif()

# TARVOS_FUZZ_INSTRUMENT (the "fuzz" preset) compiles every target with
# libFuzzer coverage plus AddressSanitizer and UndefinedBehaviorSanitizer, so
# the fuzz targets see coverage of the plugin code they drive, not only of
# their own file. Only the fuzz targets link libFuzzer's main. The stand-in
# simulator is left out of the coverage (not of the sanitizers).
option(TARVOS_FUZZ_INSTRUMENT "Instrument all code for the libFuzzer targets" OFF)
if(TARVOS_FUZZ_INSTRUMENT)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined
                      -fno-omit-frame-pointer
                      "-fsanitize-coverage-ignorelist=${CMAKE_CURRENT_LIST_DIR}/fuzz-coverage-ignore.txt")
  add_link_options(-fsanitize=address,undefined)
endif()
