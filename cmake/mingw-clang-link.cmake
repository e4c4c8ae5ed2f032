# Link rule for the Clang toolchain (see mingw-clang-i686.cmake).
set(CMAKE_CXX_LINK_EXECUTABLE
    "i686-w64-mingw32-g++-posix <CMAKE_CXX_LINK_FLAGS> <LINK_FLAGS> <OBJECTS> -o <TARGET> <LINK_LIBRARIES>")
