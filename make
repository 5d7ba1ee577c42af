#!/bin/sh
# The README's entry point on a machine that may not have make yet. When make
# is missing it installs the Debian packages that the given goals need (as
# root, through sudo, or it says in one line what to run as root), then runs
# make with the same arguments: `./make run` is `make run`.
set -e
cd "$(dirname "$0")"
# A PATH that holds "." finds this script again as make; stop there rather
# than call ourselves for ever.
if [ -n "$VORLAN_MAKE_WRAPPER" ]; then
    echo "./make: no make program on PATH besides this script" >&2
    exit 127
fi
export VORLAN_MAKE_WRAPPER=1
command -v make >/dev/null 2>&1 || tools/install-deps.sh "$@"
exec make "$@"
