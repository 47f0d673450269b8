# The compile policy every target of the project links: language level, warnings, sanitizers.
add_library(selvo_policy INTERFACE)
target_compile_features(selvo_policy INTERFACE cxx_std_20)
target_compile_options(selvo_policy INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wold-style-cast -Wnon-virtual-dtor)

if(SELVO_WERROR)
    target_compile_options(selvo_policy INTERFACE -Werror)
endif()

if(SELVO_SANITIZE)
    target_compile_options(selvo_policy INTERFACE -fsanitize=${SELVO_SANITIZE} -fno-omit-frame-pointer)
    target_link_options(selvo_policy INTERFACE -fsanitize=${SELVO_SANITIZE})
    if(SELVO_SANITIZE MATCHES "undefined")
        target_compile_options(selvo_policy INTERFACE -fno-sanitize-recover=undefined)
    endif()
endif()

if(SELVO_FUZZ)
    # Coverage for libFuzzer inside the libraries too, not only in the fuzz targets' own files.
    target_compile_options(selvo_policy INTERFACE -fsanitize=fuzzer-no-link,address,undefined)
    target_link_options(selvo_policy INTERFACE -fsanitize=address,undefined)
endif()
