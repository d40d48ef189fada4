# One INTERFACE target that carries the language level, the warnings and the sanitizers;
# every target of the project links it.
add_library(pairloom_flags INTERFACE)
target_compile_features(pairloom_flags INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)
target_compile_options(pairloom_flags INTERFACE
    $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
        -Woverloaded-virtual>)
# File sizes and offsets (off_t) and times (time_t) are 64-bit in the 32-bit build too; on a
# 64-bit system both already are.
target_compile_definitions(pairloom_flags INTERFACE
    QT_NO_CAST_FROM_ASCII QT_NO_KEYWORDS _FILE_OFFSET_BITS=64 _TIME_BITS=64)
if(PAIRLOOM_WERROR)
    target_compile_options(pairloom_flags INTERFACE -Werror)
endif()

string(REPLACE "," ";" _pairloom_sanitizers "${PAIRLOOM_SANITIZE}")
if(_pairloom_sanitizers)
    list(JOIN _pairloom_sanitizers "," _pairloom_sanitize_arg)
    target_compile_options(pairloom_flags INTERFACE
        -fsanitize=${_pairloom_sanitize_arg} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    target_link_options(pairloom_flags INTERFACE -fsanitize=${_pairloom_sanitize_arg})
    # The sanitizers' instrumentation makes g++ 12 report false "may be used uninitialized"
    # warnings inside the standard library's std::function and std::regex.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        target_compile_options(pairloom_flags INTERFACE -Wno-maybe-uninitialized)
    endif()
endif()
