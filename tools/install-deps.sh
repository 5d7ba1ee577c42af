#!/bin/sh
# Installs the Debian packages that the given make goals need, when any is
# missing, without recommended packages: as root directly, through sudo
# otherwise. Without root or sudo it prints in one line what to run as root
# and fails.
#
#   tools/install-deps.sh [GOAL...]
#
# Every goal needs make. run, kernel and install add the build packages (the
# library and the vorlan host); all (the default), build, test and
# test-sanitize the test packages too; fuzz and bench what they use besides;
# deps everything. Options and variable assignments of make are ignored.
set -e
build="cmake g++ pkg-config liblzma-dev libedit-dev"
# GoogleTest, the GMP and MPFR oracles, Python for the independent checks,
# and what the Python package, the notebook kernel and their tests use.
tests="libgtest-dev libgmp-dev libmpfr-dev python3 python3-pytest python3-ipykernel python3-jupyter-client python3-nbformat python3-nbclient jupyter-nbconvert python3-venv python3-pip python3-setuptools"
fuzz="clang libclang-rt-14-dev"
bench="python3-sympy"

packages="make"
goals=0
for goal in "$@"; do
    case "$goal" in
    -*|*=*) continue ;;
    esac
    goals=$((goals + 1))
    case "$goal" in
    clean) ;;
    run|kernel|install) packages="$packages $build" ;;
    fuzz) packages="$packages $build $tests $fuzz" ;;
    bench) packages="$packages $build $tests $bench" ;;
    deps) packages="$packages $build $tests $fuzz $bench" ;;
    *) packages="$packages $build $tests" ;;
    esac
done
[ "$goals" -gt 0 ] || packages="$packages $build $tests"

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
