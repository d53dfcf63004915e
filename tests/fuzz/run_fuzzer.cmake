# Runs the fuzzer for SECONDS on a fresh copy of SEEDS inside WORK; crash and
# mismatch inputs are left in WORK/artifacts.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/corpus ${WORK}/artifacts)
file(GLOB seeds ${SEEDS}/*)
file(COPY ${seeds} DESTINATION ${WORK}/corpus)
execute_process(
  COMMAND ${FUZZER} -max_total_time=${SECONDS} -timeout=10 -runs=50000000 -max_len=8192 -rss_limit_mb=2048
          -print_final_stats=1 -artifact_prefix=${WORK}/artifacts/ ${WORK}/corpus
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "fuzzer failed (${result}); inputs in ${WORK}/artifacts")
endif()
