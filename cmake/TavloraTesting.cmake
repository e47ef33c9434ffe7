# tavlora_add_test(NAME SOURCES a.cpp b.cpp LIBS tavlora::chess ...)
# One Qt Test executable, registered with CTest, run without a display.
function(tavlora_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE tavlora::options Qt6::Test ${ARG_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/common)
  target_compile_definitions(${name} PRIVATE
    TAVLORA_FIXTURES="${PROJECT_SOURCE_DIR}/tests/fixtures")
  add_test(NAME ${name} COMMAND ${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_LOGGING_RULES=*.debug=false;${ARG_ENV}")
endfunction()

# Builds every fuzz target at once (scripts/test.sh builds only these in the clang tree).
add_custom_target(tavlora_fuzzers)

# tavlora_add_fuzzer(NAME SOURCES fuzz.cpp LIBS ...): a libFuzzer target, built only with
# TAVLORA_FUZZ, plus a CTest entry that runs it for a bounded time from its corpus.
function(tavlora_add_fuzzer name)
  cmake_parse_arguments(ARG "" "SECONDS" "SOURCES;LIBS" ${ARGN})
  if(NOT TAVLORA_FUZZ)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE tavlora::options ${ARG_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  add_dependencies(tavlora_fuzzers ${name})
  if(NOT ARG_SECONDS)
    set(ARG_SECONDS 30)
  endif()
  set(corpus ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${name})
  # libFuzzer adds what it finds to the first folder: keep that in the build tree, not in git.
  set(found ${CMAKE_CURRENT_BINARY_DIR}/corpus/${name})
  file(MAKE_DIRECTORY ${found})
  add_test(NAME ${name}
    COMMAND ${name} -max_total_time=${ARG_SECONDS} -timeout=5 -rss_limit_mb=2048 ${found} ${corpus})
  set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT 600
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
