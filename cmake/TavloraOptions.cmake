# Compiler options and warnings for every target of the project, carried by one
# INTERFACE target instead of global flags.
add_library(tavlora_options INTERFACE)
add_library(tavlora::options ALIAS tavlora_options)

target_compile_features(tavlora_options INTERFACE cxx_std_20)
target_compile_options(tavlora_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual
  -Wno-unused-parameter)
target_compile_definitions(tavlora_options INTERFACE
  QT_NO_URL_CAST_FROM_STRING
  QT_USE_QSTRINGBUILDER)

if(TAVLORA_SANITIZE)
  target_compile_options(tavlora_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(tavlora_options INTERFACE -fsanitize=address,undefined)
endif()

if(TAVLORA_FUZZ)
  # Libraries are instrumented for coverage; only the fuzz targets link the fuzzer's main.
  target_compile_options(tavlora_options INTERFACE -fsanitize=fuzzer-no-link,address,undefined)
  target_link_options(tavlora_options INTERFACE -fsanitize=address,undefined)
endif()
