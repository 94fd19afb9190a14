#!/usr/bin/env bash
# The tour of scripts/demo.sh once the tool and the demo jar are built:
#   1. the secnative tool encrypts a file into the stream format and decrypts
#      it back (and shows what a wrong password does);
#   2. the tool checks an XML file and reads a value from it;
#   3. the Java demo runs the same cipher through VXCipher in the virtual
#      machine and logs in to a demo login server with AuthorityProxy.
#
#   scripts/demo_tour.sh TOOL JAR [FILE [PROJECT [PASSWORD]]]
#
# FILE is only read: everything the tour writes goes to a temporary directory
# that is removed at the end. The Java demo writes its copies beside the file
# it is given, so it is given a link to FILE in that directory. Without FILE
# the tour writes a sample text there; an empty JAR leaves out the Java part.
set -euo pipefail
tool=$(realpath "$1")
jar=${2:+$(realpath "$2")}
file=${3:-}
[[ -z $file ]] || file=$(realpath -e "$file")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [[ -z $file ]]; then
    file=$work/sample.txt
    for i in $(seq 1 200); do echo "line $i: sample text"; done >"$file"
fi
export SECNATIVE_DEMO_PROJECT=${4:-demo}
export SECNATIVE_DEMO_PASSWORD=${5:-correct horse battery staple}
cd "$work"

step() { printf '\n\033[1m$ %s\033[0m\n' "$*"; }

echo "== 1. The secnative tool: a file through the stream cipher"
step secnative encrypt -p "$SECNATIVE_DEMO_PROJECT" --password-env SECNATIVE_DEMO_PASSWORD "$file" -o sealed.vx
"$tool" encrypt -p "$SECNATIVE_DEMO_PROJECT" --password-env SECNATIVE_DEMO_PASSWORD "$file" -o sealed.vx
echo "$(wc -c <"$file") bytes in, $(wc -c <sealed.vx) bytes out; the header: $(od -An -tx1 -N16 sealed.vx)"
step secnative decrypt -p "$SECNATIVE_DEMO_PROJECT" --password-env SECNATIVE_DEMO_PASSWORD sealed.vx -o opened.txt
"$tool" decrypt -p "$SECNATIVE_DEMO_PROJECT" --password-env SECNATIVE_DEMO_PASSWORD sealed.vx -o opened.txt
cmp "$file" opened.txt && echo "the decrypted copy matches the original"
step WRONG=guess secnative decrypt -p "$SECNATIVE_DEMO_PROJECT" --password-env WRONG sealed.vx -o wrong.txt
status=0
WRONG=guess "$tool" decrypt -p "$SECNATIVE_DEMO_PROJECT" --password-env WRONG sealed.vx -o wrong.txt || status=$?
echo "status $status; wrong.txt $([[ -e wrong.txt ]] && echo exists || echo was not written)"

echo
echo "== 2. The secnative tool: an XML file"
cat >settings.xml <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<settings>
  <database host="db.example" port="5432"><name>payroll</name></database>
  <cache size="64"/>
</settings>
XML
step secnative xml check settings.xml
"$tool" xml check settings.xml && echo "settings.xml parses cleanly"
step secnative xml get settings/database/@host settings.xml
"$tool" xml get settings/database/@host settings.xml
printf '<settings>\n  <database host="db">&port;</database>\n</settings>\n' >broken.xml
step secnative xml check broken.xml
"$tool" xml check broken.xml || echo "status $?"

[[ -n $jar ]] || exit 0
echo
echo "== 3. The Java side: VXCipher and AuthorityProxy in the virtual machine"
mkdir java
name=$(basename "$file")
ln -s "$file" "java/$name"
[[ $name != -* ]] || name=./$name
cd java
step java -jar secnative-demo.jar "$name" "$SECNATIVE_DEMO_PROJECT" '<password>'
java -jar "$jar" "$name" "$SECNATIVE_DEMO_PROJECT" "$SECNATIVE_DEMO_PASSWORD"
