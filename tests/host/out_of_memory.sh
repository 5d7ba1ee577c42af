#!/bin/sh
# The vorlan host under an address-space limit: an input too large to read
# and a power too large to compute each give a message, and the inputs after
# them still run, with exit status 0.
#   out_of_memory.sh VORLAN
set -e
vorlan=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

python3 -c "print('{' + ','.join(['1'] * 3000000) + '}')" > "$dir/script.vl"
printf '3^(10^10)\n2 + 3\n' >> "$dir/script.vl"

status=0
(ulimit -v 400000; "$vorlan" "$dir/script.vl" > "$dir/out" 2> "$dir/err") || status=$?
fail() { echo "FAIL: $1"; echo "--- stdout"; cut -c1-200 "$dir/out"; echo "--- stderr"; cut -c1-200 "$dir/err"; exit 1; }
[ "$status" -eq 0 ] || fail "exit status $status"
grep -q "script.vl:1: Out of memory: the input could not be read." "$dir/err" || fail "no message for the large input"
grep -q "Integer::Overflow: Integer overflow during computation with integers detected." "$dir/err" || fail "no overflow message"
[ "$(sed -n 1p "$dir/out")" = "Overflow" ] || fail "3^(10^10) is not Overflow"
[ "$(sed -n 2p "$dir/out")" = "5" ] || fail "the last input did not run"

echo "ok"
