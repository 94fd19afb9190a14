#include "support/printable.h"

namespace secnative::test {

std::string quoted(std::string_view bytes, size_t limit) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out = "\"";
    const size_t shown = bytes.size() < limit ? bytes.size() : limit;
    for (size_t i = 0; i < shown; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                if (c >= 0x20 && c < 0x7F) {
                    out += static_cast<char>(c);
                } else {
                    out += "\\x";
                    out += kDigits[c >> 4];
                    out += kDigits[c & 0xF];
                }
        }
    }
    out += '"';
    if (shown < bytes.size()) out += "... (" + std::to_string(bytes.size()) + " bytes)";
    return out;
}

std::string quoted(const char* text, size_t limit) {
    return text ? quoted(std::string_view(text), limit) : "NULL";
}

std::string quoted(const std::string& bytes, size_t limit) {
    return quoted(std::string_view(bytes), limit);
}

}  // namespace secnative::test
