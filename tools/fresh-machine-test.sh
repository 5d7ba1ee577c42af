#!/bin/sh
# Runs the README's two commands on a really fresh Debian 12: a minimal
# bootstrapped root without make, compiler, git or sudo, into which the
# committed state of this checkout is cloned from the outside.
#
#   tools/fresh-machine-test.sh        (as root; downloads a base system and
#                                       the build packages, a few hundred MB)
#
# Two copies of one bootstrapped root:
#   A: root runs ./make run and ./make test.
#   B: a user without sudo runs them and must get the one-line hint and a
#      failure; then sudo is installed and a user with passwordless sudo runs
#      ./make run in a checkout of its own.
# Each step prints its time. Not part of CI. DEBOOTSTRAP_CACHE, when set,
# is a directory that keeps the downloaded base packages between runs.
set -e

if [ "$(id -u)" -ne 0 ]; then
    echo "run as root: $0" >&2
    exit 1
fi

repo=$(git -C "$(dirname "$0")/.." rev-parse --show-toplevel)
commit=$(git -C "$repo" rev-parse HEAD)
tour_last=1771  # the last line the tour prints
path=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin

work=$(mktemp -d /var/tmp/vorlan-fresh.XXXXXX)
cleanup() {
    for m in $(awk -v w="$work/" 'index($2, w) == 1 {print $2}' /proc/mounts | sort -r); do
        umount "$m" || umount -l "$m"
    done
    rm -rf --one-file-system "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# step NAME COMMAND...: runs the command with its output in $work/NAME.log
# and prints how long it took; leaves its status in $status.
step() {
    name=$1
    shift
    start=$(date +%s)
    status=0
    "$@" >"$work/$name.log" 2>&1 || status=$?
    echo "$name: $(($(date +%s) - start)) s, status $status"
}

# in_root ROOT USER COMMAND: runs the shell command in the checkout of USER
# inside ROOT, with the clean environment of a login.
in_root() {
    if [ "$2" = root ]; then home=/root; else home=/home/$2; fi
    chroot --userspec="$2:$2" "$1" env -i HOME="$home" USER="$2" PATH="$path" LANG=C.UTF-8 \
        sh -c "cd $home/vorlan && $3"
}

# checkout ROOT USER: clones the commit under test into USER's home.
checkout() {
    if [ "$2" = root ]; then home=/root; else home=/home/$2; fi
    git clone -q "$repo" "$1$home/vorlan"
    git -C "$1$home/vorlan" checkout -q "$commit"
    chroot "$1" chown -R "$2:$2" "$home/vorlan"
}

# expect_tour NAME: the tour ran to its end.
expect_tour() {
    [ "$status" -eq 0 ] || fail "$1 exited with $status (see the log below)"
    last=$(tail -n 1 "$work/$1.log")
    [ "$last" = "$tour_last" ] || fail "$1 ended with \"$last\", not \"$tour_last\""
}

# expect_hint NAME PACKAGE: one line naming the command for root, and a
# failure status.
expect_hint() {
    [ "$status" -ne 0 ] || fail "$1 succeeded without root or sudo"
    [ "$(wc -l <"$work/$1.log")" -eq 1 ] || fail "$1 printed more than one line"
    grep -q "^run as root: apt-get update && apt-get install -y --no-install-recommends .*$2" "$work/$1.log" ||
        fail "$1 did not name $2 in its hint"
}

show_log_on_failure() {
    [ "$failures" -eq 0 ] || tail -n 40 "$work/$1.log"
}

if ! command -v debootstrap >/dev/null 2>&1; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap >/dev/null
fi

echo "testing $commit in $work"
cache=""
[ -n "$DEBOOTSTRAP_CACHE" ] && mkdir -p "$DEBOOTSTRAP_CACHE" && cache="--cache-dir=$(realpath "$DEBOOTSTRAP_CACHE")"
step debootstrap debootstrap --variant=minbase $cache bookworm "$work/base" http://deb.debian.org/debian
[ "$status" -eq 0 ] || { tail -n 20 "$work/debootstrap.log"; exit 1; }
for tool in make cc g++ cmake git sudo; do
    [ ! -e "$work/base/usr/bin/$tool" ] || fail "the base root already has $tool"
done

prepare() {
    cp -a "$work/base" "$1"
    cp -L /etc/resolv.conf "$1/etc/resolv.conf"
    mount -t proc proc "$1/proc"
    mount -t devpts devpts "$1/dev/pts" -o newinstance,ptmxmode=0666
}

# A: root.
step copy_a prepare "$work/a"
checkout "$work/a" root
step root_make_run in_root "$work/a" root "./make run"
expect_tour root_make_run
show_log_on_failure root_make_run
step root_make_run_again in_root "$work/a" root "./make run"
expect_tour root_make_run_again
step root_make_test in_root "$work/a" root "./make test"
[ "$status" -eq 0 ] || { fail "./make test as root exited with $status"; grep -E "tests passed|Failed|\*\*\*" "$work/root_make_test.log" | tail -n 20; }
grep -E "tests passed" "$work/root_make_test.log" || true

# B: users.
step copy_b prepare "$work/b"
chroot "$work/b" useradd -m -s /bin/sh plain
checkout "$work/b" plain
step plain_make_run in_root "$work/b" plain "./make run"
expect_hint plain_make_run make
cat "$work/plain_make_run.log"
step plain_make_test in_root "$work/b" plain "./make test"
expect_hint plain_make_test libgtest-dev

step install_sudo chroot "$work/b" env -i PATH="$path" DEBIAN_FRONTEND=noninteractive \
    sh -c "apt-get update -qq && apt-get install -y -qq --no-install-recommends sudo"
chroot "$work/b" useradd -m -s /bin/sh admin
echo "admin ALL=(ALL) NOPASSWD: ALL" >"$work/b/etc/sudoers.d/admin"
chmod 0440 "$work/b/etc/sudoers.d/admin"
checkout "$work/b" admin
step sudo_make_run in_root "$work/b" admin "./make run"
expect_tour sudo_make_run
show_log_on_failure sudo_make_run
# The user without sudo now finds everything installed.
step plain_make_run_installed in_root "$work/b" plain "./make run"
expect_tour plain_make_run_installed

if [ "$failures" -eq 0 ]; then
    echo "fresh machine: all steps passed"
else
    echo "fresh machine: $failures failures"
    exit 1
fi
