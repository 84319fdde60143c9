#!/bin/bash
# profile-tool's exact command line and output, which comparison scripts
# rely on, run on the profile fixtures.
# Usage: profile_tool_test.sh PROFILE_TOOL TEST_DATA_DIR
set -u

tool=$1
data=$2/profile
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# expect EXPECTED_OUTPUT ARGS...: the tool prints exactly that and exits 0.
expect() {
    local expected=$1 actual status
    shift
    actual=$("$tool" "$@")
    status=$?
    [[ $status -eq 0 ]] || fail "exit $status: $*"
    [[ $actual == "$expected" ]] || fail "$*: got '$actual', want '$expected'"
}

# usage ARGS...: wrong usage exits 2 with the usage text on stderr only.
usage() {
    local out err status
    out=$("$tool" "$@" 2>"$scratch/stderr")
    status=$?
    err=$(<"$scratch/stderr")
    [[ $status -eq 2 ]] || fail "exit $status, want 2: $*"
    [[ -z $out ]] || fail "stdout not empty: $*"
    [[ $err == usage:* ]] || fail "no usage text: $*"
}

# same_file ACTUAL EXPECTED: byte for byte.
same_file() {
    cmp -s "$1" "$2" || fail "$1 differs from $2"
}

# get-string: count, tab, lower-case hex of the characters.
expect $'9\t74776f20776f726473' get-string "$data/line_ends_cr.ini" s b def 100
expect $'0\t' get-string "$data/line_ends_crlf.ini" s b def 0
expect $'3\t646566' get-string "$data/missing.ini" s a 'def   ' 100
expect $'1\t78' get-string "$data/nul_bytes.ini" s a def 100
expect $'5\t636166c3a9' get-string "$data/utf16le.ini" s a def 100
expect $'7\t64656661756c74' get-string "$data" s a default 100

# hex: arguments, including the empty string and bytes a shell cannot pass.
expect $'9\t74776f20776f726473' get-string "$data/line_ends_crlf.ini" hex:73 hex:62 hex: hex:313030
expect $'0\t' get-string "$data/line_ends_crlf.ini" s none hex: 100
expect $'1\t64' get-string "$data/line_ends_crlf.ini" s none hex:640065 100
expect $'8\t6e616d656c657373' get-string "$data/empty_values.ini" s hex: def 100
expect $'9\t76616c7565206f6e65' get-string "$data/spaced_section.ini" hex:20205370616365642053656374696f6e09 'key one' def 100

# get-int: the unsigned 32-bit value; the default as given or its bits.
expect 42 get-int "$data/integers.ini" int plain 7
expect 4294967295 get-int "$data/integers.ini" int neg 7
expect 7 get-int "$data/integers.ini" int empty 7
expect 4294967295 get-int "$data/integers.ini" int missing -1
expect 4294967295 get-int "$data/integers.ini" int missing 4294967295
expect 3500 get-int "$data/missing.ini" window left 3500

# write: 1 and the golden result; the leading blank of the value kept.
for name in replace insert_key insert_key_cr_only new_section_no_final_newline utf16le; do
    cp "$data/write/$name.ini" "$scratch/$name.ini"
    expect 1 write "$scratch/$name.ini" window "$([[ $name == replace ]] && echo left || echo top)" ' 3500'
    same_file "$scratch/$name.ini" "$data/write/$name.expected"
done
cp "$data/write/nul_preamble.ini" "$scratch/nul.ini"
expect 1 write "$scratch/nul.ini" hex:73656374696f6e31 key1 hex:737472696e6731
same_file "$scratch/nul.ini" "$data/write/nul_preamble.expected"

expect 1 write "$scratch/created.ini" window left ' 3500'
printf '[window]\r\nleft= 3500\r\n' >"$scratch/created.expected"
same_file "$scratch/created.ini" "$scratch/created.expected"
expect 1 write "$scratch/created.ini" window left hex:
printf '[window]\r\nleft=\r\n' >"$scratch/created.expected"
same_file "$scratch/created.ini" "$scratch/created.expected"

# write: 0 and nothing touched when the file cannot be written as asked.
cp "$data/write/insert_key.ini" "$scratch/keep.ini"
expect 0 write "$scratch/keep.ini" window top hex:310d0a783d32
same_file "$scratch/keep.ini" "$data/write/insert_key.ini"
expect 0 write "$scratch/no/such/dir.ini" window left 1
[[ ! -e $scratch/no ]] || fail "a missing directory was created"
mkdir "$scratch/dir.ini"
expect 0 write "$scratch/dir.ini" window left 1
[[ -d $scratch/dir.ini ]] || fail "a directory was replaced"

# Wrong usage.
usage
usage get-string "$data/empty.ini" s a def
usage get-string "$data/empty.ini" s a def ten
usage get-string "$data/empty.ini" s a def 99999999999
usage get-int "$data/empty.ini" s a 4294967296
usage write "$data/empty.ini" s a
usage get-string "$data/empty.ini" hex:7 a def 10
usage get-string "$data/empty.ini" hex:zz a def 10
usage frobnicate a b c d

if [[ $failures -ne 0 ]]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "all profile-tool checks passed"
