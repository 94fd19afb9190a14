#include "modified_utf8.h"

namespace secnative::tool {

namespace {

// The length of the well-formed UTF-8 character at in (left bytes remain),
// or 0 when the byte there starts none.
size_t character_length(const uint8_t* in, size_t left) {
    const uint8_t lead = in[0];
    if (lead < 0x80) return 1;
    size_t length = 0;
    uint8_t low = 0x80;  // the range of the second byte; the others are 80 to BF
    uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // no overlong forms
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (left < length || in[1] < low || in[1] > high) return 0;
    for (size_t i = 2; i < length; ++i) {
        if ((in[i] & 0xC0) != 0x80) return 0;
    }
    return length;
}

// Appends to a buffer of fixed capacity, counting what does not fit.
class CutWriter {
  public:
    CutWriter(uint8_t* out, size_t capacity) : out_(out), capacity_(capacity) {}

    void put(uint8_t byte) {
        if (length_ < capacity_) out_[length_] = byte;
        ++length_;
    }

    // A UTF-16 unit in three bytes.
    void put_unit(uint32_t unit) {
        put(static_cast<uint8_t>(0xE0 | (unit >> 12)));
        put(static_cast<uint8_t>(0x80 | ((unit >> 6) & 0x3F)));
        put(static_cast<uint8_t>(0x80 | (unit & 0x3F)));
    }

    size_t length() const { return length_; }

  private:
    uint8_t* out_;
    size_t capacity_;
    size_t length_ = 0;
};

}  // namespace

size_t to_modified_utf8(const uint8_t* in, size_t size, uint8_t* out, size_t capacity) {
    CutWriter writer(out, capacity);
    size_t at = 0;
    while (at < size) {
        const size_t length = character_length(in + at, size - at);
        const size_t step = length == 0 ? 1 : length;  // a byte kept as it is
        if (in[at] == 0) {
            writer.put(0xC0);
            writer.put(0x80);
        } else if (length == 4) {
            const uint32_t above = (((in[at] & 0x07u) << 18) | ((in[at + 1] & 0x3Fu) << 12) |
                                    ((in[at + 2] & 0x3Fu) << 6) | (in[at + 3] & 0x3Fu)) -
                                   0x10000;
            writer.put_unit(0xD800 | (above >> 10));
            writer.put_unit(0xDC00 | (above & 0x3FF));
        } else {
            for (size_t i = 0; i < step; ++i) writer.put(in[at + i]);
        }
        at += step;
    }
    return writer.length();
}

}  // namespace secnative::tool
