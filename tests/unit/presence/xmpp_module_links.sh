#!/bin/sh
# xmpp_module_links.sh MODULE PROGRAM...: every symbol the XMPP module takes from outside its own
# libraries is one each program exports, so loading it can never fail on a missing symbol.
set -eu
module=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
names() { sed 's/@.*//' | sort -u; }
for lib in $(ldd "$module" | awk '/=>/ {print $3}'); do
    nm -D --defined-only "$lib" | awk '{print $NF}'
done | names > "$work/libraries"
nm -D --undefined-only "$module" | awk '$1 == "U" {print $2}' | names > "$work/undefined"
comm -23 "$work/undefined" "$work/libraries" > "$work/wanted"
[ -s "$work/wanted" ] || { echo "the module takes nothing from the program: is it linked as meant?" >&2; exit 1; }
status=0
for program in "$@"; do
    nm -D --defined-only "$program" | awk '{print $NF}' | names > "$work/exported"
    comm -23 "$work/wanted" "$work/exported" > "$work/missing"
    if [ -s "$work/missing" ]; then
        echo "$program does not export what the XMPP module needs:" >&2
        c++filt < "$work/missing" >&2
        status=1
    fi
done
exit $status
