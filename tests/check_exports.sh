#!/bin/sh
# Checks that the shared library exports only the functions of the public
# header, and every one of them that the library defines has C linkage.
lib="$1"
header="$2"
declared=$(grep -oE 'Kernel_[A-Za-z]+\(' "$header" | tr -d '(' | sort -u)
exported=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TtWw]$/ {print $3}' | sort -u)
status=0
for name in $exported; do
    if ! echo "$declared" | grep -qx "$name"; then
        echo "unexpected export: $name"
        status=1
    fi
done
count=$(echo "$exported" | grep -c .)
echo "$count exported functions, all declared in $(basename "$header")"
exit $status
