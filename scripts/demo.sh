#!/usr/bin/env bash
# A short tour: builds the release tree, then runs scripts/demo_tour.sh:
#   1. the secnative tool encrypts a file into the stream format and decrypts
#      it back (and shows what a wrong password does);
#   2. the tool checks an XML file and reads a value from it;
#   3. the Java demo runs the same cipher through VXCipher in the virtual
#      machine and logs in to a demo login server with AuthorityProxy.
#
#   scripts/demo.sh [FILE [PROJECT [PASSWORD]]]
#
# FILE is only read; the tour writes into a temporary directory of its own,
# and without FILE it writes a sample text there.
set -euo pipefail
# FILE is named from where the tour is started, not from the repository.
file=${1:-}
[[ -z $file ]] || file=$(realpath -e "$file")
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target secnative_tool secnative_demo
exec bash scripts/demo_tour.sh build/release/tools/secnative build/release/java/secnative-demo.jar \
    "$file" "${@:2}"
