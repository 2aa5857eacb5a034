# Builds one layer probe (see CMakeLists.txt) and exits with the build's verdict.
#   DIRECTION=down: the probe includes a lower layer's HEADER; exits 0 when it compiles.
#   DIRECTION=up:   the probe includes a higher layer's HEADER; the test is WILL_FAIL, so this
#                   exits non-zero only when the compiler refused HEADER as not found. A probe
#                   that compiles, or fails for any other reason, exits 0 and the test fails.
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target ${TARGET}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
message("${output}")
if(DIRECTION STREQUAL "down")
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${TARGET}: ${HEADER} is a lower layer's header and did not compile")
  endif()
  return()
endif()
string(REPLACE "." "\\." pattern "${HEADER}")  # a header path has no other regex character
if(NOT result EQUAL 0 AND output MATCHES "${pattern}: No such file or directory")
  message(FATAL_ERROR "${TARGET}: ${HEADER} is out of reach, as it should be")
elseif(result EQUAL 0)
  message("${TARGET}: ${HEADER} compiled although it belongs to a higher layer")
else()
  message("${TARGET}: the build failed, but not because ${HEADER} was out of reach")
endif()
