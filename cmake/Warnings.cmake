# Every target of ours links plaintrove_warnings; third-party code does not see these flags.
add_library(plaintrove_warnings INTERFACE)
target_compile_options(plaintrove_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
    -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual)
if(PLAINTROVE_WERROR)
    target_compile_options(plaintrove_warnings INTERFACE -Werror)
endif()

if(PLAINTROVE_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "PLAINTROVE_FUZZ needs clang, which brings libFuzzer")
    endif()
    # Everything is built with coverage for the fuzzer and with the sanitizers' checks; only the
    # fuzz targets link libFuzzer's main(), the other programs still link and run on their own.
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
        -fno-sanitize-recover=all)
    add_link_options(-fsanitize=address,undefined)
elseif(PLAINTROVE_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=address,undefined)
endif()
