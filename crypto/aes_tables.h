// Constant tables of the table-driven AES engine.
//
// With S the AES S-box, Si its inverse, and "•" multiplication in GF(2^8)
// modulo x^8 + x^4 + x^3 + x + 1, the entry for byte x is (bytes listed from
// the most to the least significant):
//
//   Te0[x] = 2•S[x], S[x], S[x], 3•S[x]       Td0[x] = 14•Si[x], 9•Si[x], 13•Si[x], 11•Si[x]
//   Te1..Te3 = Te0 rotated right by 8, 16, 24  Td1..Td3 = Td0 rotated right by 8, 16, 24
//   Te4[x] = S[x] in all four bytes            Td4[x] = Si[x] in all four bytes
//   rcon[i] = x^i in the top byte, zeros below (i = 0..9)
//
// A full round XORs one entry of each of Te0..Te3 (Td0..Td3) per output word;
// the last round and the key set-up mask single bytes out of Te4 (Td4).
// The tables are computed at compile time and live in read-only data.
#ifndef SECNATIVE_CRYPTO_AES_TABLES_H
#define SECNATIVE_CRYPTO_AES_TABLES_H

#include <array>
#include <cstdint>

namespace secnative {

using AesTable = std::array<uint32_t, 256>;

extern const AesTable Te0, Te1, Te2, Te3, Te4;
extern const AesTable Td0, Td1, Td2, Td3, Td4;
extern const std::array<uint32_t, 10> rcon;

}  // namespace secnative

#endif  // SECNATIVE_CRYPTO_AES_TABLES_H
