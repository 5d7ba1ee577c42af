#!/bin/sh
# Runs an example host on the fixed session beside this script and compares
# everything it writes (results, Print output, messages, syntax errors) with
# the expected text; a session with a syntax error ends with status 1.
#   check_host.sh HOST
set -e
host="$1"
here=$(dirname "$0")
out=$(mktemp)
trap 'rm -f "$out"' EXIT
status=0
"$host" <"$here/host_input.txt" >"$out" 2>&1 || status=$?
if ! diff -u "$here/host_expected.txt" "$out"; then
    echo "$host: the session's output differs" >&2
    exit 1
fi
if [ "$status" -ne 1 ]; then
    echo "$host: status $status after a syntax error, expected 1" >&2
    exit 1
fi
version=$("$host" --version)
if [ "$version" != "vorlan.h 0.4.3, library 0.4.3-2" ]; then
    echo "$host: --version says \"$version\"" >&2
    exit 1
fi
