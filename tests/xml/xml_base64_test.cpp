// Base64 tool and value conversions. Decoding is checked against a plain
// decoder that applies the decoding rules one symbol at a time, on texts
// copied into blocks of their exact size that end at a guard page, so that a
// read past the NUL faults in every build.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/guarded_bytes.h"
#include "xml/xml_parser.h"

namespace {

using Bytes = std::vector<unsigned char>;
using secnative::test::GuardedBytes;
const char kAlpha[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
enum { kPad = 96, kSpace, kIllegal, kEnd };

int cls(unsigned char c) {
    if (!c) return kEnd;
    if (const char* s = std::strchr(kAlpha, c)) return static_cast<int>(s - kAlpha);
    return c == '=' ? kPad : (c == 9 || c == 10 || c == 13 || c == 32) ? kSpace : kIllegal;
}

struct Ref {
    int result;
    XMLError error;
    int written;
};

Ref refDecode(const char* p, unsigned char* out, int size) {
    for (int c[4], j = 0;;) {
        for (int i = 0; i < 4; ++i) {
            while ((c[i] = cls(*p)) == kSpace) ++p;
            if (c[i] != kEnd) ++p;
            if (c[i] == kIllegal) return {0, errorBase64IllegalCharacter, j};
            if (i == 0 && c[0] == kEnd) return {2, errorNone, j};
            if (i == 0 && c[0] == kPad && j == size) return {2, errorNone, j};
            if (c[i] == kEnd || (i < 2 && c[i] == kPad)) return {1, warningBase64Truncated, j};
            if (i == 0) continue;
            if (j == size)
                return {c[i] == kPad ? 2 : 0, c[i] == kPad ? errorNone : errorBase64OutputTooSmall,
                        j};
            if (c[i] == kPad) return {1, warningBase64Truncated, j};
            out[j++] = static_cast<unsigned char>((c[i - 1] << (2 * i)) | (c[i] >> (6 - 2 * i)));
        }
    }
}

int refSize(const std::string& t) {  // end pads count across whitespace
    size_t n = 0, pads = 0;
    for (char c : t) n += cls(static_cast<unsigned char>(c)) <= kPad;
    for (size_t i = t.size(); i-- > 0 && cls(static_cast<unsigned char>(t[i])) >= kPad;)
        pads += t[i] == '=';
    return static_cast<int>(3 * (n - pads) / 4);
}

TEST(Base64, EncodeAndLengths) {
    XMLParserBase64Tool tool;
    unsigned char abc[] = "abc";
    const char* want[] = {"", "YQ==", "YWI=", "YWJj"};
    for (unsigned n = 0; n < 4; ++n) EXPECT_STREQ(tool.encode(abc, n), want[n]);
    EXPECT_EQ(tool.encode(abc, UINT_MAX), nullptr);  // too long: buffer untouched
    EXPECT_STREQ(static_cast<char*>(tool.alloc(2)), "YWJj");
    Bytes d(55, 'x');
    std::string line;
    for (int i = 0; i < 18; ++i) line += "eHh4";
    EXPECT_EQ(std::string(tool.encode(d.data(), 54, 1)), line + "\n");
    EXPECT_EQ(std::string(tool.encode(d.data(), 55, 1)), line + "\neA==");
    const int lengths[][3] = {
        {0, 0, 5},          {54, 1, 74},     {55, 1, 78}, {1610612733, 0, INT_MAX - 2},
        {1610612736, 0, 0}, {INT_MAX, 1, 0}, {-1, 0, 0}};
    for (auto& l : lengths)
        EXPECT_EQ(XMLParserBase64Tool::encodeLength(l[0], char(l[1])), l[2]) << l[0];
    EXPECT_EQ(XMLParserBase64Tool().alloc(0), nullptr);
}

TEST(Base64, DecodeTable) {
    const XMLError none = errorNone, odd = warningBase64LengthNotMultipleOf4,
                   bad = errorBase64IllegalCharacter, cut = warningBase64Truncated,
                   small = errorBase64OutputTooSmall;
    const struct {
        const char* text;
        int size;
        XMLError sizeError;
        int outSize, result;
        XMLError error;
        const char* bytes;
    } rows[] = {{"YWJj", 3, none, 2, 0, small, "ab"},  {"YWJj", 3, none, 5, 2, none, "abc"},
                {"YWI=", 2, none, 5, 1, cut, "ab"},    {"YQ==", 1, none, 1, 2, none, "a"},
                {"YQ", 1, odd, 5, 1, cut, "a"},        {"YW Jj", 3, none, 3, 2, none, "abc"},
                {"YW*j", 0, bad, 5, 0, bad, "a"},      {"", 0, none, 0, 2, none, ""},
                {nullptr, 0, none, 0, 2, none, ""},    {"YWI=\n", 2, none, 2, 2, none, "ab"},
                {"YQ=\n=", 1, none, 1, 2, none, "a"},  {"YQ== \r\n", 1, none, 1, 2, none, "a"},
                {"YQ==YWJj", 6, none, 6, 1, cut, "a"}, {"YWJj", 3, none, -1, 0, small, ""}};
    for (const auto& r : rows) {
        const std::string name = r.text ? r.text : "NULL";
        XMLError e = small;
        EXPECT_EQ(XMLParserBase64Tool::decodeSize(r.text, &e), r.size) << name;
        EXPECT_EQ(e, r.sizeError) << name;
        unsigned char out[8] = {};
        EXPECT_EQ(XMLParserBase64Tool::decode(r.text, out, r.outSize, &e), r.result) << name;
        EXPECT_EQ(e, r.error) << name;
        EXPECT_STREQ(reinterpret_cast<char*>(out), r.bytes) << name;
    }
    XMLParserBase64Tool tool;  // into own storage: the bytes actually written
    int size = -1;
    XMLError e;
    const unsigned char* out = tool.decode("YQ==YWJj", &size, &e);
    EXPECT_EQ(Bytes(out, out + size), Bytes{'a'});
    EXPECT_EQ(e, warningBase64Truncated);
}

TEST(Base64, RoundTripEveryLength) {
    std::mt19937 rng(7);
    XMLParserBase64Tool tool, back;
    for (unsigned n = 0; n <= 300; ++n) {
        Bytes d(n);
        for (auto& b : d) b = static_cast<unsigned char>(rng());
        for (char lines = 0; lines < 2; ++lines) {
            const std::string text = tool.encode(d.data(), n, lines);
            EXPECT_EQ(text.size() + 1,
                      n ? size_t(XMLParserBase64Tool::encodeLength(int(n), lines)) : 1u);
            for (size_t i = 0; i < text.size(); ++i)
                EXPECT_EQ(text[i] == '\n', lines && i % 73 == 72) << n;
            XMLError e;
            int size = -1;
            const unsigned char* out = back.decode(text.c_str(), &size, &e);
            EXPECT_EQ(Bytes(out, out + size), d) << n;
            EXPECT_EQ(e, errorNone);
        }
    }
}

TEST(Base64, DecodeMatchesStepsAndStaysInBounds) {
    std::mt19937 rng(11);
    const char noise[] = " \t\r\n=*-_\v\x80\xff";
    XMLParserBase64Tool enc, tool;
    for (int round = 0; round < 3000; ++round) {
        Bytes d(rng() % 40);
        for (auto& b : d) b = static_cast<unsigned char>(rng());
        std::string t =
            enc.encode(d.data(), static_cast<unsigned>(d.size()), static_cast<char>(rng() % 2));
        for (int m = static_cast<int>(rng() % 4); m-- > 0;) {  // insert noise or truncate
            const size_t at = rng() % (t.size() + 1);
            if (rng() % 4 == 0)
                t.resize(at);
            else
                t.insert(at, 1, noise[rng() % (rng() % 3 ? 5 : sizeof noise - 1)]);
        }
        GuardedBytes guarded(t, true);
        const char* const text = guarded.chars();
        const bool bad = t.find_first_of("*-_\v\x80\xff") != std::string::npos;
        const int n = refSize(t);
        ASSERT_EQ(XMLParserBase64Tool::decodeSize(text), bad ? 0 : n) << t;
        for (int size = 0; size <= n + 2; ++size) {
            Bytes got(size + 8, 0xA5), want(got);  // guard bytes behind size
            XMLError e;
            const int r = XMLParserBase64Tool::decode(text, got.data(), size, &e);
            const Ref ref = refDecode(text, want.data(), size);
            ASSERT_EQ(r, ref.result) << t << " size " << size;
            ASSERT_EQ(e, ref.error) << t << " size " << size;
            ASSERT_EQ(got, want) << t << " size " << size;
        }
        int size = -1;
        const unsigned char* out = tool.decode(text, &size);
        Bytes want(n + 1);
        const Ref ref = n && !bad ? refDecode(text, want.data(), n) : Ref{0, errorNone, 0};
        ASSERT_EQ(out != nullptr, ref.result != 0) << t;
        ASSERT_EQ(size, ref.result ? ref.written : 0) << t;
        want.resize(static_cast<size_t>(size));
        ASSERT_EQ(out ? Bytes(out, out + size) : Bytes(), want) << t;
    }
}

TEST(Conversions, Table) {
    const struct {
        const char* s;
        int i;
        char b, c;
        double f;
    } rows[] = {{"1", 1, 1, '1', 1},
                {"true", 0, 0, 't', 0},
                {"256", 256, 0, '2', 256},
                {"12abc", 12, 12, '1', 12},
                {" -3", -3, char(0xFD), ' ', -3},
                {"1.5e3", 1, 1, '1', 1500},
                {"99999999999", INT_MAX, char(0xFF), '9', 99999999999.0},
                {"-99999999999", INT_MIN, 0, '-', -99999999999.0},
                {nullptr, 7, 5, 'd', 2.5},
                {"", 7, 5, 'd', 2.5}};
    for (const auto& r : rows) {
        const std::string name = r.s ? r.s : "NULL";
        EXPECT_EQ(xmltoi(r.s, 7), r.i) << name;
        EXPECT_EQ(xmltob(r.s, 5), r.b) << name;
        EXPECT_EQ(xmltoc(r.s, 'd'), r.c) << name;
        EXPECT_EQ(xmltof(r.s, 2.5), r.f) << name;
    }
    const char empty[] = "";
    EXPECT_EQ(xmltoa(empty, "d"), empty);
    EXPECT_STREQ(xmltoa(nullptr, "d"), "d");
    EXPECT_EQ(xmltol("", 8) + xmltol(nullptr, 8), 16);
    EXPECT_EQ(xmltol("-42x", 0), -42L);
    EXPECT_EQ(xmltol("99999999999999999999", 0), LONG_MAX);
}

}  // namespace
