#!/usr/bin/env bash
# The tour of scripts/demo.sh only reads the file it is given: nothing
# appears beside it, an existing FILE.out stays as it was, and the tour's own
# temporary directory is gone afterwards.
#
#   demo_tour_test.sh TOUR TOOL [JAR]
#
# Without JAR the tour runs without its Java part.
set -uo pipefail
tour=$(realpath "$1")
tool=$(realpath "$2")
jar=${3:+$(realpath "$3")}
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

mkdir user tmp
printf 'payroll data\n' >user/report.txt
printf 'an older result\n' >user/report.txt.out
# The directory itself too: a file made and removed again changes its time.
snapshot() { (cd user && ls -lA --time-style=full-iso . && ls -ld --time-style=full-iso . && md5sum ./*); }
chmod a-w user
snapshot >before.txt
TMPDIR=$work/tmp bash "$tour" "$tool" "$jar" user/report.txt demo 'a password' >tour.txt 2>&1 ||
    fail "the tour failed: $(tail -5 tour.txt)"
grep -q "the decrypted copy matches the original" tour.txt || fail "the tool's round trip: $(cat tour.txt)"
if [[ -n $jar ]]; then
    grep -q "match       yes" tour.txt || fail "the Java round trip: $(cat tour.txt)"
fi
snapshot >after.txt
chmod u+w user
diff before.txt after.txt >&2 || fail "the tour wrote beside the file it was given"
[[ -z $(ls -A tmp) ]] || fail "the tour left its temporary directory: $(ls -A tmp)"

finish "demo tour checks"
