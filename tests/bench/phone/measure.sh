#!/usr/bin/env bash
# Latency, memory and CPU of zeloratalk-cli beside baresip, both through one Kamailio on loopback:
#   login -> registered, dial -> answered (medians of RUNS), peak RSS of an idle signed-in phone,
#   CPU time of a call of CALL_SECONDS. The far end is baresip's echo service.
#
#   tests/bench/phone/measure.sh [BUILD_DIR]     (RUNS=5 CALL_SECONDS=60 by default)
set -u
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source_dir="$(cd "$here/../../.." && pwd)"
build_dir="${1:-${ZELORA_BUILD_DIR:-$source_dir/build}}"
runs="${RUNS:-5}"
call_seconds="${CALL_SECONDS:-60}"
cli="$build_dir/src/cli/zeloratalk-cli"
for p in kamailio:kamailio baresip:baresip-core sox:sox; do
    command -v "${p%%:*}" > /dev/null || { echo "${p%%:*} missing: install the Debian package ${p##*:}" >&2; exit 1; }
done
[ -x "$cli" ] || { echo "$cli not built" >&2; exit 1; }

sip=127.0.6.150 echo_ip=127.0.6.151 phone_ip=127.0.6.152 bs_ip=127.0.6.153
work="$(mktemp -d "${TMPDIR:-/tmp}/zelora-bench-XXXXXX")"
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2> /dev/null; done
    wait 2> /dev/null
    rm -rf "$work"
}
trap cleanup EXIT

now_ms() { echo $(($(date +%s%N) / 1000000)); }
median() { sort -n | awk '{a[NR]=$1} END {if (NR==0) print "n/a"; else if (NR%2) print a[(NR+1)/2]; else print (a[NR/2]+a[NR/2+1])/2}'; }
wait_log() {   # wait_log FILE TEXT SECONDS -> 0 when found
    local limit=$(($3 * 100))
    for ((i = 0; i < limit; i++)); do
        grep -q "$2" "$1" 2> /dev/null && return 0
        sleep 0.01
    done
    return 1
}
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
rss_peak_kb() { awk '/VmHWM/ {print $2}' "/proc/$1/status"; }

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

sed -e "s/127\.0\.0\.1/$sip/g" "$source_dir/resources/deployment.ini" > "$work/deployment.ini"
sox -n -r 8000 -c 1 -b 16 "$work/tone.wav" synth 5 sine 1000 2> /dev/null

# One zeloratalk-cli run: prints "login_ms dial_ms rss_kb cpu_ms" (cpu only for the long call).
phone_run() {   # phone_run SECONDS_OF_CALL
    local home="$work/phone-$RANDOM"
    mkdir -p "$home"/{config,data,state,runtime}
    local in="$home/in" out="$home/out"
    mkfifo "$in"
    XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_STATE_HOME="$home/state" \
        XDG_RUNTIME_DIR="$home/runtime" ZELORA_DEPLOYMENT="$work/deployment.ini" ZELORA_LOCAL_ADDRESS="$phone_ip" \
        ZELORA_AUDIO="file:$work/tone.wav:$home/rec.wav" "$cli" < "$in" > "$out" 2> /dev/null &
    local pid=$!
    exec 7> "$in"
    local t0 t1 t2 t3 rss cpu0 cpu1
    t0=$(now_ms)
    echo "login 1001 pw1001" >&7
    wait_log "$out" "EVENT 1 " 10 || { echo "phone did not sign in" >&2; return 1; }
    t1=$(now_ms)
    sleep 2
    rss=$(rss_peak_kb "$pid")
    t2=$(now_ms)
    echo "dial echo" >&7
    wait_log "$out" "EVENT 9 " 10 || { echo "phone call not answered" >&2; return 1; }
    t3=$(now_ms)
    cpu0=$(cpu_ticks "$pid")
    sleep "$1"
    cpu1=$(cpu_ticks "$pid")
    echo "hangup" >&7
    echo "quit" >&7
    exec 7>&-
    wait "$pid"
    echo "$((t1 - t0)) $((t3 - t2)) $rss $(((cpu1 - cpu0) * 1000 / $(getconf CLK_TCK)))"
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
    local t0 t1 t2 t3 rss cpu0 cpu1
    t0=$(now_ms)
    baresip -f "$d" < "$d/in" > "$d/log" 2>&1 &
    local pid=$!
    exec 8> "$d/in"
    wait_log "$d/log" "200 OK" 10 || { echo "baresip did not register" >&2; return 1; }
    t1=$(now_ms)
    sleep 2
    rss=$(rss_peak_kb "$pid")
    t2=$(now_ms)
    printf '/dial sip:echo@%s\n' "$sip" >&8
    wait_log "$d/log" "Call established" 10 || { echo "baresip call not answered" >&2; return 1; }
    t3=$(now_ms)
    cpu0=$(cpu_ticks "$pid")
    sleep "$1"
    cpu1=$(cpu_ticks "$pid")
    printf '/hangup\n/quit\n' >&8
    exec 8>&-
    sleep 0.5
    kill "$pid" 2> /dev/null
    wait "$pid" 2> /dev/null
    echo "$((t1 - t0)) $((t3 - t2)) $rss $(((cpu1 - cpu0) * 1000 / $(getconf CLK_TCK)))"
}

: > "$work/phone.txt"
: > "$work/baresip.txt"
for ((r = 0; r < runs; r++)); do
    phone_run 1 >> "$work/phone.txt" || exit 1
    baresip_run 1 >> "$work/baresip.txt" || exit 1
done
phone_cpu=$(phone_run "$call_seconds" | awk '{print $4}')
baresip_cpu=$(baresip_run "$call_seconds" | awk '{print $4}')

report() {   # report NAME FILE CPU
    local login dial rss
    login=$(awk '{print $1}' "$2" | median)
    dial=$(awk '{print $2}' "$2" | median)
    rss=$(awk '{print $3}' "$2" | median)
    printf '%-15s login->registered %6s ms   dial->answered %6s ms   idle peak RSS %7s kB   CPU of a %ss call %6s ms\n' \
        "$1" "$login" "$dial" "$rss" "$call_seconds" "$3"
}
echo "medians of $runs runs (login time of baresip includes its start-up)"
report zeloratalk-cli "$work/phone.txt" "$phone_cpu"
report baresip "$work/baresip.txt" "$baresip_cpu"
