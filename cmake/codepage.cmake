# Writes a code page into every resource data entry of a 32-bit Windows
# executable, in place:
#   cmake -D PINNIT_EXE=pinnit.exe -D PINNIT_CODEPAGE=1252 -P codepage.cmake
#
# windres, llvm-rc, llvm-cvtres, ld and lld-link all leave it at 0, and
# Microsoft's rc, cvtres and link are not known to do otherwise. This runs
# wherever the build runs, CMake being the one program every toolchain of the
# project comes with. CMake cannot put a zero byte into a file from a
# string, but it can unpack an archive, and libarchive reads a cpio archive
# wrapped in base64 text: the patched executable goes out that way.

file(READ "${PINNIT_EXE}" hex HEX)

# The little-endian 32-bit number at the byte offset (an expression).
function(pinnit_dword out offset)
    math(EXPR at "(${offset}) * 2")
    string(SUBSTRING "${hex}" ${at} 8 bytes)
    string(REGEX REPLACE "(..)(..)(..)(..)" "\\4\\3\\2\\1" bytes "${bytes}")
    math(EXPR value "0x${bytes}")
    set(${out} ${value} PARENT_SCOPE)
endfunction()

function(pinnit_word out offset)
    pinnit_dword(value "${offset}")
    math(EXPR value "${value} & 0xFFFF")
    set(${out} ${value} PARENT_SCOPE)
endfunction()

# The number as eight hex digits, most significant first.
function(pinnit_hex8 out value)
    math(EXPR value "${value} + 0x100000000" OUTPUT_FORMAT HEXADECIMAL)
    string(SUBSTRING "${value}" 3 8 value)
    set(${out} ${value} PARENT_SCOPE)
endfunction()

# Finds the resource directory through the optional header's third data
# directory and the section that holds it.
pinnit_dword(nt 0x3C)
pinnit_word(sections "${nt} + 6")
pinnit_word(optional_size "${nt} + 20")
pinnit_dword(rsrc_rva "${nt} + 24 + 96 + 2 * 8")
set(base "")
foreach(i RANGE 1 ${sections})
    math(EXPR header "${nt} + 24 + ${optional_size} + 40 * (${i} - 1)")
    pinnit_dword(size "${header} + 8")
    pinnit_dword(rva "${header} + 12")
    pinnit_dword(raw "${header} + 20")
    math(EXPR end "${rva} + ${size}")
    if(rsrc_rva GREATER_EQUAL rva AND rsrc_rva LESS end)
        math(EXPR base "${raw} + ${rsrc_rva} - ${rva}")
    endif()
endforeach()
if(rsrc_rva EQUAL 0 OR base STREQUAL "")
    message(FATAL_ERROR "${PINNIT_EXE}: no resources")
endif()

pinnit_hex8(codepage ${PINNIT_CODEPAGE})
string(REGEX REPLACE "(..)(..)(..)(..)" "\\4\\3\\2\\1" codepage "${codepage}")

# The tree's levels are type, name and language; its leaves are data entries,
# whose third field is the code page.
set(directories 0)
set(patched 0)
while(NOT directories STREQUAL "")
    list(POP_FRONT directories directory)
    pinnit_word(named "${base} + ${directory} + 12")
    pinnit_word(ids "${base} + ${directory} + 14")
    math(EXPR last "${named} + ${ids} - 1")
    foreach(i RANGE 0 ${last})
        pinnit_dword(child "${base} + ${directory} + 16 + 8 * ${i} + 4")
        math(EXPR subdirectory "${child} >> 31")
        if(subdirectory)
            math(EXPR child "${child} & 0x7FFFFFFF")
            list(APPEND directories ${child})
        else()
            math(EXPR at "(${base} + ${child} + 8) * 2")
            math(EXPR after "${at} + 8")
            string(SUBSTRING "${hex}" 0 ${at} before)
            string(SUBSTRING "${hex}" ${after} -1 rest)
            set(hex "${before}${codepage}${rest}")
            math(EXPR patched "${patched} + 1")
        endif()
    endforeach()
endwhile()
if(patched EQUAL 0)
    message(FATAL_ERROR "${PINNIT_EXE}: no resources")
endif()

# The hex digits padded with zeros to a multiple of the byte count.
function(pinnit_pad var bytes)
    string(LENGTH "${${var}}" length)
    math(EXPR zeros "(${bytes} * 2 - ${length} % (${bytes} * 2)) % (${bytes} * 2)")
    string(REPEAT 0 ${zeros} padding)
    set(${var} "${${var}}${padding}" PARENT_SCOPE)
endfunction()

# A "newc" cpio entry's header and name: hex fields, then the name, padded.
function(pinnit_cpio_header out name size mode)
    string(LENGTH "${name}" name_size)
    math(EXPR name_size "${name_size} + 1")
    set(header 070701)
    foreach(field 0 ${mode} 0 0 1 0 ${size} 0 0 0 0 ${name_size} 0)
        pinnit_hex8(field ${field})
        string(APPEND header ${field})
    endforeach()
    string(HEX "${header}${name}" entry)
    string(APPEND entry 00)
    pinnit_pad(entry 4)
    set(${out} ${entry} PARENT_SCOPE)
endfunction()

get_filename_component(name "${PINNIT_EXE}" NAME)
get_filename_component(folder "${PINNIT_EXE}" DIRECTORY)
string(LENGTH "${hex}" size)
math(EXPR size "${size} / 2")
pinnit_cpio_header(archive "${name}" ${size} 0x81ED)
pinnit_pad(hex 4)
pinnit_cpio_header(trailer "TRAILER!!!" 0 0)
string(APPEND archive "${hex}${trailer}")
# Zeros after the trailer are ignored, and spare base64 its "=" padding.
pinnit_pad(archive 3)

set(alphabet ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/)
string(LENGTH "${archive}" length)
math(EXPR last "${length} - 6")
set(text "")
foreach(at RANGE 0 ${last} 6)
    string(SUBSTRING "${archive}" ${at} 6 group)
    math(EXPR value "0x${group}")
    foreach(shift 18 12 6 0)
        math(EXPR index "(${value} >> ${shift}) & 63")
        string(SUBSTRING ${alphabet} ${index} 1 digit)
        string(APPEND text ${digit})
    endforeach()
endforeach()
string(REPEAT . 76 line)
string(REGEX REPLACE "(${line})" "\\1\n" text "${text}")
string(STRIP "${text}" text)

set(wrapped "${PINNIT_EXE}.cpio.txt")
file(WRITE "${wrapped}" "begin-base64 644 ${name}.cpio\n${text}\n====\n")
file(ARCHIVE_EXTRACT INPUT "${wrapped}" DESTINATION "${folder}")
file(REMOVE "${wrapped}")
file(TOUCH "${PINNIT_EXE}")
