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
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

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
expect_err "secnative: warned.xml:2:8: warning: Unmatched end tag"
run 3 xml check good.xml broken.xml missing.xml
grep -qE '^secnative: broken.xml:[0-9]+:[0-9]+: error: Unknown character entity$' err.txt ||
    fail "xml check message: $(cat err.txt)"
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

# ==== Inputs the tool must not wave through ================================

# ---- Base64 decoding next to coreutils' base64 -d. Texts joined one after
# another decode to both; an illegal byte anywhere (after a pad too), a pad
# out of place or a text that ends inside a group of four gives status 1 and
# no output file. The tool skips spaces, tabs and carriage returns as well as
# line feeds, where base64 -d refuses them (rows marked ws). Columns: the text
# (printf format), the bytes in hex or ! for refused, ws.
have_base64=$(command -v base64)
while IFS='|' read -r text expected mark; do
    printf "$text" >in.b64
    rm -f out.bin
    if [[ $expected == '!' ]]; then
        run 1 base64 decode in.b64 -o out.bin
        [[ ! -e out.bin ]] || fail "base64 decode of '$text' left its output file"
    else
        run 0 base64 decode in.b64 -o out.bin
        got=$(od -An -tx1 out.bin | tr -d ' \n')
        [[ $got == "$expected" ]] || fail "base64 decode of '$text' gave '$got'"
    fi
    [[ -n $have_base64 && $mark != ws ]] || continue
    base64 -d <in.b64 >gnu.bin 2>/dev/null
    gnu_status=$?
    if [[ $expected == '!' ]]; then
        ((gnu_status != 0)) || fail "base64 -d accepts '$text', which the tool refuses"
    else
        ((gnu_status == 0)) && cmp -s out.bin gnu.bin || fail "base64 -d decodes '$text' otherwise"
    fi
done <<'TABLE'
YQ==|61|
YQ==\nYg==\n|6162|
YQ==Yg==|6162|
YWJj\nYQ==\n|61626361|
YWI=YWJj\n|6162616263|
YQ=\n=|61|
YR==|61|
||
\n\n||
YQ|!|
YQ=|!|
YWI|!|
YQ==\nY|!|
YQ==!|!|
YQ=a|!|
Y===|!|
=YWJ|!|
YW=j|!|
YQ==\n=|!|
YW\0Jj|!|
YQ==\0|!|
YWJj\v|!|
YW-_|!|
YW Jj|616263|ws
 YW\tJj\r\n|616263|ws
TABLE
printf 'YQ==!' >bad.b64
run 1 base64 decode bad.b64
expect_err "secnative: Base64-string contains an illegal character at byte 5"
# Large texts joined, with pads and illegal bytes beyond the first chunk read.
head -c 200000 /dev/urandom >a.bin
head -c 100001 /dev/urandom >b.bin
run 0 base64 encode --wrap a.bin -o a.b64
run 0 base64 encode b.bin -o b.b64
cat a.b64 b.b64 a.b64 >joined.b64
run 0 base64 decode joined.b64 -o joined.bin
cat a.bin b.bin a.bin | cmp -s - joined.bin || fail "decoding three large texts joined"
{ cat a.b64; printf '*'; } >late.b64
run 1 base64 decode late.b64 -o never.bin
[[ ! -e never.bin ]] || fail "an illegal byte after the first chunk left the output file"
{ cat a.b64; printf 'YWJ'; } >cut.b64
run 1 base64 decode cut.b64 -o never.bin
expect_err "Base64-string is truncated"
[[ ! -e never.bin ]] || fail "a text cut inside a group left the output file"

# ---- xml reads each file once, so pipes and FIFOs work; a file that cannot
# be read is status 3, the worst outcome of a check of several files.
run 0 xml check <(cat good.xml)
run 0 xml format --raw <(cat good.xml)
[[ $(cat out.txt) == '<?xml version="1.0"?><config><db host="h1" port="5"><name>main</name></db></config>' ]] ||
    fail "xml format from a pipe: $(cat out.txt)"
# A second open of the FIFO would wait for a writer that never comes.
mkfifo document.fifo
cat good.xml >document.fifo &
writer=$!
timeout 20 "$tool" xml get config/db/@host document.fifo >out.txt 2>err.txt ||
    fail "xml get from a FIFO gave status $?: $(cat err.txt)"
[[ $(cat out.txt) == h1 ]] || fail "xml get from a FIFO: $(cat out.txt)"
kill "$writer" 2>/dev/null
wait "$writer" 2>/dev/null
for command in check format "get config"; do
    read -ra words <<<"$command"
    run 3 xml "${words[@]}" nosuch.xml
    expect_err "secnative: cannot open nosuch.xml"
done
run 3 xml check broken.xml nosuch.xml good.xml
expect_err "secnative: broken.xml:2:15: error: Unknown character entity"

# ---- Every xml subcommand reports "secnative: FILE:LINE:COLUMN: KIND:
# MESSAGE", the library's message without its own "Error: " or "Warning: ".
printf '<a>x</a>\0<b/>' >nul.xml
: >empty.xml
while IFS='|' read -r status args message; do
    read -ra words <<<"$args"
    run "$status" "${words[@]}"
    grep -qxF -- "$message" err.txt || fail "secnative $args said: $(cat err.txt)"
    ! grep -qE 'Error: |Warning: ' err.txt || fail "secnative $args doubles the kind: $(cat err.txt)"
done <<'TABLE'
1|xml check broken.xml|secnative: broken.xml:2:15: error: Unknown character entity
1|xml format broken.xml|secnative: broken.xml:2:15: error: Unknown character entity
1|xml get a/b broken.xml|secnative: broken.xml:2:15: error: Unknown character entity
0|xml check warned.xml|secnative: warned.xml:2:8: warning: Unmatched end tag
0|xml get a warned.xml|secnative: warned.xml:2:8: warning: Unmatched end tag
1|xml check nul.xml|secnative: nul.xml:1:9: error: Unexpected token found
1|xml format nul.xml|secnative: nul.xml:1:9: error: Unexpected token found
1|xml check empty.xml|secnative: empty.xml: error: No XML data
TABLE
# A NUL on standard input too; NULs that only pad the end lose nothing.
run 1 xml check - <nul.xml
expect_err "secnative: <stdin>:1:9: error: Unexpected token found"
printf '<a/>\0' >padded.xml
run 0 xml check padded.xml

# ---- decrypt --help says what a failed padding check does not promise.
run 0 decrypt --help
grep -q "about once in 256" out.txt || fail "decrypt --help: a wrong password passing the check"
grep -q "standard output already has all but the last block" out.txt ||
    fail "decrypt --help: what standard output holds before the check"

# ==== End of the inputs the tool must not wave through ===================

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

finish "secnative tool checks"
