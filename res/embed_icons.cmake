# Writes icon_images.h and icon_images.cpp into OUTPUT_DIR: every PNG of IMAGES ("id:size:path"
# entries, separated by |) as a byte array, and the table kIconImages that finds them by id.
string(REPLACE "|" ";" images "${IMAGES}")
list(LENGTH images count)
set(arrays "")
set(rows "")
set(index 0)
foreach(image IN LISTS images)
    string(REPLACE ":" ";" fields "${image}")
    list(GET fields 0 id)
    list(GET fields 1 size)
    list(GET fields 2 path)
    file(READ "${path}" hex HEX)
    string(LENGTH "${hex}" hexLength)
    math(EXPR length "${hexLength} / 2")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
    string(APPEND arrays "const unsigned char kImage${index}[] = {\n    ${bytes}\n};\n")
    string(APPEND rows "    {${id}, ${size}, kImage${index}, ${length}},\n")
    math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT_DIR}/icon_images.h.new"
"// Generated from res/icons/*.svg; do not edit.
#pragma once

#include <cstddef>

#include \"platform/window/resources.h\"

inline constexpr std::size_t kIconImageCount = ${count};
extern const IconImage kIconImages[kIconImageCount];
")
file(WRITE "${OUTPUT_DIR}/icon_images.cpp.new"
"// Generated from res/icons/*.svg; do not edit.
#include \"res/icon_images.h\"

namespace {
${arrays}}  // namespace

const IconImage kIconImages[kIconImageCount] = {
${rows}};
")
foreach(name icon_images.h icon_images.cpp)
    file(COPY_FILE "${OUTPUT_DIR}/${name}.new" "${OUTPUT_DIR}/${name}" ONLY_IF_DIFFERENT)
endforeach()
