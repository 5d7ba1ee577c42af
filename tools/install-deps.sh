#!/bin/sh
# Installs the Debian packages that the given make goals need, when any is
# missing, without recommended packages: as root directly, through sudo
# otherwise. Without root or sudo it prints in one line what to run as root
# and fails.
#
#   tools/install-deps.sh [GOAL...]
#
# Every goal needs the build packages (the library and the vorlan host);
# test, test-sanitize, fuzz and bench add what they use. Arguments that are
# options or variable assignments of make are ignored.
set -e
build="make cmake g++ pkg-config liblzma-dev libedit-dev"
# GoogleTest, the GMP and MPFR oracles, Python for the independent checks.
tests="libgtest-dev libgmp-dev libmpfr-dev python3"
fuzz="clang libclang-rt-14-dev"
bench="python3-sympy"

packages="$build"
for goal in "$@"; do
    case "$goal" in
    -*|*=*) ;;
    test|test-sanitize) packages="$packages $tests" ;;
    fuzz) packages="$packages $tests $fuzz" ;;
    bench) packages="$packages $tests $bench" ;;
    esac
done

missing=""
for p in $packages; do
    case " $missing " in *" $p "*) continue ;; esac
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

install="apt-get install -y --no-install-recommends$missing"
if [ "$(id -u)" -eq 0 ]; then
    sudo=""
elif command -v sudo >/dev/null 2>&1; then
    sudo="sudo"
else
    echo "run as root: apt-get update && $install" >&2
    exit 1
fi
echo "Installing:$missing"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
$sudo env DEBIAN_FRONTEND=noninteractive $install -qq
