#!/usr/bin/env bash
# End-to-end checks of the secnative command-line tool in a temporary
# directory.
#
#   secnative_tool_test.sh TOOL DATA_DIR [--low-memory]
#
# --low-memory also runs a round trip of a file far larger than the address
# space the tool is allowed (not under the sanitizers, which reserve more).
set -uo pipefail
tool=$(realpath "$1")
data=$(realpath "$2")
low_memory=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# run EXPECTED_STATUS ARGS...: runs the tool, keeping stdout and stderr.
run() {
    local expected=$1
    shift
    "$tool" "$@" >out.txt 2>err.txt
    local status=$?
    [[ $status == "$expected" ]] || fail "secnative $* gave status $status, expected $expected: $(cat err.txt)"
}

expect_err() {
    grep -qF -- "$1" err.txt || fail "expected '$1' on standard error, got: $(cat err.txt)"
}

unhex() {
    printf "$(sed 's/../\\x&/g' <<<"$1")"
}

export PW=secret WRONG=wrong

# ---- Fixed streams: the tool decrypts what the reference construction made.
while IFS='|' read -r project password _ plain stream; do
    [[ -z $project || $project == \#* ]] && continue
    unhex "$stream" >stream.vx
    unhex "$plain" >expected
    PASS=$password run 0 decrypt -p "$project" --password-env PASS stream.vx -o plain
    cmp -s plain expected || fail "decrypting the $project stream"
done <"$data/cipher_streams.txt"

# ---- A wrong password on a fixed stream: the library's message, status 1, no
# output file and no temporary file.
unhex 4b454c54000000005f5e100000000000491490cfeb3cd4321f378471641262a0c5144ca01363d85df2371a1caff0b9a7 >demo.vx
rm -f plain
run 1 decrypt -p DEMO --password-env WRONG demo.vx -o plain
expect_err "Given final block not properly padded"
[[ ! -e plain ]] || fail "a failed decryption left its output file"
[[ -z $(ls -A | grep '^\.secnative\.') ]] || fail "a failed decryption left a new file beside its output"
# An existing file stays as it was.
echo "keep me" >plain
run 1 decrypt -p DEMO --password-env WRONG demo.vx -o plain
[[ $(cat plain) == "keep me" ]] || fail "a failed decryption replaced an existing file"
# Damaged streams: cut inside the header, cut off a block's end.
head -c 10 demo.vx >short.vx
run 1 decrypt -p DEMO --password-env PW short.vx -o plain
expect_err "data length is less than 16"
head -c 40 demo.vx >cut.vx
run 1 decrypt -p DEMO --password-env PW cut.vx -o plain
expect_err "Input length must be multiple of 16 when decrypting"

# ---- Round trips through files and pipes, at sizes around the block size.
for size in 0 1 15 16 17 1048575 1048576 1048577 3000001; do
    head -c "$size" /dev/urandom >in
    run 0 encrypt -p demo --password-env PW in -o in.vx
    run 0 decrypt -p DEMO --password-env PW in.vx -o in.back
    cmp -s in in.back || fail "round trip of $size bytes through files"
    "$tool" encrypt -p demo --password-env PW <in | "$tool" decrypt -p demo --password-env PW - >in.pipe ||
        fail "round trip of $size bytes through pipes"
    cmp -s in in.pipe || fail "round trip of $size bytes through pipes differs"
    [[ ! -s err.txt ]] || fail "a round trip of $size bytes wrote to standard error: $(cat err.txt)"
done
printf 'secret\n' >pwfile
run 0 decrypt -p demo --password-file pwfile in.vx -o in.back
cmp -s in in.back || fail "a password from a file"

# ---- The password never travels in the argument list. A tool still reading
# its input is looked at from outside.
mkfifo slow
"$tool" encrypt -p demo --password-env PW slow -o slow.vx 2>/dev/null &
pid=$!
exec 3<>slow
sleep 0.2
if [[ -r /proc/$pid/cmdline ]]; then
    arguments=$(tr '\0' ' ' </proc/$pid/cmdline)
    [[ $arguments != *secret* ]] || fail "the password is in the argument list"
fi
exec 3>&-
wait $pid || fail "encrypting from a fifo"
run 2 encrypt -p demo --password secret in
run 2 encrypt -p demo --password=secret in

# ---- A progress line only on a terminal, and only for long work.
if command -v script >/dev/null; then
    mkfifo slower
    (head -c 100000 /dev/urandom; sleep 1.6; head -c 100000 /dev/urandom) >slower &
    script -qec "$tool encrypt -p demo --password-env PW slower -o slower.vx" /dev/null >tty.txt
    grep -q "encrypting" tty.txt || fail "no progress line on a terminal"
    (head -c 100000 /dev/urandom; sleep 1.6; head -c 100000 /dev/urandom) >slower &
    "$tool" encrypt -p demo --password-env PW slower -o slower.vx 2>notty.txt
    [[ ! -s notty.txt ]] || fail "a progress line when standard error is no terminal"
fi

# ---- Bad usage: a clear message and status 2.
while IFS='|' read -r message args; do
    read -ra words <<<"$args"
    run 2 "${words[@]}"
    expect_err "$message"
done <<'TABLE'
A subcommand is required|
--project is required|encrypt in
--project is required|decrypt in
The following argument was not expected: extra|decrypt -p x in extra
--password-file excludes --password-env|encrypt -p x --password-env PW --password-file pwfile in
A subcommand is required|xml
files is required|xml check
path is required|xml get
A subcommand is required|password
stored is required|password verify
a stored form is '*' and 40 hexadecimal digits|password verify *123 --password-env PW
A subcommand is required|base64
The following argument was not expected: --bogus|base64 encode --bogus
TABLE
run 3 encrypt -p demo --password-env UNSET_VARIABLE in
expect_err "UNSET_VARIABLE is not set"
run 3 encrypt -p demo --password-env PW missing-file
expect_err "cannot open missing-file"
"$tool" encrypt -p demo --password-env PW in </dev/null >/dev/null 2>&1 || fail "encrypt to /dev/null"
for command in "" encrypt decrypt xml "xml check" "xml format" "xml get" password "password hash" \
    "password verify" base64 "base64 encode" "base64 decode"; do
    read -ra words <<<"$command"
    run 0 "${words[@]}" --help
    grep -q "Usage: secnative" out.txt || fail "secnative $command --help"
done
run 0 --version
grep -q "^secnative [0-9]" out.txt || fail "--version"

# ---- XML: check, format, get.
printf '<?xml version="1.0"?>\n<config>\n  <db host="h1" port="5"><name>main</name></db>\n</config>\n' >good.xml
printf '<a>\n<b></a>\n' >warned.xml
printf '<a>\n  <b>&bogus;</b>\n</a>\n' >broken.xml
run 0 xml check good.xml
[[ ! -s err.txt ]] || fail "xml check printed for a good file"
run 0 xml check good.xml warned.xml
expect_err "warned.xml:"
expect_err "warning: Warning: Unmatched end tag"
run 1 xml check good.xml broken.xml missing.xml
grep -qE '^broken.xml:[0-9]+:[0-9]+: error: Error: ' err.txt || fail "xml check message: $(cat err.txt)"
expect_err "missing.xml"
run 0 xml format --raw good.xml
[[ $(cat out.txt) == '<?xml version="1.0"?><config><db host="h1" port="5"><name>main</name></db></config>' ]] ||
    fail "xml format --raw: $(cat out.txt)"
run 0 xml format good.xml -o formatted.xml
run 0 xml format --raw formatted.xml
[[ $(cat out.txt) == '<?xml version="1.0"?><config><db host="h1" port="5"><name>main</name></db></config>' ]] ||
    fail "xml format does not keep the document"
while IFS='|' read -r path options expected; do
    read -ra words <<<"$options"
    run 0 xml get "$path" "${words[@]}" good.xml
    [[ $(cat out.txt) == "$expected" ]] || fail "xml get $path $options: $(cat out.txt)"
done <<'TABLE'
config/db/name|--text|main
config/db/@host||h1
config/db/name|--raw|<name>main</name>
TABLE
printf '<r><x>1</x></r>' | "$tool" xml get r/x --text >out.txt && [[ $(cat out.txt) == 1 ]] ||
    fail "xml get from standard input, a document of one element"
run 1 xml get config/nothing good.xml
expect_err "no element at config/nothing"
run 1 xml format broken.xml -o never.xml
[[ ! -e never.xml ]] || fail "xml format left output for a broken file"

# ---- Passwords: the stored forms of the reference construction.
while IFS='|' read -r password stored; do
    [[ -z $stored || $password == \#* ]] && continue
    if ((${#password} > 31)); then
        # Only the first 31 bytes count at login, so only they are hashed.
        PASS=$password run 0 password hash --password-env PASS
        expect_err "only the first 31 bytes of the password count"
        cp out.txt long.txt
        PASS=${password:0:31} run 0 password hash --password-env PASS
        cmp -s out.txt long.txt || fail "password hash of a long password"
        continue
    fi
    empty=()  # an empty password is taken only when asked for
    [[ -z $password ]] && empty=(--empty-password)
    PASS=$password run 0 password hash --password-env PASS "${empty[@]}"
    [[ $(cat out.txt) == "$stored" ]] || fail "password hash of '$password': $(cat out.txt)"
    PASS=$password run 0 password verify "$stored" --password-env PASS "${empty[@]}"
    PASS="x$password" run 1 password verify "$stored" --password-env PASS
    expect_err "the password does not match"
done <"$data/stored_passwords.txt"

# ---- Base64.
for size in 0 1 2 3 53 54 55 55296 55297 200000; do
    head -c "$size" /dev/urandom >in
    for wrap in "" --wrap; do
        run 0 base64 encode $wrap in -o in.b64
        [[ $size == 0 || -z $wrap ]] || ! grep -qE '^.{73,}' in.b64 || fail "a wrapped line is longer than 72"
        run 0 base64 decode in.b64 -o in.back
        cmp -s in in.back || fail "Base64 round trip of $size bytes $wrap"
    done
done
printf 'aGVsbG8=\n' | "$tool" base64 decode >out.txt && [[ $(cat out.txt) == hello ]] || fail "decoding hello"
printf 'aGVs bG8h\n' | "$tool" base64 encode >/dev/null || fail "encoding from standard input"
printf 'aGV!sbG8=' >bad.b64
run 1 base64 decode bad.b64 -o never.bin
expect_err "illegal character"
[[ ! -e never.bin ]] || fail "a failed decode left its output file"

# ---- A file far larger than the tool may map: the work streams.
if [[ $low_memory == --low-memory ]]; then
    head -c $((160 << 20)) /dev/zero >huge
    (
        ulimit -v $((64 << 10))
        "$tool" encrypt -p demo --password-env PW huge -o huge.vx &&
            "$tool" decrypt -p demo --password-env PW huge.vx -o huge.back
    ) || fail "a 160 MiB round trip under a 64 MiB address-space limit"
    cmp -s huge huge.back || fail "the 160 MiB round trip differs"
fi

if ((failures)); then
    echo "$failures failures" >&2
    exit 1
fi
echo "all secnative tool checks passed"
