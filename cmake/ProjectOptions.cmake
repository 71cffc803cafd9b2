# Language level, warnings and sanitizers shared by every target of the project.
add_library(qb_options INTERFACE)
target_compile_features(qb_options INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)
target_compile_options(qb_options INTERFACE -Wall -Wextra -Wno-unused-parameter)
target_compile_definitions(qb_options INTERFACE OPENSSL_API_COMPAT=10101 PCRE2_CODE_UNIT_WIDTH=8)

# CI builds must stay free of warnings; a local build only reports them.
if(DEFINED ENV{CI} AND "$ENV{CI}" STREQUAL "true")
    set(QB_WERROR_DEFAULT ON)
else()
    set(QB_WERROR_DEFAULT OFF)
endif()
option(QB_WERROR "Treat compiler warnings as errors" ${QB_WERROR_DEFAULT})
if(QB_WERROR)
    target_compile_options(qb_options INTERFACE -Werror)
endif()

if(QB_SANITIZE)
    target_compile_options(qb_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                                                -fno-sanitize-recover=undefined)
    target_link_options(qb_options INTERFACE -fsanitize=address,undefined)
endif()
if(QB_TSAN)
    target_compile_options(qb_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(qb_options INTERFACE -fsanitize=thread)
endif()
if(QB_FUZZ)
    target_compile_options(qb_options INTERFACE -fsanitize=fuzzer-no-link,address,undefined
                                                -fno-omit-frame-pointer)
    target_link_options(qb_options INTERFACE -fsanitize=address,undefined)
endif()
