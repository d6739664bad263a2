# Runs the host fa2 tool over every file of STAGE, in name order, into ARCHIVE.
file(GLOB members LIST_DIRECTORIES false ${STAGE}/*)
list(SORT members)
execute_process(COMMAND ${TOOL} pack ${ARCHIVE} ${members} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "fa2 pack failed (${result})")
endif()
