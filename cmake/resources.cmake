# Compiles res/pinnit.rc into the executables that link it: windres on the
# MinGW toolchains, rc or llvm-rc on the Visual Studio one.
enable_language(RC)
set(PINNIT_RC ${CMAKE_SOURCE_DIR}/res/pinnit.rc)

function(pinnit_add_resources target)
    target_sources(${target} PRIVATE ${PINNIT_RC})
    target_include_directories(${target} PRIVATE $<$<COMPILE_LANGUAGE:RC>:${CMAKE_SOURCE_DIR}/res>)
    set_source_files_properties(${PINNIT_RC} TARGET_DIRECTORY ${target} PROPERTIES
        OBJECT_DEPENDS "${CMAKE_SOURCE_DIR}/res/pinnit.ico;${CMAKE_SOURCE_DIR}/res/pinnit.manifest")
endfunction()

# The resource compilers and linkers leave each resource's code page at 0;
# pinnit's texts are Windows-1252, and its entries say so.
function(pinnit_mark_codepage target)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -D PINNIT_EXE=$<TARGET_FILE:${target}> -D PINNIT_CODEPAGE=1252
                -P ${CMAKE_SOURCE_DIR}/cmake/codepage.cmake
        VERBATIM)
endfunction()
