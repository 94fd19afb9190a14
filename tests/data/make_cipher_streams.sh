#!/usr/bin/env bash
# Regenerates cipher_streams.txt with standard tools only (printf, xxd-free
# od, openssl), independently of the library: the key is the first 16 bytes of
# SHA-1(header || "_ardex" || PROJECT[0,30) || password[0,31)), and the
# ciphertext is AES-128-ECB with PKCS#7 padding over the plaintext.
set -euo pipefail

hex() { od -An -v -tx1 | tr -d ' \n'; }

# record <project-as-stored> <password> <time-hex8> <plaintext-hex>
record() {
    local project=$1 password=$2 time=$3 plain=$4
    local header="4b454c5400000000${time}00000000"
    local key_project=${project:0:30} key_password=${password:0:31}
    local key
    key=$( { printf '%s' "$header" | xxd_r; printf '_ardex%s%s' "$key_project" "$key_password"; } |
           openssl sha1 -binary | hex | cut -c1-32)
    local cipher
    cipher=$(printf '%s' "$plain" | xxd_r | openssl enc -aes-128-ecb -K "$key" | hex)
    printf '%s|%s|%s|%s|%s%s\n' "$project" "$password" "$time" "$plain" "$header" "$cipher"
}

# Hex text to bytes, with printf escapes only.
xxd_r() { sed 's/../\\x&/g' | xargs -0 printf '%b' 2>/dev/null || true; }

text_hex() { printf '%s' "$1" | hex; }
pattern_hex() { local n=$1 i out=""; for ((i = 0; i < n; i++)); do out+=$(printf '%02x' $(((i * 7 + 3) & 255))); done; printf '%s' "$out"; }

{
    echo "# project (as stored, upper case)|password|header time (hex)|plaintext (hex)|stream (hex)"
    echo "# Made by make_cipher_streams.sh with openssl; see that script for the construction."
    record "" "" 00000000 ""
    record "DEMO" "secret" 5f5e1000 "$(text_hex 'Hello, stream cipher!')"
    record "PAYROLL" "correct horse battery staple" 6553f100 "$(pattern_hex 16)"
    record "PAYROLL" "correct horse battery staple" 6553f100 "$(pattern_hex 100)"
    record "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234" "0123456789abcdefghijklmnopqrstuvwxyz" ffffffff "$(pattern_hex 33)"
} > "$(dirname "$0")/cipher_streams.txt"
