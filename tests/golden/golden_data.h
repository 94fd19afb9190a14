// Reading the golden vector files of tests/data/golden, and buffers placed at
// odd addresses so that every golden comparison also proves that no code
// path depends on the alignment of the caller's bytes.
#ifndef SECNATIVE_TESTS_GOLDEN_GOLDEN_DATA_H
#define SECNATIVE_TESTS_GOLDEN_GOLDEN_DATA_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/data_table.h"
#include "support/hex.h"

namespace secnative::test {

inline std::string golden_path(const std::string& name) {
    return std::string(SECNATIVE_TEST_DATA_DIR) + "/golden/" + name;
}

// The '|'-separated lines of a golden file (see read_data_table).
inline std::vector<std::vector<std::string>> read_golden_rows(const std::string& name,
                                                              size_t field_count) {
    return read_data_table("golden/" + name, field_count);
}

// Records of "key = value" lines separated by blank lines, '#' comments
// skipped.
using GoldenRecord = std::map<std::string, std::string>;

inline std::vector<GoldenRecord> read_golden_records(const std::string& name) {
    std::ifstream file(golden_path(name));
    EXPECT_TRUE(file.is_open()) << golden_path(name);
    std::vector<GoldenRecord> records;
    GoldenRecord current;
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line[0] == '#') continue;
        const size_t eq = line.find(" =");
        if (eq == std::string::npos) {
            if (!current.empty()) records.push_back(current);
            current.clear();
            continue;
        }
        const size_t value = line.find_first_not_of(' ', eq + 2);
        current[line.substr(0, eq)] = value == std::string::npos ? "" : line.substr(value);
    }
    if (!current.empty()) records.push_back(current);
    return records;
}

// Whitespace-separated 32-bit words written in hex.
inline std::vector<uint32_t> parse_words(const std::string& text) {
    std::vector<uint32_t> words;
    std::istringstream in(text);
    std::string word;
    while (in >> word) words.push_back(static_cast<uint32_t>(std::stoul(word, nullptr, 16)));
    return words;
}

// Whitespace-separated decimal sizes.
inline std::vector<size_t> parse_sizes(const std::string& text) {
    std::vector<size_t> sizes;
    std::istringstream in(text);
    size_t size;
    while (in >> size) sizes.push_back(size);
    return sizes;
}

// A message given as hex, or as "hex*count" for a run repeated count times.
inline std::vector<uint8_t> expand_message(const std::string& text) {
    const size_t star = text.find('*');
    if (star == std::string::npos) return from_hex(text);
    const std::vector<uint8_t> run = from_hex(text.substr(0, star));
    const size_t count = std::stoul(text.substr(star + 1));
    std::vector<uint8_t> out;
    out.reserve(run.size() * count);
    for (size_t i = 0; i < count; ++i) out.insert(out.end(), run.begin(), run.end());
    return out;
}

// Misalignments every golden comparison runs at: aligned, and two odd
// addresses.
constexpr size_t kGoldenOffsets[] = {0, 1, 3};

// A byte buffer that starts offset bytes past a 16-byte boundary, so wider
// loads through it would fault on strict-alignment hosts.
class OffsetBuffer {
  public:
    OffsetBuffer(size_t size, size_t offset) : storage_(size + offset + 16), offset_(offset) {
        const auto address = reinterpret_cast<uintptr_t>(storage_.data());
        offset_ += (16 - address % 16) % 16;
    }
    OffsetBuffer(const std::vector<uint8_t>& bytes, size_t offset)
        : OffsetBuffer(bytes.size(), offset) {
        if (!bytes.empty()) std::memcpy(data(), bytes.data(), bytes.size());
    }
    uint8_t* data() { return storage_.data() + offset_; }

  private:
    std::vector<uint8_t> storage_;
    size_t offset_;
};

}  // namespace secnative::test

#endif  // SECNATIVE_TESTS_GOLDEN_GOLDEN_DATA_H
