# Writes a C++ source that defines the text of a file as a character array:
#   cmake -DINPUT=file -DOUTPUT=source.cpp -DNAME=identifier -P embed_text.cmake
# The text goes into a raw string literal whose delimiter no line of the
# file contains; a file holding it stops the build rather than truncating.
file(READ "${INPUT}" text)
string(FIND "${text}" ")embedded_text" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${INPUT} contains the delimiter )embedded_text")
endif()
file(WRITE "${OUTPUT}.new" "// Generated from ${INPUT}; do not edit.\nextern const char ${NAME}[];\nconst char ${NAME}[] = R\"embedded_text(${text})embedded_text\";\n")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
