#!/bin/sh
# Runs the libFuzzer target for a set time:
#   tools/run-fuzz.sh FUZZER SECONDS WORKDIR
#
# New inputs go to WORKDIR/corpus, seeded from tests/fuzz/corpus (which
# stays as committed); failing inputs are written to WORKDIR/artifacts.
# The target runs in libFuzzer's fork mode, so that an input that only takes
# long or asks for more memory than the limit (3^(10^9) is a legitimate
# request) is reported and skipped rather than ending the run; a crash or a
# sanitizer report ends it with a failure status. Inspect the timeout and
# out-of-memory artifacts by hand: work that grows far faster than the input
# asks for is a fault, and each input that once failed belongs in
# tests/fuzz/regressions/.
set -e
fuzzer=$1
seconds=${2:-600}
root="$(cd "$(dirname "$0")/.." && pwd)"
work=$3
mkdir -p "$work/corpus" "$work/artifacts"
# Inputs that failed: a crash, a sanitizer report or a leak. Timeouts, slow
# units and out-of-memory reports are listed but do not fail the run.
failures() { ls "$work/artifacts" | grep -c -E '^(crash|leak|deadly)-' || true; }
before=$(failures)
status=0
ASAN_OPTIONS="allocator_may_return_null=1:detect_leaks=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
"$fuzzer" -fork=1 -ignore_timeouts=1 -ignore_ooms=1 -ignore_crashes=0 \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -malloc_limit_mb=4096 -max_len=1024 \
    -dict="$root/tests/fuzz/vorlan.dict" -artifact_prefix="$work/artifacts/" \
    "$work/corpus" "$root/tests/fuzz/corpus" || status=$?
after=$(failures)
echo "fuzz artifacts in $work/artifacts:"
ls "$work/artifacts" | sed 's/^/  /'
# In fork mode the exit status is the last job's, which may be an ignored
# timeout (70) or out-of-memory report (71); anything else is a failure.
if [ "$after" -gt "$before" ] || { [ "$status" -ne 0 ] && [ "$status" -ne 70 ] && [ "$status" -ne 71 ]; }; then
    echo "fuzzing found a failure (status $status)"
    exit 1
fi
echo "fuzzing found no failure"
