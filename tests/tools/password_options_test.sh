#!/usr/bin/env bash
# The tool's password options end to end: sources that give no password,
# --empty-password, how much of a file is read, and the modified UTF-8 form
# in which the password's bytes count.
#
#   password_options_test.sh TOOL
set -uo pipefail
tool=$(realpath "$1")
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

# The stored form of the password whose bytes that count are HEX, made with
# sha1sum alone.
stored_form() {
    local stage1
    stage1=$(unhex "$1" | sha1sum | cut -c1-40)
    echo "*$(unhex "$stage1" | sha1sum | cut -c1-40 | tr a-f A-F)"
}

printf 'some data\n' >in
export PW=secret EMPTY=

# ---- No password: status 3, a message, and no output file (the password is
# read before the output is opened). Columns: what --password-file names (or
# env: for --password-env), how to make it (printf format, or - for nothing),
# the message.
# An empty second column makes an empty file.
mkdir dir
while IFS='|' read -r name content message; do
    [[ $content == - ]] || printf "$content" >"$name"
    source=(--password-file "$name")
    [[ $name == env:* ]] && source=(--password-env "${name#env:}")
    rm -f out.vx
    run 3 encrypt -p demo "${source[@]}" in -o out.vx
    expect_err "$message"
    [[ ! -e out.vx && -z $(ls -A | grep '^\.secnative\.') ]] || fail "no password from $name left an output file"
done <<'TABLE'
dir|-|cannot read dir: Is a directory
missing|-|cannot open missing
empty||empty holds no password
lf|\n|lf holds no password
crlf|\r\n|crlf holds no password
env:EMPTY|-|environment variable EMPTY is empty; give --empty-password
env:UNSET_VARIABLE|-|environment variable UNSET_VARIABLE is not set
TABLE
if [[ -r /proc/self/mem ]]; then  # opens, but reading from its start fails
    run 3 encrypt -p demo --password-file /proc/self/mem in -o out.vx
    expect_err "cannot read /proc/self/mem"
    [[ ! -e out.vx ]] || fail "an unreadable password file left an output file"
fi

# ---- --empty-password takes an empty password from any source, and the
# sources agree on it.
run 0 encrypt -p demo --password-file lf --empty-password in -o empty.vx
run 0 decrypt -p demo --password-env EMPTY --empty-password empty.vx -o empty.back
cmp -s in empty.back || fail "an empty password from a file and from the environment"
run 3 decrypt -p demo --password-file crlf empty.vx -o empty.back
run 0 encrypt --help
grep -q -- "--empty-password" out.txt || fail "encrypt --help does not offer --empty-password"
grep -q "modified UTF-8" out.txt || fail "encrypt --help does not say how the bytes count"

# ---- Reading stops at the line end, so standard input goes on with the data,
# and after 36 bytes without one: /dev/zero, or a pipe whose writer keeps it
# open, end the reading at once.
{ printf 'secret\r\n'; cat in; } | "$tool" encrypt -p demo --password-file - -o piped.vx 2>err.txt ||
    fail "password and data on standard input: $(cat err.txt)"
run 0 decrypt -p demo --password-env PW piped.vx -o piped.back
cmp -s in piped.back || fail "the data after the password's line on standard input"
{ printf '%040d\n' 0; cat in; } | "$tool" encrypt -p demo --password-file - -o long.vx 2>err.txt
status=$?
((status == 3)) || fail "a long password's line before the data on standard input gave $status"
expect_err "its rest would be read as input"
[[ ! -e long.vx ]] || fail "a long password's line before the data left an output file"
timeout 10 "$tool" encrypt -p demo --password-file /dev/zero in -o zero.vx 2>err.txt ||
    fail "--password-file /dev/zero: $(cat err.txt)"
head -c 40 /dev/zero >zeros
run 0 decrypt -p demo --password-file zeros zero.vx -o zero.back  # the same first 31 bytes
cmp -s in zero.back || fail "a password of NUL bytes"
mkfifo held
(printf '%040d' 0; exec sleep 30) >held &
writer=$!
timeout 10 "$tool" encrypt -p demo --password-file held in -o held.vx 2>err.txt ||
    fail "a password file whose writer stays: $(cat err.txt)"
kill "$writer" 2>/dev/null
wait "$writer" 2>/dev/null

# ---- The bytes that count are the first 31 of the password's modified UTF-8
# form, as the Java side takes them: the stored form is made from those
# bytes, and the cipher's key too (a file holding those bytes already makes
# the same key). Columns: the password file (printf format), the bytes that
# count (hex), whether the password is cut.
while IFS='|' read -r content counted cut; do
    printf "$content" >pwfile
    unhex "$counted" >counted
    run 0 password hash --password-file pwfile
    [[ $(cat out.txt) == "$(stored_form "$counted")" ]] ||
        fail "password hash of '$content': $(cat out.txt), expected $(stored_form "$counted")"
    if [[ $cut == cut ]]; then
        expect_err "only the first 31 bytes of the password count"
    else
        [[ ! -s err.txt ]] || fail "password hash of '$content' said: $(cat err.txt)"
    fi
    run 0 encrypt -p demo --password-file pwfile in -o form.vx
    run 0 decrypt -p demo --password-file counted form.vx -o form.back
    cmp -s in form.back || fail "the cipher's key from '$content'"
done <<'TABLE'
secret\n|736563726574|
p\xc3\xa4ssw\xc3\xb6rd\r\n|70c3a4737377c3b67264|
pw\xf0\x9f\x98\x80x\n|7077eda0bdedb88078|
a\0b\n|61c08062|
\xe9t\xe9\n|e974e9|
aaaaaaaaaaaaaaaaaaaaaaaaaaaaa\xf0\x9f\x98\x80\n|6161616161616161616161616161616161616161616161616161616161eda0|cut
TABLE
PW_4=$(printf 'pw\xf0\x9f\x98\x80x')
export PW_4
run 0 password hash --password-env PW_4
[[ $(cat out.txt) == "$(stored_form 7077eda0bdedb88078)" ]] || fail "password hash from the environment"

finish "password option checks"
