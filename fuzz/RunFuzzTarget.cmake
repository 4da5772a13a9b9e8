# One bounded fuzz run as a test: libFuzzer adds what it finds to a fresh
# working corpus in the build tree and only reads the seed directories.
#   cmake -DFUZZER=<exe> -DWORK=<dir> -DSEEDS=<dir;dir> -DSECONDS=<n> -P RunFuzzTarget.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/corpus ${WORK}/artifacts)
execute_process(
  COMMAND ${FUZZER} -max_total_time=${SECONDS} -rss_limit_mb=2048 -timeout=20
          -print_final_stats=1 -artifact_prefix=${WORK}/artifacts/ ${WORK}/corpus ${SEEDS}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${FUZZER} failed (${status}); the input is in ${WORK}/artifacts")
endif()
