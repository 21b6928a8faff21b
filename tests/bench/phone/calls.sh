#!/usr/bin/env bash
# Memory of one console phone over many short calls to baresip's echo service through one
# Kamailio on loopback: RSS after sign-in and every SAMPLE calls, and the growth per call after
# the warm-up (the first WARMUP calls). Not part of CI.
#
#   tests/bench/phone/calls.sh [BUILD_DIR]     (CALLS=1000 SAMPLE=50 WARMUP=50 CALL_MS=300)
#   PHONE_WRAP="valgrind --tool=massif --massif-out-file=F" runs the phone under another program.
#   Given the build dir of a ZELORA_SANITIZE build, the leak checker's report at exit is shown.
set -u
build_dir="${1:-}"
source "$(dirname "${BASH_SOURCE[0]}")/peers.sh"
calls="${CALLS:-1000}"
sample="${SAMPLE:-50}"
warmup="${WARMUP:-50}"
call_ms="${CALL_MS:-300}"
start_peers

# The far end's sound does not matter here: silence in, nothing kept.
PHONE_AUDIO=null start_phone
echo "login 1001 pw1001" >&7
wait_log "$phone_out" "EVENT 1 " 20 || { echo "phone did not sign in" >&2; exit 1; }
sleep 1
printf '%6s %9s\n' calls rss_kB
printf '%6d %9d\n' 0 "$(rss_kb "$phone_pid")"
warm_rss=
for ((c = 1; c <= calls; c++)); do
    echo "dial echo" >&7
    wait_count "$phone_out" "EVENT 9 " "$c" 20 || { echo "call $c not answered:" >&2; tail -5 "$phone_out" >&2; exit 1; }
    sleep "$(awk -v m="$call_ms" 'BEGIN {print m / 1000}')"
    echo "hangup" >&7
    # The phone is idle again once the hang-up is through.
    sleep 0.3
    if ((c % sample == 0)); then
        sleep 0.2
        printf '%6d %9d\n' "$c" "$(rss_kb "$phone_pid")"
        ((c == warmup)) && warm_rss=$(rss_kb "$phone_pid")
    fi
done
end_rss=$(rss_kb "$phone_pid")
stop_phone
status=$?
[ -s "$phone_err" ] && { echo "the phone's standard error:"; cat "$phone_err"; }
echo "phone exit status $status"
if [ -n "$warm_rss" ] && ((calls > warmup)); then
    awk -v a="$warm_rss" -v b="$end_rss" -v n=$((calls - warmup)) \
        'BEGIN {printf "growth after %d calls of warm-up: %.2f kB a call\n", n, (b - a) / n}'
fi
