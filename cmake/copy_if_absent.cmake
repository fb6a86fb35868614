# cmake -D SRC=from -D DST=to -P copy_if_absent.cmake: copies SRC to DST only when DST does not
# exist, so a file the user has changed since is kept.
if(NOT EXISTS "${DST}")
  file(COPY_FILE "${SRC}" "${DST}")
endif()
