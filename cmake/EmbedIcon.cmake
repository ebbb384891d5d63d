# Makes, from the one icon file, the two things that carry it into the
# program: the AppIconImage byte array and the raw icon resources (group
# directory and image) for the resource script. Both come from the same bytes,
# so the notification-area icon and the executable's icon cannot drift apart.
#
#   cmake -DICON_FILE=... -DOUT_DIR=... -P EmbedIcon.cmake

if(NOT ICON_FILE OR NOT OUT_DIR)
  message(FATAL_ERROR "EmbedIcon.cmake needs ICON_FILE and OUT_DIR")
endif()

file(READ "${ICON_FILE}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
if(NOT size EQUAL 4286)
  message(FATAL_ERROR "${ICON_FILE}: ${size} bytes, the icon file must have 4286")
endif()

# byte(<offset>) -> value in `byte_value`; word(<offset>) -> `word_value`.
macro(read_byte offset)
  math(EXPR _pos "(${offset}) * 2")
  string(SUBSTRING "${hex}" ${_pos} 2 _h)
  math(EXPR byte_value "0x${_h}")
endmacro()
macro(read_le offset width)
  set(_v 0)
  math(EXPR _last "${width} - 1")
  foreach(_i RANGE ${_last})
    math(EXPR _k "${width} - 1 - ${_i}")
    read_byte("${offset} + ${_k}")
    math(EXPR _v "${_v} * 256 + ${byte_value}")
  endforeach()
  set(le_value ${_v})
endmacro()

read_le(0 2)
set(reserved ${le_value})
read_le(2 2)
set(type ${le_value})
read_le(4 2)
set(count ${le_value})
read_le(14 4)
set(image_size ${le_value})
read_le(18 4)
set(image_offset ${le_value})
if(NOT reserved EQUAL 0 OR NOT type EQUAL 1 OR NOT count EQUAL 1 OR NOT image_size EQUAL 4264
   OR NOT image_offset EQUAL 22)
  message(FATAL_ERROR "${ICON_FILE}: not one 4264-byte image at offset 22")
endif()

# The byte array, 16 bytes a line.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
# (CMake's regular expressions have no counted repetition.)
string(REPEAT "0x..," 16 sixteen)
string(REGEX REPLACE "(${sixteen})" "\\1\n    " bytes "${bytes}")
file(WRITE "${OUT_DIR}/AppIconImage.cpp.tmp"
"// Generated from ${ICON_FILE} by EmbedIcon.cmake; edit the icon, not this file.
#include \"app/AppIconImage.h\"

const std::array<std::uint8_t, kAppIconImageSize> AppIconImage = {{
    ${bytes}
}};
")

# Raw resource data is written as 16-bit little-endian words, which both
# windres and the Visual Studio resource compiler read the same way.
function(words_of first_byte byte_count out)
  set(text "")
  math(EXPR last "${first_byte} + ${byte_count} - 2")
  set(n 0)
  foreach(pos RANGE ${first_byte} ${last} 2)
    math(EXPR lo_pos "${pos} * 2")
    math(EXPR hi_pos "${pos} * 2 + 2")
    string(SUBSTRING "${hex}" ${lo_pos} 2 lo)
    string(SUBSTRING "${hex}" ${hi_pos} 2 hi)
    if(n EQUAL 0)
      string(APPEND text "    0x${hi}${lo}")
    else()
      string(APPEND text ", 0x${hi}${lo}")
    endif()
    math(EXPR n "(${n} + 1) % 12")
    if(n EQUAL 0 AND NOT pos EQUAL last)
      string(APPEND text ",\n")
    endif()
  endforeach()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The group directory: the file's 6-byte header and its entry's first 12
# bytes, then the image's resource id, 3.
words_of(0 18 group_words)
words_of(22 4264 image_words)
file(WRITE "${OUT_DIR}/icon_resources.rcinc.tmp"
"// Generated from ${ICON_FILE} by EmbedIcon.cmake; edit the icon, not this file.
LANGUAGE 0, 0
DEFAULT_ICON 14
BEGIN
${group_words}, 0x0003
END

3 3
BEGIN
${image_words}
END
")

# Only touch the outputs when they change, so that builds stay incremental.
foreach(name AppIconImage.cpp icon_resources.rcinc)
  execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different "${OUT_DIR}/${name}.tmp" "${OUT_DIR}/${name}")
  file(REMOVE "${OUT_DIR}/${name}.tmp")
endforeach()
