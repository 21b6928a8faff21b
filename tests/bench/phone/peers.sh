# Sourced by the phone benchmarks: one Kamailio and baresip's echo service on loopback, and the
# helpers that start a console phone, count wake-ups and read memory. $build_dir: the phone's
# build (default $ZELORA_BUILD_DIR, then build/ of the source tree).
# Addresses: SIP server, echo service, console phone, baresip phone, the connectivity probe's site.
sip=127.0.12.21 echo_ip=127.0.12.22 phone_ip=127.0.12.23 bs_ip=127.0.12.24 web_ip=127.0.12.25
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source_dir="$(cd "$here/../../.." && pwd)"
build_dir="${build_dir:-${ZELORA_BUILD_DIR:-$source_dir/build}}"
cli="$build_dir/src/cli/zeloratalk-cli"
for p in kamailio:kamailio baresip:baresip-core sox:sox; do
    command -v "${p%%:*}" > /dev/null || { echo "${p%%:*} missing: install the Debian package ${p##*:}" >&2; exit 1; }
done
[ -x "$cli" ] || { echo "$cli not built" >&2; exit 1; }

work="$(mktemp -d "${TMPDIR:-/tmp}/zelora-bench-XXXXXX")"
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2> /dev/null; done
    wait 2> /dev/null
    rm -rf "$work"
}
trap cleanup EXIT

now_us() { echo "${EPOCHREALTIME/./}"; }
# us_ms MICROSECONDS: milliseconds with one decimal.
us_ms() { printf '%d.%d' $(($1 / 1000)) $(($1 % 1000 / 100)); }
median() { sort -n | awk '{a[NR]=$1} END {if (NR==0) print "n/a"; else if (NR%2) print a[(NR+1)/2]; else print (a[NR/2]+a[NR/2+1])/2}'; }
wait_log() {   # wait_log FILE TEXT SECONDS -> 0 when found
    local limit=$(($3 * 100))
    for ((i = 0; i < limit; i++)); do
        grep -q "$2" "$1" 2> /dev/null && return 0
        sleep 0.01
    done
    return 1
}
# Lines of a program's output with the wall-clock microsecond at which each arrived in front:
# times read from the lines, not from polling the file, which would round them up to its step.
stamp_lines() {
    local line
    while IFS= read -r line; do
        printf '%s %s\n' "${EPOCHREALTIME/./}" "$line"
    done
}
# stamp_of FILE TEXT: the arrival time of the first line of FILE holding TEXT.
stamp_of() { grep -m1 -F -- "$2" "$1" | awk '{print $1}'; }
count_log() { grep -c "$2" "$1" 2> /dev/null; }
wait_count() {   # wait_count FILE TEXT COUNT SECONDS -> 0 once TEXT is in FILE COUNT times
    local limit=$(($4 * 100))
    for ((i = 0; i < limit; i++)); do
        [ "$(count_log "$1" "$2")" -ge "$3" ] && return 0
        sleep 0.01
    done
    return 1
}
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
ticks_ms() { echo $(($1 * 1000 / $(getconf CLK_TCK))); }
rss_peak_kb() { awk '/VmHWM/ {print $2}' "/proc/$1/status"; }
rss_kb() { awk '/VmRSS/ {print $2}' "/proc/$1/status"; }
# Proportional (shared pages divided among their users) and private (USS) memory now, in kB.
pss_kb() { awk '/^Pss:/ {print $2}' "/proc/$1/smaps_rollup"; }
uss_kb() { awk '/^Private_(Clean|Dirty):/ {n += $2} END {print n + 0}' "/proc/$1/smaps_rollup"; }
# Context switches of all threads of a process, voluntary and not: each is one wake-up.
wakeups() { cat /proc/"$1"/task/*/status 2> /dev/null | awk '/ctxt_switches/ {n += $2} END {print n + 0}'; }
# wakeups_per_s PID SECONDS: wake-ups per second over SECONDS (one decimal).
wakeups_per_s() {
    local w0 w1
    w0=$(wakeups "$1")
    sleep "$2"
    w1=$(wakeups "$1")
    awk -v a="$w0" -v b="$w1" -v s="$2" 'BEGIN {printf "%.1f", (b - a) / s}'
}
# Per-thread wake-ups over SECONDS, for finding the thread that polls (WAKE_DETAIL=1).
wakeups_by_thread() {
    local pid=$1 t
    declare -A before
    for t in /proc/"$pid"/task/*; do before[$t]=$(awk '/ctxt_switches/ {n += $2} END {print n}' "$t/status"); done
    sleep "$2"
    for t in /proc/"$pid"/task/*; do
        echo "  $(cat "$t/comm" 2> /dev/null) tid ${t##*/}: $(($(awk '/ctxt_switches/ {n += $2} END {print n}' "$t/status") - ${before[$t]:-0}))"
    done
}

start_peers() {
    mkdir -p "$work/kam" "$work/echo"
    kamailio -f "$source_dir/tools/sandbox/kamailio.cfg" -DD -E -Y "$work/kam" -P "$work/kam/pid" \
        -A "SIP_LISTEN=udp:$sip:5060" -A "REALM=\"$sip\"" > "$work/kamailio.log" 2>&1 &
    pids+=($!)
    cat > "$work/echo/config" << EOF2
poll_method		epoll
sip_listen		$echo_ip:5060
net_interface		$echo_ip
audio_player		aubridge,nil
audio_source		aubridge,nil
rtp_ports		31000-31099
module_path		/usr/lib/baresip/modules
module			g711.so
module			aubridge.so
module_tmp		account.so
module_app		echo.so
EOF2
    echo "<sip:echo@$sip>;auth_pass=pwecho;audio_codecs=pcmu,pcma;regint=600" > "$work/echo/accounts"
    sleep 0.3
    baresip -f "$work/echo" > "$work/echo.log" 2>&1 < /dev/null &
    pids+=($!)
    wait_log "$work/echo.log" "200 OK" 10 || { echo "echo service did not register" >&2; exit 1; }
    # The phone signs out after a few minutes of failed connectivity probes: the probe gets a site.
    mkdir -p "$work/site"
    python3 -m http.server --bind "$web_ip" --directory "$work/site" 80 > "$work/site.log" 2>&1 &
    pids+=($!)
    sed -e "s/127\.0\.0\.1/$sip/g" -e "s/^probe_site = .*/probe_site = $web_ip/" \
        "$source_dir/resources/deployment.ini" > "$work/deployment.ini"
    sox -n -r 8000 -c 1 -b 16 "$work/tone.wav" synth "${TONE_SECONDS:-5}" sine 1000 2> /dev/null
}

# prepare_phone [HOME]: a new home and command pipe for the next start_phone, made apart so that
# a timed start counts the phone's own start only, as the baresip runs do. Given the home of an
# earlier run, its settings, address book and log are copied in: a start as on any later day.
prepare_phone() {
    phone_home=$(mktemp -d "$work/phone-XXXXXX")
    mkdir -p "$phone_home"/{config,data,state,runtime}
    [ -n "${1:-}" ] && cp -r "$1"/config "$1"/data "$1"/state "$phone_home"/
    mkfifo "$phone_home/in"
}
# start_phone: a console phone reading commands from fd 7; sets phone_pid, phone_out, phone_err
# and last_home.
start_phone() {
    [ -n "${phone_home:-}" ] || prepare_phone
    local home="$phone_home"
    phone_home= last_home="$home"
    phone_out="$home/out" phone_err="$home/err"
    XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_STATE_HOME="$home/state" \
        XDG_RUNTIME_DIR="$home/runtime" ZELORA_DEPLOYMENT="$work/deployment.ini" ZELORA_LOCAL_ADDRESS="$phone_ip" \
        ZELORA_AUDIO="${PHONE_AUDIO:-file:$work/tone.wav:$home/rec.wav}" ${PHONE_WRAP:-} "$cli" < "$home/in" \
        > >(stamp_lines > "$phone_out") 2> "$home/err" &
    phone_pid=$!
    exec 7> "$home/in"
}
stop_phone() {   # returns the phone's exit status
    echo "quit" >&7
    exec 7>&-
    wait "$phone_pid"
}
