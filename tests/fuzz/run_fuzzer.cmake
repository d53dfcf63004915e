# Runs the fuzzer for SECONDS (and at most RUNS inputs) on a fresh copy of
# SEEDS inside WORK; crash and mismatch inputs are left in WORK/artifacts.
if(NOT DEFINED RUNS)
  set(RUNS 1000000)
endif()
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/corpus ${WORK}/artifacts)
file(GLOB seeds ${SEEDS}/*)
file(COPY ${seeds} DESTINATION ${WORK}/corpus)
execute_process(
  COMMAND ${FUZZER} -max_total_time=${SECONDS} -runs=${RUNS} -timeout=10 -max_len=8192 -rss_limit_mb=2048
          -print_final_stats=1 -artifact_prefix=${WORK}/artifacts/ ${WORK}/corpus
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "fuzzer failed (${result}); inputs in ${WORK}/artifacts")
endif()
