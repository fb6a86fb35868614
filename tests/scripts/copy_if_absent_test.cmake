# cmake -D SCRIPT=cmake/copy_if_absent.cmake -D WORK=folder -P copy_if_absent_test.cmake
# A build puts set.txt beside the program when there is none, and keeps one that is there.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
file(WRITE "${WORK}/shipped" "1")
foreach(round first second)
  execute_process(COMMAND ${CMAKE_COMMAND} -D SRC=${WORK}/shipped -D DST=${WORK}/set.txt -P ${SCRIPT}
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "the copy failed")
  endif()
  file(READ "${WORK}/set.txt" got)
  if(round STREQUAL "first" AND NOT got STREQUAL "1")
    message(FATAL_ERROR "a missing set.txt was not put in place: '${got}'")
  elseif(round STREQUAL "second" AND NOT got STREQUAL "0")
    message(FATAL_ERROR "the user's set.txt was overwritten: '${got}'")
  endif()
  file(WRITE "${WORK}/set.txt" "0")  # the user turns saving off
endforeach()
file(REMOVE_RECURSE "${WORK}")
