# Fails the build when FILE is larger than LIMIT bytes.
file(SIZE "${FILE}" size)
if(size GREATER LIMIT)
  message(FATAL_ERROR "${FILE} is ${size} bytes, more than the limit of ${LIMIT}")
endif()
message(STATUS "${FILE}: ${size} of at most ${LIMIT} bytes")
