#!/bin/sh
# The vorlan host's command line and scripts: options, what is skipped at
# the start of a script, script arguments, line ends, message locations and
# the reasons for a script that cannot be read.
#   scripts.sh VORLAN
set -e
vorlan=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $1"; [ -f "$dir/out" ] && { echo "--- stdout"; cat "$dir/out"; }; [ -f "$dir/err" ] && { echo "--- stderr"; cat "$dir/err"; }; exit 1; }
run() { status=0; "$@" > "$dir/out" 2> "$dir/err" || status=$?; }
expect_out() { printf "$1" > "$dir/want"; cmp -s "$dir/want" "$dir/out" || fail "$2"; }

# Options: -h and --help, -V and --version, repeated -e in one session.
run "$vorlan" -h; [ $status -eq 0 ] && grep -q "^Usage: vorlan" "$dir/out" || fail "-h"
run "$vorlan" --help; grep -q "ScriptArguments" "$dir/out" || fail "--help"
run "$vorlan" -V; expect_out 'vorlan 0.4.3\n' "-V"
run "$vorlan" --version; expect_out 'vorlan 0.4.3\n' "--version"
run "$vorlan" -e 'x = 6' -e 'x * 7' -e 'Print("p"); Output(1, 2)'
expect_out '6\n42\np\n1\n2\n' "repeated -e, LF line ends"
run "$vorlan" -e '1 + 1' -e '1 +'; [ $status -eq 1 ] && [ ! -s "$dir/out" ] || fail "a syntax error in an -e text runs nothing"
run "$vorlan" -x; [ $status -eq 2 ] && grep -q "unknown option -x" "$dir/err" || fail "unknown option"
run "$vorlan" -e; [ $status -eq 2 ] || fail "-e without a text"

# An executable script: byte-order mark, #! line, arguments, a string over
# two lines, a message with its location, a last line with a comment and no
# line end.
printf '\357\273\277#!/usr/bin/env vorlan\nargs = ScriptArguments\n{Length(args), Part(args, 2), Part(args, 3)}\ns = "one\ntwo"\nPart({1}, 5)\n3 + 4 /# the end' > "$dir/prog.vl"
run "$vorlan" "$dir/prog.vl" first "second arg"
[ $status -eq 0 ] || fail "script status $status"
printf '{"%s", "first", "second arg"}\n{3, "first", "second arg"}\n"one\\ntwo"\n{1}[5]\n7\n' "$dir/prog.vl" > "$dir/want"
cmp -s "$dir/want" "$dir/out" || fail "script output"
grep -qx "$dir/prog.vl:6: Part::Position: Part 5 of {1} does not exist." "$dir/err" || fail "message location"
# Run through its #! line, with the program found on the path (the system
# reads #! only at the very start, so this one has no byte-order mark).
tail -c +4 "$dir/prog.vl" > "$dir/exec.vl"
chmod +x "$dir/exec.vl"
mkdir "$dir/bin"
ln -s "$vorlan" "$dir/bin/vorlan"
status=0; PATH="$dir/bin:$PATH" "$dir/exec.vl" a b > "$dir/out" 2> "$dir/err" || status=$?
[ $status -eq 0 ] && grep -q '^{3, "a", "b"}$' "$dir/out" || fail "#! script"

# CR LF line ends, and a line comment ending the file.
printf '1 + 1\r\n/# comment\r\n{2,\r\n 3} /# tail' > "$dir/crlf.vl"
run "$vorlan" "$dir/crlf.vl"; expect_out '2\n{2, 3}\n' "CR LF script"

# A syntax error names its line and runs nothing.
printf 'Print("no")\n\n(1 + \n' > "$dir/bad.vl"
run "$vorlan" "$dir/bad.vl"
[ $status -eq 1 ] && [ ! -s "$dir/out" ] && grep -q "^$dir/bad.vl:3: Syntax error: " "$dir/err" || fail "syntax error line"

# Standard input as a script, with arguments.
status=0; printf 'ScriptArguments\n' | "$vorlan" - x > "$dir/out" 2> "$dir/err" || status=$?
expect_out '{"-", "x"}\n' "standard input with arguments"

# Scripts that cannot be read: one line with the reason, status 2.
run "$vorlan" "$dir/missing.vl"
[ $status -eq 2 ] && [ "$(wc -l < "$dir/err")" -eq 1 ] && grep -q "missing.vl: No such file or directory" "$dir/err" || fail "missing file"
run "$vorlan" "$dir"
[ $status -eq 2 ] && grep -q "Is a directory" "$dir/err" || fail "directory"
if [ "$(id -u)" -ne 0 ]; then
    printf '1\n' > "$dir/locked.vl"; chmod 000 "$dir/locked.vl"
    run "$vorlan" "$dir/locked.vl"
    [ $status -eq 2 ] && grep -q "Permission denied" "$dir/err" || fail "unreadable file"
fi
echo ok
