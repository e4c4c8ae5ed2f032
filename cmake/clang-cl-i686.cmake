# Cross-compiles for 32-bit x86 Windows through the project's Visual Studio
# branch: clang-cl, lld-link and llvm-rc stand in for cl, link and rc, with
# MinGW-w64's headers and import libraries in place of the Windows SDK's.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(PINNIT_TARGET i686-pc-windows-msvc)
# clang-cl of the release's own LLVM, which names it by its major version.
execute_process(COMMAND clang -dumpversion OUTPUT_VARIABLE PINNIT_CLANG_VERSION)
string(REGEX MATCH "^[0-9]+" PINNIT_LLVM_MAJOR "${PINNIT_CLANG_VERSION}")
set(CMAKE_CXX_COMPILER clang-cl-${PINNIT_LLVM_MAJOR})
set(CMAKE_CXX_COMPILER_TARGET ${PINNIT_TARGET})
set(CMAKE_RC_COMPILER llvm-rc)

# There is no C runtime to link a test program against.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

# MinGW-w64's headers expect a GNU compiler (for __attribute__ and a memory
# barrier) and an _X86_ that only the SDK's own headers define.
set(PINNIT_MINGW /usr/i686-w64-mingw32)
set(CMAKE_CXX_FLAGS_INIT "/imsvc ${PINNIT_MINGW}/include -fgnuc-version=4.2.1 /D_X86_")
# The resource script is preprocessed by clang-cl too, with the resource flags.
set(CMAKE_RC_STANDARD_INCLUDE_DIRECTORIES ${PINNIT_MINGW}/include)

# lld-link looks for user32.lib, MinGW names it libuser32.a: the build folder
# gets links under the Microsoft names. MinGW's import objects carry no SafeSEH
# table, which lld-link otherwise insists on for x86.
set(PINNIT_IMPORT_LIBS ${CMAKE_BINARY_DIR}/import-libs)
if(NOT EXISTS ${PINNIT_IMPORT_LIBS})
    file(MAKE_DIRECTORY ${PINNIT_IMPORT_LIBS})
    file(GLOB PINNIT_MINGW_LIBS ${PINNIT_MINGW}/lib/lib*.a)
    foreach(lib ${PINNIT_MINGW_LIBS})
        string(REGEX REPLACE ".*/lib(.*)\\.a$" "\\1.lib" name ${lib})
        file(CREATE_LINK ${lib} ${PINNIT_IMPORT_LIBS}/${name} SYMBOLIC)
    endforeach()
endif()
set(CMAKE_EXE_LINKER_FLAGS_INIT "/LIBPATH:${PINNIT_IMPORT_LIBS} /SAFESEH:NO")
