// Hex helpers for test vectors and readable failure messages.
#ifndef SECNATIVE_TESTS_SUPPORT_HEX_H
#define SECNATIVE_TESTS_SUPPORT_HEX_H

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace secnative::test {

inline std::vector<uint8_t> from_hex(const std::string& text) {
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        throw std::invalid_argument("not a hex digit");
    };
    std::vector<uint8_t> out;
    std::string digits;
    for (char c : text) {
        if (c != ' ' && c != '\n') digits += c;
    }
    if (digits.size() % 2 != 0) throw std::invalid_argument("odd number of hex digits");
    for (size_t i = 0; i < digits.size(); i += 2) {
        out.push_back(static_cast<uint8_t>(nibble(digits[i]) << 4 | nibble(digits[i + 1])));
    }
    return out;
}

inline std::string to_hex(const uint8_t* data, size_t size) {
    std::string out;
    char buf[3];
    for (size_t i = 0; i < size; ++i) {
        std::snprintf(buf, sizeof buf, "%02x", data[i]);
        out += buf;
    }
    return out;
}

inline std::string to_hex(const std::vector<uint8_t>& bytes) {
    return to_hex(bytes.data(), bytes.size());
}

inline std::vector<uint8_t> bytes_of(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

}  // namespace secnative::test

#endif  // SECNATIVE_TESTS_SUPPORT_HEX_H
