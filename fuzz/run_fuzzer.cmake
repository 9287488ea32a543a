# Runs one fuzz target for a bounded time over a scratch copy of its committed
# corpus, so new inputs and crash reproducers land in the build tree, never in
# the repository. Fails when the target finds a crash, leak or broken property.
#   cmake -DFUZZER=<exe> -DCORPUS=<dir> -DSCRATCH=<dir> -DSECONDS=<n> -P run_fuzzer.cmake
file(REMOVE_RECURSE "${SCRATCH}")
file(MAKE_DIRECTORY "${SCRATCH}/artifacts")
file(COPY "${CORPUS}/" DESTINATION "${SCRATCH}/corpus")
execute_process(
  COMMAND "${FUZZER}" -max_total_time=${SECONDS} -timeout=10 -rss_limit_mb=2048
          -print_final_stats=1 "-artifact_prefix=${SCRATCH}/artifacts/" "${SCRATCH}/corpus"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${FUZZER} failed (${status}); reproducer in ${SCRATCH}/artifacts")
endif()
