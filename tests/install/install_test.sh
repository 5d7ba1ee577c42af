#!/bin/sh
# Installs the built tree into a temporary prefix and uses it from outside:
# the library's names and SONAME, a C host built with pkg-config, a C++ host
# built by a CMake project with find_package, and the installed program,
# which must find the library through its run path alone.
#   install_test.sh BUILD_DIR SOURCE_DIR C_COMPILER CXX_COMPILER [FLAGS]
# FLAGS (the sanitizer options of the build) go to every outside compile.
set -e
build="$1"
source="$2"
cc="$3"
cxx="$4"
flags="$5"

tmp=$(mktemp -d)
# Installing rewrites the build tree's install_manifest.txt; the one of an
# earlier real install is put back.
manifest="$build/install_manifest.txt"
[ -f "$manifest" ] && cp -p "$manifest" "$tmp/manifest.saved"
cleanup() {
    if [ -f "$tmp/manifest.saved" ]; then cp -p "$tmp/manifest.saved" "$manifest"; else rm -f "$manifest"; fi
    rm -rf "$tmp"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

prefix="$tmp/prefix"
cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" || { cat "$tmp/install.log"; fail "cmake --install"; }

pc=$(find "$prefix" -name vorlan.pc)
[ -n "$pc" ] || fail "no vorlan.pc installed"
libdir=$(dirname "$(dirname "$pc")")
export PKG_CONFIG_PATH="$(dirname "$pc")"
[ "$(pkg-config --variable=libdir vorlan)" = "$libdir" ] || fail "vorlan.pc gives libdir $(pkg-config --variable=libdir vorlan)"
[ "$(pkg-config --modversion vorlan)" = 0.4.3 ] || fail "vorlan.pc gives version $(pkg-config --modversion vorlan)"

# libvorlan.so -> libvorlan.so.0 -> libvorlan.so.0.4.3, and the SONAME.
[ "$(readlink "$libdir/libvorlan.so")" = libvorlan.so.0 ] || fail "libvorlan.so does not point to libvorlan.so.0"
[ "$(readlink "$libdir/libvorlan.so.0")" = libvorlan.so.0.4.3 ] || fail "libvorlan.so.0 does not point to libvorlan.so.0.4.3"
[ -f "$libdir/libvorlan.so.0.4.3" ] && [ ! -L "$libdir/libvorlan.so.0.4.3" ] || fail "libvorlan.so.0.4.3 is no file"
readelf -d "$libdir/libvorlan.so.0.4.3" | grep -q 'Library soname: \[libvorlan.so.0\]' || fail "the SONAME is not libvorlan.so.0"

for f in include/vorlan.h share/doc/vorlan/README.md share/doc/vorlan/LICENSE share/doc/vorlan/CHANGELOG.md; do
    [ -f "$prefix/$f" ] || fail "$f not installed"
done
[ ! -f "$source/docs/vorlan.1" ] || [ -f "$prefix/share/man/man1/vorlan.1" ] || fail "the man page not installed"

# A C host built the way the README says.
# shellcheck disable=SC2046,SC2086
"$cc" $flags "$source/examples/host.c" $(pkg-config --cflags --libs vorlan) -o "$tmp/host_c" || fail "building host.c with pkg-config"
LD_LIBRARY_PATH="$libdir" "$source/tests/install/check_host.sh" "$tmp/host_c" || fail "host.c built with pkg-config"

# A C++ host built by an outside CMake project.
mkdir "$tmp/outside"
cp "$source/examples/host.cpp" "$tmp/outside/"
cat >"$tmp/outside/CMakeLists.txt" <<'END'
cmake_minimum_required(VERSION 3.20)
project(outside CXX)
find_package(vorlan 0.4 REQUIRED)
add_executable(host host.cpp)
target_link_libraries(host PRIVATE vorlan::vorlan)
END
cmake -S "$tmp/outside" -B "$tmp/outside/build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER="$cxx" \
    -DCMAKE_CXX_FLAGS="$flags" >"$tmp/outside.log" 2>&1 &&
    cmake --build "$tmp/outside/build" >>"$tmp/outside.log" 2>&1 || { cat "$tmp/outside.log"; fail "the find_package project"; }
"$source/tests/install/check_host.sh" "$tmp/outside/build/host" || fail "host.cpp built with find_package"

# Another minor version is not compatible before 1.0.
sed -i 's/find_package(vorlan 0.4 REQUIRED)/find_package(vorlan 0.5 REQUIRED)/' "$tmp/outside/CMakeLists.txt"
if cmake -S "$tmp/outside" -B "$tmp/outside/build5" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER="$cxx" >"$tmp/outside5.log" 2>&1; then
    fail "find_package(vorlan 0.5) accepted version 0.4.3"
fi

# The installed program finds its library without help.
result=$(env -u LD_LIBRARY_PATH "$prefix/bin/vorlan" -e "1+1") || fail "the installed vorlan does not run"
[ "$result" = 2 ] || fail "the installed vorlan says \"$result\" for 1+1"

# Staged for packaging: the files land under DESTDIR, and vorlan.pc names
# the final prefix.
DESTDIR="$tmp/stage" cmake --install "$build" --prefix /opt/vorlan >/dev/null || fail "cmake --install with DESTDIR"
staged=$(find "$tmp/stage/opt/vorlan" -name vorlan.pc)
[ -n "$staged" ] && grep -qx 'prefix=/opt/vorlan' "$staged" || fail "the staged vorlan.pc does not name /opt/vorlan"
echo "installed, found by pkg-config and find_package, and run from $prefix"
