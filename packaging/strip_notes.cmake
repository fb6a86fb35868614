# Run by CPack on the staged files before it builds the package: removes from the programs the
# compiler's notes (.comment, .note) that Debian's own tools strip from every binary too.
file(GLOB_RECURSE _files LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/bin/*")
foreach(program ${_files})
  execute_process(COMMAND ${CPACK_CORVANE_STRIP} --remove-section=.comment --remove-section=.note ${program}
                  RESULT_VARIABLE _result)
  if(NOT _result EQUAL 0)
    message(FATAL_ERROR "could not strip ${program}")
  endif()
endforeach()
