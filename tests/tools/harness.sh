# Shared by the tool's shell tests, sourced once the script has set $tool: a
# temporary working directory, removed at exit, becomes the current one;
# fail counts a failure, run keeps a command's output and checks its status,
# and finish ends the script with the count.

work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
cd "$work" || exit 1
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

# finish WHAT: the summary line and the exit status.
finish() {
    if ((failures)); then
        echo "$failures failures" >&2
        exit 1
    fi
    echo "all $1 passed"
}
