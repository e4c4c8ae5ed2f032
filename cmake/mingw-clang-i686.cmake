# Cross-compiles for 32-bit x86 Windows with Clang, using MinGW-w64's headers,
# libraries and binutils; a second compiler catches what GCC lets through.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(PINNIT_TARGET i686-w64-mingw32)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${PINNIT_TARGET})
set(CMAKE_CXX_COMPILER_TARGET ${PINNIT_TARGET})
set(CMAKE_RC_COMPILER ${PINNIT_TARGET}-windres)

# MinGW's GCC folder (posix thread model, which GoogleTest needs) has the C++
# library and its headers, which Clang does not look for by itself.
file(GLOB PINNIT_GCC_DIR /usr/lib/gcc/${PINNIT_TARGET}/*-posix)
set(PINNIT_CXX_INCLUDE ${PINNIT_GCC_DIR}/include/c++)
set(CMAKE_CXX_FLAGS_INIT
    "-D_GLIBCXX_GTHREAD_USE_WEAK=0 -isystem ${PINNIT_CXX_INCLUDE} -isystem ${PINNIT_CXX_INCLUDE}/${PINNIT_TARGET} -isystem ${PINNIT_CXX_INCLUDE}/backward")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-L${PINNIT_GCC_DIR}")

# Clang's driver links MinGW's generic start-up objects, without GCC's unwinder
# registration that the C++ runtime here expects, so GCC's driver links.
set(CMAKE_USER_MAKE_RULES_OVERRIDE ${CMAKE_CURRENT_LIST_DIR}/mingw-clang-link.cmake)

# Clang and GCC disagree here on passing empty classes by value: GCC gives an
# iterator tag a stack slot, Clang none. Both emit inline templates of the C++
# library that take tags (basic_string::_M_construct, ...) under one name, so in
# a static link GCC's compiled runtime calls Clang's copies with the wrong stack
# and crashes. Executables that use the C++ library therefore link its DLLs,
# which keep GCC's copies to themselves, and find them beside themselves.
set(PINNIT_CXX_RUNTIME_DLLS
    ${PINNIT_GCC_DIR}/libstdc++-6.dll
    ${PINNIT_GCC_DIR}/libgcc_s_dw2-1.dll
    /usr/${PINNIT_TARGET}/lib/libwinpthread-1.dll)

set(CMAKE_FIND_ROOT_PATH /usr/${PINNIT_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
