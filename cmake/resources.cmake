# Compiles res/pinnit.rc into an object that executables link.
#
# Visual Studio's resource compiler is used as CMake's RC language; with windres
# the object is made by hand, because windres writes code page 0 into every
# resource entry and the entries must say 1252.
set(PINNIT_RC ${CMAKE_SOURCE_DIR}/res/pinnit.rc)
set(PINNIT_RC_DEPENDS
    ${PINNIT_RC}
    ${CMAKE_SOURCE_DIR}/res/resource.h
    ${CMAKE_SOURCE_DIR}/res/pinnit.ico
    ${CMAKE_SOURCE_DIR}/res/pinnit.manifest
)

if(MSVC)
    enable_language(RC)
    function(pinnit_add_resources target)
        target_sources(${target} PRIVATE ${PINNIT_RC})
    endfunction()
else()
    find_program(PINNIT_WINDRES NAMES ${CMAKE_RC_COMPILER} i686-w64-mingw32-windres windres REQUIRED)
    find_program(PINNIT_PERL perl REQUIRED)
    set(PINNIT_RES_OBJ ${CMAKE_BINARY_DIR}/pinnit_res.o)
    add_custom_command(
        OUTPUT ${PINNIT_RES_OBJ}
        COMMAND ${PINNIT_WINDRES} -c 1252 -I ${CMAKE_SOURCE_DIR}/res
                -i ${PINNIT_RC} -O coff -o ${PINNIT_RES_OBJ}
        COMMAND ${PINNIT_PERL} ${CMAKE_SOURCE_DIR}/cmake/rsrc-codepage.pl ${PINNIT_RES_OBJ} 1252
        DEPENDS ${PINNIT_RC_DEPENDS} ${CMAKE_SOURCE_DIR}/cmake/rsrc-codepage.pl
        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/res
        VERBATIM
    )
    add_custom_target(pinnit_res DEPENDS ${PINNIT_RES_OBJ})
    function(pinnit_add_resources target)
        target_sources(${target} PRIVATE ${PINNIT_RES_OBJ})
        set_source_files_properties(${PINNIT_RES_OBJ} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
        add_dependencies(${target} pinnit_res)
    endfunction()
endif()
