#!/usr/bin/env bash
# Regenerates stored_passwords.txt and scramble_replies.txt with standard
# tools only, independently of the library. The stored form of a password is
# '*' followed by the upper-case hex of stage 2 = SHA-1(stage 1), stage 1 =
# SHA-1(password), each digest taken in binary; the reply to a challenge is
# SHA-1(challenge || stage 2) XOR stage 1.
set -euo pipefail
cd "$(dirname "$0")"

stored_form() {
    local stage1
    stage1=$(printf '%s' "$1" | sha1sum | cut -c1-40)
    printf '*%s' "$(printf '%s' "$stage1" | xxd -r -p | sha1sum | cut -c1-40 | tr a-f A-F)"
}

{
    echo "# password|stored form"
    echo "# Made by make_password_vectors.sh with sha1sum and xxd; see that script."
    for password in "" "a" "secret" "correct horse battery staple" "Grüße, Zürich" \
                    "0123456789012345678901234567890123456789"; do
        printf '%s|%s\n' "$password" "$(stored_form "$password")"
    done
} >stored_passwords.txt

sha1_hex() { sha1sum | cut -c1-40; }

# reply <challenge> <password>: the reply as lower-case hex.
reply() {
    local stage1 stage2 mask out="" i
    stage1=$(printf '%s' "$2" | sha1_hex)
    stage2=$(printf '%s' "$stage1" | xxd -r -p | sha1_hex)
    mask=$( { printf '%s' "$1"; printf '%s' "$stage2" | xxd -r -p; } | sha1_hex)
    for ((i = 0; i < 40; i += 2)); do
        out+=$(printf '%02x' $((0x${mask:i:2} ^ 0x${stage1:i:2})))
    done
    printf '%s' "$out"
}

{
    echo "# challenge (20 characters)|password|reply (hex)"
    echo "# Made by make_password_vectors.sh with sha1sum and xxd; see that script."
    while IFS='|' read -r challenge password; do
        printf '%s|%s|%s\n' "$challenge" "$password" "$(reply "$challenge" "$password")"
    done <<'VECTORS'
abcdefghijklmnopqrst|secret
!~!~!~!~!~!~!~!~!~!~|a
Q7#x{9;Lp0@zR&2m^Kd_|correct horse battery staple
)(*&^%$#@!ZYXWVUTSRQ|Grüße, Zürich
VECTORS
} >scramble_replies.txt
