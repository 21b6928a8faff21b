#!/usr/bin/env bash
# The local sandbox: a registrar with the demo accounts, the tunnel server, an echo service and
# the presence server (Prosody, the same accounts as XMPP users) with its user search and
# IM gateways (presence-services),
# each on a loopback address of its own, and a deployment file that points the phone at them.
#
#   sandbox.sh start [--detach]   start everything; without --detach, Ctrl-C stops it again
#   sandbox.sh stop               stop what the last start left running
#   sandbox.sh status             what runs where
#   sandbox.sh env                the environment a phone needs to use the sandbox (eval-able)
#   sandbox.sh cli [USER]         zeloratalk-cli signed in as USER (default 1001); stdin is passed on
#   sandbox.sh desktop [ARGS]     the desktop program zeloraTALK (sign in from its login panel)
#
# Accounts (user/password): 1001/pw1001, 1002/pw1002, echo/pwecho. "echo" answers every call and
# sends back what it hears. The tunnel server knows the same accounts and its own echo number.
#
# Environment: ZELORA_BUILD_DIR (default: build/ in the source tree) holds the built programs;
# ZELORA_SANDBOX_DIR (default: a folder under TMPDIR) receives configs, logs and pid files.
set -u

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source_dir="$(cd "$here/../.." && pwd)"
build_dir="${ZELORA_BUILD_DIR:-$source_dir/build}"
sandbox_dir="${ZELORA_SANDBOX_DIR:-${TMPDIR:-/tmp}/zelora-sandbox-$(id -u)}"

sip_ip=127.0.6.200
echo_ip=127.0.6.201
tunnel_ip=127.0.6.202
web_ip=127.0.6.203
xmpp_ip=127.0.6.204

die() {
    echo "sandbox: $*" >&2
    exit 1
}

need() {   # need BINARY PACKAGE
    command -v "$1" > /dev/null 2>&1 || die "$1 not found: install the Debian package $2 (apt-get install $2)"
}

pid_alive() {
    [ -n "${1:-}" ] && kill -0 "$1" 2> /dev/null
}

read_pid() {
    [ -f "$sandbox_dir/$1.pid" ] && cat "$sandbox_dir/$1.pid"
}

write_configs() {
    mkdir -p "$sandbox_dir"/{kamailio,baresip,sounds,phone/config,phone/data,phone/state,phone/runtime}
    chmod 700 "$sandbox_dir/phone/runtime"

    sed -e "s/^default_server = .*/default_server = $sip_ip/" \
        -e "s/^other_server_1 = .*/other_server_1 = $sip_ip/" \
        -e "s/^other_server_2 = .*/other_server_2 = $sip_ip/" \
        -e "s/^server = .*/server = $tunnel_ip/" \
        -e "s/127\.0\.0\.1/$web_ip/g" \
        "$source_dir/resources/deployment.ini" > "$sandbox_dir/deployment.ini"
    # [presence] is the file's last section: the XMPP server's own address goes there.
    printf 'server = %s\n' "$xmpp_ip" >> "$sandbox_dir/deployment.ini"

    # The operator's web side: kept across restarts, so address-book changes survive.
    if [ ! -f "$sandbox_dir/operator.ini" ]; then
        cat > "$sandbox_dir/operator.ini" << EOF
[server]
version = zeloraTALK Version 0.1.0
downloadlink = http://$web_ip/setup.exe

[user:1001]
balance = 10.00
smsbalance = 5
lvl3 = 1001
inbox = 0

[user:1002]
balance = 10.00
smsbalance = 5
lvl3 = 1002
inbox = 0
EOF
    fi

    cat > "$sandbox_dir/tunnel-accounts" << 'EOF'
# user password
1001 pw1001
1002 pw1002
echo pwecho
EOF

    cat > "$sandbox_dir/baresip/config" << EOF
poll_method		epoll
sip_listen		$echo_ip:5060
net_interface		$echo_ip
audio_player		aubridge,nil
audio_source		aubridge,nil
rtp_ports		30000-30099
module_path		/usr/lib/baresip/modules
module			g711.so
module			aubridge.so
module_tmp		account.so
module_app		echo.so
EOF
    echo "<sip:echo@$sip_ip>;auth_pass=pwecho;audio_codecs=pcmu,pcma;regint=600" > "$sandbox_dir/baresip/accounts"

    # Ring tone and ring-back for the phone: the program's sound folder.
    [ -f "$sandbox_dir/sounds/ringin.wav" ] ||
        sox -n -r 8000 -c 1 -b 16 "$sandbox_dir/sounds/ringin.wav" synth 1 sine 440 sine 480 remix - pad 0 2 2> /dev/null
    [ -f "$sandbox_dir/sounds/ringout.wav" ] ||
        sox -n -r 8000 -c 1 -b 16 "$sandbox_dir/sounds/ringout.wav" synth 2 sine 440 sine 480 remix - pad 0 4 2> /dev/null
    local registry="$sandbox_dir/phone/config/zeloraTALK/registry.ini"
    if [ ! -f "$registry" ]; then
        mkdir -p "$(dirname "$registry")"
        printf '[Software\\zeloraTALK\\zeloraTALK]\nAppPath=sz:%s/sounds/\n' "$sandbox_dir" > "$registry"
    fi
}

wait_for() {   # wait_for SECONDS DESCRIPTION COMMAND...
    local limit=$(($1 * 10)) what="$2" name
    shift 2
    for ((i = 0; i < limit; i++)); do
        "$@" && return 0
        for name in kamailio tunnel-server operator-sim baresip; do
            if ! pid_alive "$(read_pid "$name")"; then
                stop > /dev/null
                die "$name ended while starting: see $sandbox_dir/$name.log"
            fi
        done
        sleep 0.1
    done
    stop > /dev/null
    die "$what did not come up (logs in $sandbox_dir)"
}

registered() {
    grep -q "200 OK" "$sandbox_dir/baresip.log" 2> /dev/null
}

tunnel_listening() {
    (exec 3<> "/dev/tcp/$tunnel_ip/443") 2> /dev/null
}

web_listening() {
    (exec 3<> "/dev/tcp/$web_ip/80") 2> /dev/null
}

xmpp_listening() {
    (exec 3<>"/dev/tcp/$xmpp_ip/5222") 2>/dev/null
}

# Prosody with the demo accounts as XMPP users too (same passwords).
start_prosody() {
    local config="$source_dir/tests/integration/peers/prosody.cfg.lua" user
    mkdir -p "$sandbox_dir/prosody/data"
    export ZELORA_XMPP_DIR="$sandbox_dir/prosody" ZELORA_XMPP_ADDRESS="$xmpp_ip"
    export ZELORA_XMPP_PLUGINS="$source_dir/tools/prosody" ZELORA_XMPP_COMPONENT_SECRET=sandbox
    for user in 1001 1002 echo; do
        prosodyctl --config "$config" register "$user" localhost "pw$user" >> "$sandbox_dir/prosody.log" 2>&1 ||
            die "prosodyctl could not create $user"
    done
    prosody --config "$config" -F >> "$sandbox_dir/prosody.log" 2>&1 &
    echo $! > "$sandbox_dir/prosody.pid"
}

# The search finds the demo accounts; the services connect once Prosody listens.
start_presence_services() {
    printf '1001\tDemo One\t1001@localhost\t1001\n1002\tDemo Two\t1002@localhost\t1002\necho\tEcho Service\techo@localhost\t\n' \
        > "$sandbox_dir/search-users"
    "$1" --server "$xmpp_ip" --port 5347 --domain localhost --secret sandbox --users "$sandbox_dir/search-users" \
        > "$sandbox_dir/presence-services.log" 2>&1 &
    echo $! > "$sandbox_dir/presence-services.pid"
}

services_connected() {
    [ "$(grep -c ' connected$' "$sandbox_dir/presence-services.log" 2> /dev/null)" -ge 4 ]
}

start() {
    local detach=0
    [ "${1:-}" = "--detach" ] && detach=1
    need kamailio kamailio
    need baresip baresip-core
    need sox sox
    need prosody prosody
    local tunnel_server="$build_dir/tools/tunnel-server/tunnel-server"
    [ -x "$tunnel_server" ] || die "$tunnel_server not found: build the project first (ZELORA_BUILD_DIR names the build folder)"
    local operator_sim="$build_dir/tools/operator-sim/operator-sim"
    [ -x "$operator_sim" ] || die "$operator_sim not found: build the project first (ZELORA_BUILD_DIR names the build folder)"
    local presence_services="$build_dir/tools/presence-services/presence-services"
    [ -x "$presence_services" ] || die "$presence_services not found: build the project first (ZELORA_BUILD_DIR names the build folder)"
    if pid_alive "$(read_pid kamailio)"; then
        die "already running (sandbox.sh stop first)"
    fi
    write_configs

    kamailio -f "$here/kamailio.cfg" -DD -E -Y "$sandbox_dir/kamailio" -P "$sandbox_dir/kamailio/kamailio.pid" \
        -A "SIP_LISTEN=udp:$sip_ip:5060" -A "REALM=\"$sip_ip\"" > "$sandbox_dir/kamailio.log" 2>&1 &
    echo $! > "$sandbox_dir/kamailio.pid"

    "$tunnel_server" --listen "$tunnel_ip" --port 443 --accounts "$sandbox_dir/tunnel-accounts" --echo echo \
        > "$sandbox_dir/tunnel-server.log" 2>&1 &
    echo $! > "$sandbox_dir/tunnel-server.pid"

    "$operator_sim" --listen "$web_ip" --port 80 --data "$sandbox_dir/operator.ini" \
        > "$sandbox_dir/operator-sim.log" 2>&1 &
    echo $! > "$sandbox_dir/operator-sim.pid"

    start_prosody
    start_presence_services "$presence_services"

    : > "$sandbox_dir/baresip.log"
    sleep 0.3
    baresip -f "$sandbox_dir/baresip" > "$sandbox_dir/baresip.log" 2>&1 < /dev/null &
    echo $! > "$sandbox_dir/baresip.pid"

    wait_for 10 "the echo service's registration with kamailio" registered
    wait_for 10 "the tunnel server" tunnel_listening
    wait_for 10 "the operator web service" web_listening
    wait_for 10 "the presence server" xmpp_listening
    wait_for 10 "the search and gateway components" services_connected
    status
    if [ "$detach" = 1 ]; then
        echo "Stop with: $0 stop"
        return 0
    fi
    echo "Ctrl-C stops the sandbox."
    trap 'stop; exit 0' INT TERM
    while pid_alive "$(read_pid kamailio)"; do
        sleep 1
    done
    stop
}

stop() {
    local name pid
    for name in baresip presence-services prosody operator-sim tunnel-server kamailio; do
        pid="$(read_pid "$name")"
        if pid_alive "$pid"; then
            kill "$pid"
            for ((i = 0; i < 50; i++)); do
                pid_alive "$pid" || break
                sleep 0.1
            done
            pid_alive "$pid" && kill -9 "$pid"
            echo "stopped $name (pid $pid)"
        fi
        rm -f "$sandbox_dir/$name.pid"
    done
}

status() {
    local state
    row() {
        if pid_alive "$(read_pid "$1")"; then state="running, pid $(read_pid "$1")"; else state="stopped"; fi
        printf '  %-15s %-28s %s\n' "$1" "$2" "$state"
    }
    echo "zeloraTALK sandbox in $sandbox_dir"
    row kamailio "udp $sip_ip:5060" 
    row tunnel-server "tcp $tunnel_ip:443"
    row operator-sim "http $web_ip:80"
    row baresip "udp $echo_ip:5060 (echo)"
    row prosody "xmpp $xmpp_ip:5222"
    row presence-services "search, yahoo, msn, gtalk"
    echo "  accounts: 1001/pw1001 1002/pw1002 echo/pwecho; deployment file $sandbox_dir/deployment.ini"
}

print_env() {
    cat << EOF
export ZELORA_DEPLOYMENT='$sandbox_dir/deployment.ini'
export XDG_CONFIG_HOME='$sandbox_dir/phone/config'
export XDG_DATA_HOME='$sandbox_dir/phone/data'
export XDG_STATE_HOME='$sandbox_dir/phone/state'
export XDG_RUNTIME_DIR='$sandbox_dir/phone/runtime'
EOF
}

cli() {
    local user="${1:-1001}" password
    case "$user" in
        1001) password=pw1001 ;;
        1002) password=pw1002 ;;
        echo) password=pwecho ;;
        *) die "unknown sandbox account $user (1001, 1002, echo)" ;;
    esac
    local program="$build_dir/src/cli/zeloratalk-cli"
    [ -x "$program" ] || die "$program not found: build the project first"
    pid_alive "$(read_pid kamailio)" || die "the sandbox is not running (sandbox.sh start --detach)"
    [ -f "$sandbox_dir/deployment.ini" ] || write_configs
    eval "$(print_env)"
    # Each account its own loopback address, so that several phones can run side by side.
    if [ -z "${ZELORA_LOCAL_ADDRESS:-}" ]; then
        case "$user" in
            1001) export ZELORA_LOCAL_ADDRESS=127.0.6.210 ;;
            1002) export ZELORA_LOCAL_ADDRESS=127.0.6.211 ;;
            *) export ZELORA_LOCAL_ADDRESS=127.0.6.212 ;;
        esac
    fi
    { echo "login $user $password"; cat; } | "$program"
}

desktop() {
    local program="$build_dir/src/app/ui/zeloraTALK"
    [ -x "$program" ] || die "$program not found: build the project first"
    pid_alive "$(read_pid kamailio)" || die "the sandbox is not running (sandbox.sh start --detach)"
    [ -f "$sandbox_dir/deployment.ini" ] || write_configs
    eval "$(print_env)"
    export ZELORA_LOCAL_ADDRESS="${ZELORA_LOCAL_ADDRESS:-127.0.6.213}"
    exec "$program" "$@"
}

case "${1:-}" in
    start) shift; start "$@" ;;
    stop) stop ;;
    status) status ;;
    env) print_env ;;
    cli) shift; cli "$@" ;;
    desktop) shift; desktop "$@" ;;
    *)
        sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'
        exit 2
        ;;
esac
