#!/usr/bin/env bash
# How the secnative tool puts its output files in place: links stay links,
# FIFOs and devices stay what they are, long names work, and no way out (a
# signal, a file size limit) leaves a partial file behind.
#
#   output_files_test.sh TOOL
set -uo pipefail
tool=$(realpath "$1")
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"
export PW=secret

# Lists what a command left in DIR beside the files named after it.
leftovers() {
    local dir=$1
    shift
    ls -A "$dir" | grep -vxF "${@/#/-e}"
}

head -c 100000 /dev/urandom >plain

# ---- Symbolic links are followed and stay links; the file they lead to is
# replaced.
echo old >real.vx
ln -s real.vx link.vx
ln -s link.vx chain.vx
for name in link.vx chain.vx; do
    "$tool" encrypt -p demo --password-env PW plain -o "$name" 2>err.txt || fail "encrypt -o $name: $(cat err.txt)"
    [[ -L $name ]] || fail "$name is no longer a link"
done
"$tool" decrypt -p demo --password-env PW real.vx -o back 2>err.txt && cmp -s plain back ||
    fail "the file behind the links does not hold the stream"

# ---- A FIFO and a device are written in place, as they are.
mkfifo pipe.out
timeout 20 cat pipe.out >from-pipe &
reader=$!
timeout 20 "$tool" encrypt -p demo --password-env PW plain -o pipe.out 2>err.txt || fail "encrypt -o FIFO: $(cat err.txt)"
wait "$reader"
[[ -p pipe.out ]] || fail "the FIFO was replaced"
"$tool" decrypt -p demo --password-env PW from-pipe -o back 2>err.txt && cmp -s plain back ||
    fail "the stream through the FIFO does not decrypt"
if [[ $(id -u) == 0 ]]; then
    mknod null c 1 3
    "$tool" encrypt -p demo --password-env PW plain -o null 2>err.txt || fail "encrypt -o device: $(cat err.txt)"
    [[ -c null ]] || fail "the device was replaced by a regular file"
fi
# The name of an open descriptor (what /dev/stdout leads to) is written in
# place, into the file or pipe behind it, through a link of the test's own.
ln -s /proc/self/fd/1 stdout-link
echo "header" >stdout.vx
before=$(stat -c %i stdout.vx)
{
    echo "header"
    "$tool" encrypt -p demo --password-env PW plain -o stdout-link 2>err.txt || fail "encrypt -o a descriptor: $(cat err.txt)"
} >>stdout.vx
[[ $(stat -c %i stdout.vx) == "$before" ]] || fail "the file behind standard output was replaced"
[[ -L stdout-link ]] || fail "the link to standard output was replaced"
"$tool" encrypt -p demo --password-env PW plain -o stdout-link 2>err.txt | wc -c >piped
[[ $(cat piped) -gt 100000 ]] || fail "nothing came through a pipe on standard output"

# ---- Names up to the longest a directory allows.
for length in 249 255; do
    name=$(printf 'n%.0s' $(seq "$length"))
    "$tool" encrypt -p demo --password-env PW plain -o "$name" 2>err.txt ||
        fail "a $length-byte output name: $(cat err.txt)"
    echo again >"$name"
    "$tool" encrypt -p demo --password-env PW plain -o "$name" 2>err.txt ||
        fail "replacing a $length-byte name: $(cat err.txt)"
    rm -f "$name"
done

# ---- A file size limit: the write fails (status 3), the old file stays.
mkdir limit
echo "keep me" >limit/limited.vx
(
    ulimit -f 16
    exec "$tool" encrypt -p demo --password-env PW plain -o limit/limited.vx
) 2>err.txt
status=$?
[[ $status == 3 ]] || fail "under a file size limit encrypt gave status $status: $(cat err.txt)"
grep -q "File too large" err.txt || fail "no word of the size limit: $(cat err.txt)"
[[ $(cat limit/limited.vx) == "keep me" ]] || fail "the size limit cost the old file"
[[ -z $(leftovers limit limited.vx) ]] || fail "the size limit left $(leftovers limit limited.vx)"

# ---- Signals that end the process: the output waits for input from a FIFO,
# the signal arrives, nothing is left behind and the old file stays. Job
# control keeps SIGINT and SIGQUIT from being ignored in background jobs.
set -m
mkdir sig
cd sig
mkfifo feed
for signal in HUP INT QUIT TERM USR1 USR2 ALRM PIPE XCPU VTALRM PROF; do
    for command in encrypt decrypt; do
        echo "keep me" >signalled
        "$tool" "$command" -p demo --password-env PW feed -o signalled 2>/dev/null &
        pid=$!
        exec 3<>feed  # read and write: opening never blocks
        head -c 5000 ../plain >&3
        for _ in $(seq 100); do
            [[ -n $(leftovers . feed signalled) ]] && break
            sleep 0.05
        done
        [[ -n $(leftovers . feed signalled) ]] || fail "$command never opened its output"
        kill -s "$signal" "$pid"
        wait "$pid"
        status=$?
        exec 3>&-
        [[ $status -gt 128 ]] || fail "$command did not die of SIG$signal (status $status)"
        [[ -z $(leftovers . feed signalled) ]] || fail "SIG$signal during $command left $(leftovers . feed signalled)"
        [[ $(cat signalled) == "keep me" ]] || fail "SIG$signal during $command changed the old file"
    done
done
set +m
cd ..

finish "output file checks"
