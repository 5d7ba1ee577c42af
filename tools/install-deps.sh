#!/bin/sh
# Installs the Debian packages the build, the tests, the fuzz target and the
# benchmarks need, when any is missing. Runs apt-get as root, or through sudo.
set -e
packages="cmake g++ make pkg-config liblzma-dev libedit-dev libgtest-dev libgmp-dev libmpfr-dev clang libclang-rt-14-dev python3 python3-sympy"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing
