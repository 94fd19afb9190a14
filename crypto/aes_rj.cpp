// Table-driven AES: key schedules and single-block transforms.
//
// Not constant time: every round indexes the tables with bytes of the state,
// so which cache lines are touched depends on key and data. A process that
// shares a cache with an attacker can leak key bits through this engine; it
// is the portable reference path.
//
// Round keys are words whose top byte is the first byte of the key or block.
// The block functions load the state the same way, so a schedule is valid
// only on the machine that made it (it is kept in native word order).
#include "crypto/aes_rj.h"

#include "common/bytes.h"
#include "crypto/aes_rounds.h"
#include "crypto/aes_tables.h"

namespace secnative {
namespace {

// Key length checks come first so that a refused length never reads key
// bytes that are not there and never touches the schedule.
int rounds_for_key_bits(int key_bits) {
    switch (key_bits) {
        case 128:
            return 10;
        case 192:
            return 12;
        case 256:
            return 14;
        default:
            return 0;
    }
}

// Substitutes four bytes through Te4 and packs the results top to bottom.
// sub_rot_word hands over w's bytes rotated by one (SubWord(RotWord(w))),
// sub_word hands them over in place.
uint32_t substitute_bytes(uint32_t top, uint32_t second, uint32_t third, uint32_t bottom) {
    return (Te4[top] & 0xff000000) ^ (Te4[second] & 0x00ff0000) ^ (Te4[third] & 0x0000ff00) ^
           (Te4[bottom] & 0x000000ff);
}

uint32_t sub_rot_word(uint32_t w) {
    return substitute_bytes((w >> 16) & 0xff, (w >> 8) & 0xff, w & 0xff, w >> 24);
}

uint32_t sub_word(uint32_t w) {
    return substitute_bytes(w >> 24, (w >> 16) & 0xff, (w >> 8) & 0xff, w & 0xff);
}

// InvMixColumns of a round-key word: Td0..Td3 hold InvMixColumns of Si[x],
// so indexing them with S[b] (from Te4) cancels the inverse substitution.
uint32_t inv_mix_column(uint32_t w) {
    return Td0[Te4[w >> 24] & 0xff] ^ Td1[Te4[(w >> 16) & 0xff] & 0xff] ^
           Td2[Te4[(w >> 8) & 0xff] & 0xff] ^ Td3[Te4[w & 0xff] & 0xff];
}

// The key expansion: words nk.. follow from the word nk before and the word
// just written. It stops at 4 * (nr + 1) words, which for 192- and 256-bit
// keys is in the middle of a group of nk words.
void expand_key(uint32_t rk[], const uint8_t* key, int nk, int nr) {
    const int total_words = 4 * (nr + 1);
    for (int i = 0; i < nk; ++i) rk[i] = load32_be(key + 4 * i);
    for (int i = nk; i < total_words; ++i) {
        uint32_t temp = rk[i - 1];
        if (i % nk == 0) {
            temp = sub_rot_word(temp) ^ rcon[i / nk - 1];
        } else if (nk == 8 && i % nk == 4) {
            temp = sub_word(temp);
        }
        rk[i] = rk[i - nk] ^ temp;
    }
}

struct State {
    uint32_t w0, w1, w2, w3;
};

State load_state(const uint8_t in[16], const uint32_t rk[4]) {
    return {load32_be(in) ^ rk[0], load32_be(in + 4) ^ rk[1], load32_be(in + 8) ^ rk[2],
            load32_be(in + 12) ^ rk[3]};
}

void store_state(uint8_t out[16], const State& s) {
    store32_be(out, s.w0);
    store32_be(out + 4, s.w1);
    store32_be(out + 8, s.w2);
    store32_be(out + 12, s.w3);
}

// Output word j of a full encryption round takes its bytes from state words
// j, j+1, j+2, j+3 (ShiftRows), one table per byte position.
uint32_t encrypt_column(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t key) {
    return Te0[a >> 24] ^ Te1[(b >> 16) & 0xff] ^ Te2[(c >> 8) & 0xff] ^ Te3[d & 0xff] ^ key;
}

State encrypt_round(const State& s, const uint32_t rk[4]) {
    return {encrypt_column(s.w0, s.w1, s.w2, s.w3, rk[0]),
            encrypt_column(s.w1, s.w2, s.w3, s.w0, rk[1]),
            encrypt_column(s.w2, s.w3, s.w0, s.w1, rk[2]),
            encrypt_column(s.w3, s.w0, s.w1, s.w2, rk[3])};
}

// Decryption walks the state the other way (InvShiftRows): j, j-1, j-2, j-3.
uint32_t decrypt_column(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t key) {
    return Td0[a >> 24] ^ Td1[(b >> 16) & 0xff] ^ Td2[(c >> 8) & 0xff] ^ Td3[d & 0xff] ^ key;
}

State decrypt_round(const State& s, const uint32_t rk[4]) {
    return {decrypt_column(s.w0, s.w3, s.w2, s.w1, rk[0]),
            decrypt_column(s.w1, s.w0, s.w3, s.w2, rk[1]),
            decrypt_column(s.w2, s.w1, s.w0, s.w3, rk[2]),
            decrypt_column(s.w3, s.w2, s.w1, s.w0, rk[3])};
}

// The last round has no MixColumns: each byte is the substituted byte alone,
// masked out of the spread table in the position it lands in.
uint32_t last_column(const AesTable& box, uint32_t a, uint32_t b, uint32_t c, uint32_t d,
                     uint32_t key) {
    return (box[a >> 24] & 0xff000000) ^ (box[(b >> 16) & 0xff] & 0x00ff0000) ^
           (box[(c >> 8) & 0xff] & 0x0000ff00) ^ (box[d & 0xff] & 0x000000ff) ^ key;
}

// Runs the nr - 1 full rounds on round keys 1..nr-1 and returns the state
// that goes into the last round. The rounds go in pairs, nr / 2 passes with
// the second half of the last pass skipped, so nr must be even and >= 2.
template <State (*full_round)(const State&, const uint32_t*)>
State run_full_rounds(State s, const uint32_t* rk, int nr) {
    for (int pairs = nr / 2;;) {
        const State t = full_round(s, rk + 4);
        rk += 8;
        if (--pairs == 0) return t;
        s = full_round(t, rk);
    }
}

}  // namespace
}  // namespace secnative

using namespace secnative;

extern "C" {

int AES_init_encrypt(uint32_t rk[], const uint8_t* key, int key_bits) {
    const int nr = rounds_for_key_bits(key_bits);
    if (nr == 0) return 0;
    expand_key(rk, key, key_bits / 32, nr);
    return nr;
}

// The equivalent inverse cipher: the encryption round keys in reverse order,
// with InvMixColumns applied to every round key but the first and the last,
// so decryption rounds have the same shape as encryption rounds.
int AES_init_decrypt(uint32_t rk[], const uint8_t* key, int key_bits) {
    const int nr = AES_init_encrypt(rk, key, key_bits);
    if (nr == 0) return 0;
    for (int front = 0, back = 4 * nr; front < back; front += 4, back -= 4) {
        for (int j = 0; j < 4; ++j) {
            const uint32_t word = rk[front + j];
            rk[front + j] = rk[back + j];
            rk[back + j] = word;
        }
    }
    for (int i = 4; i < 4 * nr; ++i) rk[i] = inv_mix_column(rk[i]);
    return nr;
}

// A round count no set-up returns would send the round loop past the 60-word
// schedule (or, for 0, round forever); such a call writes a zero block rather
// than read outside the schedule or hand back its input unchanged.
// The whole input is loaded before the first output byte is stored, so in
// and out may be the same buffer.
void AES_encrypt_rj(const uint32_t rk[], int nr, const uint8_t in[16], uint8_t out[16]) {
    if (!crypto::aes_rounds_supported(nr)) {
        store_state(out, State{0, 0, 0, 0});
        return;
    }
    const State t = run_full_rounds<encrypt_round>(load_state(in, rk), rk, nr);
    const uint32_t* last = rk + 4 * nr;
    store_state(out, {last_column(Te4, t.w0, t.w1, t.w2, t.w3, last[0]),
                      last_column(Te4, t.w1, t.w2, t.w3, t.w0, last[1]),
                      last_column(Te4, t.w2, t.w3, t.w0, t.w1, last[2]),
                      last_column(Te4, t.w3, t.w0, t.w1, t.w2, last[3])});
}

void AES_decrypt_rj(const uint32_t rk[], int nr, const uint8_t in[16], uint8_t out[16]) {
    if (!crypto::aes_rounds_supported(nr)) {
        store_state(out, State{0, 0, 0, 0});
        return;
    }
    const State t = run_full_rounds<decrypt_round>(load_state(in, rk), rk, nr);
    const uint32_t* last = rk + 4 * nr;
    store_state(out, {last_column(Td4, t.w0, t.w3, t.w2, t.w1, last[0]),
                      last_column(Td4, t.w1, t.w0, t.w3, t.w2, last[1]),
                      last_column(Td4, t.w2, t.w1, t.w0, t.w3, last[2]),
                      last_column(Td4, t.w3, t.w2, t.w1, t.w0, last[3])});
}

}  // extern "C"
