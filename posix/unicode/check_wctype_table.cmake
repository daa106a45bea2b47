# Regenerates the character-class table into the build tree and compares it
# with the committed wctype_table.cpp, so the committed table always matches
# its generator and input.
# Usage: cmake -DPYTHON=python3 -DUNICODE_DIR=<posix/unicode> -DOUTPUT=<file>
#              -P check_wctype_table.cmake
execute_process(
  COMMAND ${PYTHON} ${UNICODE_DIR}/gen_wctype.py ${UNICODE_DIR}/gc-5.1.0.txt ${OUTPUT}
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "gen_wctype.py failed (${rc})")
endif()
execute_process(
  COMMAND ${CMAKE_COMMAND} -E compare_files ${OUTPUT} ${UNICODE_DIR}/wctype_table.cpp
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${UNICODE_DIR}/wctype_table.cpp differs from a fresh run of "
                      "gen_wctype.py (${OUTPUT}); regenerate and commit it")
endif()
message(STATUS "wctype_table.cpp matches its generator")
