// Scans of NUL-terminated strings sixteen bytes at a time, on processors
// with SSE2. Each reads whole aligned 16-byte blocks: a block never crosses
// a page boundary, so the bytes read before the string and behind its NUL
// are always mapped memory. They lie outside the string all the same (in
// freed memory, or in memory another thread writes), which is why the
// address and thread sanitizers are kept away from these functions; what
// they return depends only on the string's own bytes.
#ifndef SECNATIVE_XML_XML_BLOCK_SCAN_H
#define SECNATIVE_XML_XML_BLOCK_SCAN_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) && defined(__GNUC__)
#include <emmintrin.h>
#define SECNATIVE_XML_BLOCK_SCAN 1
#define SECNATIVE_XML_UNSANITIZED __attribute__((no_sanitize("address", "thread")))
#endif

namespace secnative::xml {

#ifdef SECNATIVE_XML_BLOCK_SCAN

// Bits of the 16 bytes at block, one per byte, set where test(v) is set.
template <typename Test>
SECNATIVE_XML_UNSANITIZED inline const char* findInBlocks(const char* p, Test test) {
    const uintptr_t offset = reinterpret_cast<uintptr_t>(p) & 15;
    const __m128i* block = reinterpret_cast<const __m128i*>(p - offset);
    unsigned mask = test(_mm_load_si128(block)) & (0xFFFFu << offset);
    while (mask == 0) mask = test(_mm_load_si128(++block));
    return reinterpret_cast<const char*>(block) + __builtin_ctz(mask);
}

// strlen, without a call for the short names and values of a document.
SECNATIVE_XML_UNSANITIZED inline size_t stringLength(const char* s) {
    const __m128i zero = _mm_setzero_si128();
    return static_cast<size_t>(findInBlocks(s,
                                            [zero](__m128i v) {
                                                return static_cast<unsigned>(
                                                    _mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)));
                                            }) -
                               s);
}

// The first byte at or after p that is one of & < > " ', the NUL, or from
// 0x80 up.
SECNATIVE_XML_UNSANITIZED inline const char* skipPlainAscii(const char* p) {
    return findInBlocks(p, [](__m128i v) {
        // '&' | 1 == '\'' and '<' | 2 == '>': two compares find four bytes.
        __m128i hit = _mm_cmpeq_epi8(_mm_or_si128(v, _mm_set1_epi8(1)), _mm_set1_epi8('\''));
        hit = _mm_or_si128(hit,
                           _mm_cmpeq_epi8(_mm_or_si128(v, _mm_set1_epi8(2)), _mm_set1_epi8('>')));
        hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, _mm_set1_epi8('"')));
        hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, _mm_setzero_si128()));
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(hit, v)));
    });
}

// The first c or the NUL at or after p.
SECNATIVE_XML_UNSANITIZED inline const char* findByteOrEnd(const char* p, char c) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i wanted = _mm_set1_epi8(c);
    return findInBlocks(p, [zero, wanted](__m128i v) {
        return static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, zero), _mm_cmpeq_epi8(v, wanted))));
    });
}

#else

inline size_t stringLength(const char* s) {
    return std::strlen(s);
}

inline const char* findByteOrEnd(const char* p, char c) {
    while (*p && *p != c) ++p;
    return p;
}

#endif

// strstr: the first place where needle (not empty) stands in text, or NULL.
// The sanitizers' own strstr measures the whole haystack on every call, which
// for the end of every clear block in a long document made parsing
// quadratic under them; this one reads no further than the match.
inline const char* findText(const char* text, const char* needle) {
    for (const char* p = text;; ++p) {
        p = findByteOrEnd(p, needle[0]);
        if (*p == 0) return NULL;
        // The text's NUL differs from every byte of the needle.
        size_t k = 1;
        while (needle[k] != 0 && p[k] == needle[k]) ++k;
        if (needle[k] == 0) return p;
    }
}

}  // namespace secnative::xml

#endif  // SECNATIVE_XML_XML_BLOCK_SCAN_H
