#!/usr/bin/env bash
# Latency, memory, CPU and wake-ups of zeloratalk-cli beside baresip, both through one Kamailio on
# loopback, the far end baresip's echo service:
#   start -> registered (both from process start, each with its settings already on disk; the
#   console phone's first start, which makes its settings, apart), login -> registered (console
#   phone only),
#   dial -> answered (medians of RUNS), peak RSS of an idle signed-in phone and its PSS and private
#   memory (USS) then, wake-ups per second
#   idle and signed in and during a call (context switches of all threads), and the CPU time of
#   one call of CALL_SECONDS.
#
#   tests/bench/phone/measure.sh [BUILD_DIR]     (RUNS=5 CALL_SECONDS=60 IDLE_SECONDS=5 by default)
#   WAKE_DETAIL=1 prints the console phone's wake-ups per thread.
set -u
build_dir="${1:-}"
source "$(dirname "${BASH_SOURCE[0]}")/peers.sh"
runs="${RUNS:-5}"
call_seconds="${CALL_SECONDS:-60}"
idle_seconds="${IDLE_SECONDS:-5}"
# baresip's file source ends at the end of the file: the tone lasts longer than the call.
TONE_SECONDS=$((call_seconds + 10)) start_peers

# Starts a console phone on HOME (a new profile when empty) and signs it in: sets started_us
# (before the start), spawned_us (after it) and registered_us (the phone's own stamp).
signed_in_phone() {   # signed_in_phone [HOME]
    prepare_phone "${1:-}"
    started_us=$(now_us)
    start_phone
    spawned_us=$(now_us)
    echo "login 1001 pw1001" >&7
    wait_log "$phone_out" "EVENT 1 " 10 || { echo "phone did not sign in" >&2; return 1; }
    registered_us=$(stamp_of "$phone_out" "EVENT 1 ")
}

# A console phone's first start on a new profile: start -> registered in ms. Its home then serves
# the later starts of phone_run.
first_start_run() {
    signed_in_phone || return 1
    stop_phone
    profile="$last_home"
    us_ms $((registered_us - started_us))
    echo
}

# Both phones print: start_ms login_ms dial_ms rss_kb idle_wakeups/s cpu_ms call_wakeups/s pss_kb uss_kb
# (call_wakeups/s "-" but for the long call).
phone_run() {   # phone_run SECONDS_OF_CALL
    local t2 t3 rss pss uss idle cpu0 cpu1 call
    signed_in_phone "$profile" || return 1
    sleep 1
    rss=$(rss_peak_kb "$phone_pid") pss=$(pss_kb "$phone_pid") uss=$(uss_kb "$phone_pid")
    [ "${WAKE_DETAIL:-0}" = 1 ] && { echo "idle, per thread:" >&2; wakeups_by_thread "$phone_pid" "$idle_seconds" >&2; }
    idle=$(wakeups_per_s "$phone_pid" "$idle_seconds")
    t2=$(now_us)
    echo "dial echo" >&7
    wait_log "$phone_out" "EVENT 9 " 10 || { echo "phone call not answered" >&2; return 1; }
    t3=$(stamp_of "$phone_out" "EVENT 9 ")
    cpu0=$(cpu_ticks "$phone_pid")
    if [ "$1" -gt 1 ]; then
        [ "${WAKE_DETAIL:-0}" = 1 ] && { echo "in a call, per thread:" >&2; wakeups_by_thread "$phone_pid" 2 >&2; }
        call=$(wakeups_per_s "$phone_pid" "$1")
    else
        sleep "$1"
    fi
    cpu1=$(cpu_ticks "$phone_pid")
    echo "hangup" >&7
    stop_phone
    echo "$(us_ms $((registered_us - started_us))) $(us_ms $((registered_us - spawned_us))) $(us_ms $((t3 - t2))) $rss $idle $(ticks_ms $((cpu1 - cpu0))) ${call:--} $pss $uss"
}

# One baresip run with the same account and the same steps (commands on its console).
baresip_run() {   # baresip_run SECONDS_OF_CALL
    local d="$work/bs-$RANDOM"
    mkdir -p "$d"
    cat > "$d/config" << EOF2
poll_method		epoll
sip_listen		$bs_ip:5060
net_interface		$bs_ip
audio_player		aufile,$d/played.wav
audio_source		aufile,$work/tone.wav
rtp_ports		31100-31199
module_path		/usr/lib/baresip/modules
module			g711.so
module			aufile.so
module			stdio.so
module			menu.so
module_tmp		account.so
EOF2
    echo "<sip:1002@$sip>;auth_pass=pw1002;audio_codecs=pcmu,pcma;regint=600" > "$d/accounts"
    mkfifo "$d/in"
    local t0 t1 t2 t3 rss pss uss idle cpu0 cpu1 call
    t0=$(now_us)
    baresip -f "$d" < "$d/in" > >(stamp_lines > "$d/log") 2>&1 &
    local pid=$!
    exec 8> "$d/in"
    wait_log "$d/log" "200 OK" 10 || { echo "baresip did not register" >&2; return 1; }
    t1=$(stamp_of "$d/log" "200 OK")
    sleep 1
    rss=$(rss_peak_kb "$pid") pss=$(pss_kb "$pid") uss=$(uss_kb "$pid")
    idle=$(wakeups_per_s "$pid" "$idle_seconds")
    t2=$(now_us)
    printf '/dial sip:echo@%s\n' "$sip" >&8
    wait_log "$d/log" "Call established" 10 || { echo "baresip call not answered" >&2; return 1; }
    t3=$(stamp_of "$d/log" "Call established")
    cpu0=$(cpu_ticks "$pid")
    if [ "$1" -gt 1 ]; then call=$(wakeups_per_s "$pid" "$1"); else sleep "$1"; fi
    cpu1=$(cpu_ticks "$pid")
    printf '/hangup\n/quit\n' >&8
    exec 8>&-
    sleep 0.5
    kill "$pid" 2> /dev/null
    wait "$pid" 2> /dev/null
    echo "$(us_ms $((t1 - t0))) - $(us_ms $((t3 - t2))) $rss $idle $(ticks_ms $((cpu1 - cpu0))) ${call:--} $pss $uss"
}

: > "$work/phone.txt"
: > "$work/baresip.txt"
: > "$work/first.txt"
for ((r = 0; r < runs; r++)); do
    first_start_run >> "$work/first.txt" || exit 1
    phone_run 1 >> "$work/phone.txt" || exit 1
    baresip_run 1 >> "$work/baresip.txt" || exit 1
done
phone_long=$(phone_run "$call_seconds") || exit 1
baresip_long=$(baresip_run "$call_seconds") || exit 1

report() {   # report NAME FILE LONG_RUN
    local col
    col() { awk -v c="$1" '{print $c}' "$2" | median; }
    printf '%-15s start->registered %5s ms  login->registered %5s ms  dial->answered %5s ms  idle peak RSS %6s kB\n' \
        "$1" "$(col 1 "$2")" "$(col 2 "$2")" "$(col 3 "$2")" "$(col 4 "$2")"
    printf '%-15s idle PSS %6s kB  private (USS) %6s kB\n' "" "$(col 8 "$2")" "$(col 9 "$2")"
    printf '%-15s wake-ups/s idle %6s  in a call %6s   CPU of a %ss call %5s ms\n' \
        "" "$(col 5 "$2")" "$(echo "$3" | awk '{print $7}')" "$call_seconds" "$(echo "$3" | awk '{print $6}')"
}
echo "medians of $runs runs; load average $(cut -d' ' -f1-3 /proc/loadavg)"
report zeloratalk-cli "$work/phone.txt" "$phone_long"
printf '%-15s first start (new profile) -> registered %5s ms\n' "" "$(median < "$work/first.txt")"
report baresip "$work/baresip.txt" "$baresip_long"
