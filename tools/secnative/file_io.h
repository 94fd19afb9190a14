// Files of the secnative tool: "-" is standard input or output. An output file
// goes through FileReplacement: it is written into a private directory beside
// its target and renamed over it only when the command succeeds, so a failed
// or interrupted command never leaves a partial file behind and nobody else
// sees the content before it is complete. FIFOs, devices and files that
// cannot be replaced without changing their owner are written in place.
#ifndef SECNATIVE_TOOLS_FILE_IO_H
#define SECNATIVE_TOOLS_FILE_IO_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/file_replacement.h"

namespace secnative::tool {

class InputFile {
  public:
    explicit InputFile(const std::string& path);  // throws Failure
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Fills buffer as far as the input goes; fewer bytes only at the end.
    size_t read(uint8_t* buffer, size_t size);
    // The size of a regular file, else 0 (unknown).
    uint64_t size() const { return size_; }
    const std::string& name() const { return name_; }

  private:
    std::FILE* file_;
    std::string name_;
    uint64_t size_ = 0;
};

// The whole of a file, for the commands that need it in one piece.
std::vector<char> read_whole(const std::string& path);

class OutputFile {
  public:
    explicit OutputFile(const std::string& path);  // throws Failure
    // Without commit(), removes the new file and leaves the target as it
    // was.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(const void* data, size_t size);  // throws Failure
    void write(const std::string& text) { write(text.data(), text.size()); }
    // Flushes and puts the file in place; throws Failure.
    void commit();
    bool is_terminal() const;

  private:
    static constexpr size_t kOutputBuffer = size_t{1} << 16;

    [[noreturn]] void fail(const char* action) const;
    void flush_buffer();

    std::string target_;
    bool standard_output_;
    bool committed_ = false;
    std::vector<char> buffer_;  // small writes collected for the file
    FileReplacement file_;
};

}  // namespace secnative::tool

#endif  // SECNATIVE_TOOLS_FILE_IO_H
