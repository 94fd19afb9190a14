// Reading the '|'-separated data files under tests/data.
#ifndef SECNATIVE_TESTS_SUPPORT_DATA_TABLE_H
#define SECNATIVE_TESTS_SUPPORT_DATA_TABLE_H

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace secnative::test {

inline std::string data_path(const std::string& name) {
    return std::string(SECNATIVE_TEST_DATA_DIR) + "/" + name;
}

// The lines of a data file (a path below tests/data), blank lines and '#'
// comments skipped, each split at '|' into exactly field_count fields: the
// last field takes the rest of the line, bars included. Lines with fewer
// fields are reported as failures and dropped.
inline std::vector<std::vector<std::string>> read_data_table(const std::string& name,
                                                             size_t field_count) {
    std::ifstream file(data_path(name));
    EXPECT_TRUE(file.is_open()) << data_path(name);
    std::vector<std::vector<std::string>> rows;
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields;
        size_t start = 0;
        for (size_t bar;
             fields.size() + 1 < field_count && (bar = line.find('|', start)) != std::string::npos;
             start = bar + 1) {
            fields.push_back(line.substr(start, bar - start));
        }
        fields.push_back(line.substr(start));
        EXPECT_EQ(fields.size(), field_count) << name << ": " << line;
        if (fields.size() == field_count) rows.push_back(fields);
    }
    return rows;
}

}  // namespace secnative::test

#endif  // SECNATIVE_TESTS_SUPPORT_DATA_TABLE_H
