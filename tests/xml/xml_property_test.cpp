// Property: a generated well-formed document parses to the tree the
// generator meant. The generator writes each document together with the
// dump() its tree must give under the default options: whitespace between
// items is dropped, texts are trimmed, entities and character references
// decoded, and a comment between two texts disappears with the texts
// joined.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/xml_test_util.h"

namespace {

class Generator {
  public:
    explicit Generator(unsigned seed) : random_(seed) {}

    // A document: optional declaration and leading comment, one root.
    void document(std::string* xml, std::string* tree) {
        bool declaration = chance(30);
        bool comment = chance(20);
        std::string root;
        if (declaration) *xml += "<?xml version=\"1.0\"?>" + space();
        if (comment) *xml += "<!--lead-->" + space();
        element(xml, &root, 0);
        *xml += space();
        if (declaration) {
            *tree =
                "?xml[version=1.0]{" + std::string(comment ? "!<!--|lead|-->," : "") + root + "}";
        } else {
            *tree = comment ? "#{!<!--|lead|-->," + root + "}" : root;
        }
    }

  private:
    int below(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }
    bool chance(int percent) { return below(100) < percent; }
    char pick(const std::string& from) { return from[static_cast<size_t>(below(from.size()))]; }

    std::string space() {
        static const std::string kSpaces = " \t\r\n";
        std::string s;
        for (int n = below(3); n > 0; --n) s += pick(kSpaces);
        return s;
    }

    std::string name() {
        std::string s(1, pick("abcxyzABCXYZ_"));
        for (int n = below(6); n > 0; --n) s += pick("abcdefXYZ0189_.-");
        return s;
    }

    // Some character of content or a value, as written and as decoded.
    void character(std::string* written, std::string* decoded, char quote) {
        switch (below(12)) {
            case 0:
                *written += "&amp;";
                *decoded += '&';
                return;
            case 1:
                *written += "&lt;";
                *decoded += '<';
                return;
            case 2:
                *written += "&#62;";
                *decoded += '>';
                return;
            case 3:
                *written += "&#x41;";
                *decoded += 'A';
                return;
            case 4:
                *written += "&QUOT;";
                *decoded += '"';
                return;
            case 5:
                *written += "\xC3\xA9";
                *decoded += "\xC3\xA9";
                return;
            case 6:
                *written += "\xE6\x97\xA5";
                *decoded += "\xE6\x97\xA5";
                return;
            case 7: {
                char c = pick("'\"=/>?");
                if (c == quote) c = 'q';  // the quote that closes a value
                *written += c;
                *decoded += c;
                return;
            }
            default: {
                char c = pick("abcdefghijklmnopqrstuvwxyz0123456789 ");
                *written += c;
                *decoded += c;
                return;
            }
        }
    }

    // A text that starts and ends with a non-space character.
    void text(std::string* written, std::string* decoded) {
        *written += 'T';
        *decoded += 'T';
        for (int n = below(12); n > 0; --n) character(written, decoded, 0);
        *written += 'e';
        *decoded += 'e';
    }

    void attributes(std::string* xml, std::string* tree) {
        int count = below(4);
        if (!count) return;
        *tree += '[';
        for (int i = 0; i < count; ++i) {
            std::string n = name();
            *xml += " " + n;
            *tree += (i ? "," : "") + n;
            if (chance(15)) continue;  // no value
            *xml += space() + "=" + space();
            std::string decoded;
            if (chance(20)) {  // unquoted
                std::string value(1, pick("abc123"));
                *xml += value;
                decoded = value;
            } else {
                char quote = chance(50) ? '"' : '\'';
                *xml += quote;
                for (int k = below(8); k > 0; --k) character(xml, &decoded, quote);
                *xml += quote;
            }
            *tree += "=" + decoded;
        }
        *tree += ']';
    }

    struct Item {
        char kind;         // 't' text, 'c' comment, 'd' CDATA, 'e' element
        std::string tree;  // dump() of the item; for a text, the text alone
    };

    // Appends an item to the expected list, applying the comment rule.
    static void expect(std::vector<Item>* items, Item item) {
        size_t n = items->size();
        if (item.kind == 't' && n >= 2 && (*items)[n - 1].kind == 'c' &&
            (*items)[n - 2].kind == 't') {
            items->pop_back();
            items->back().tree += item.tree;
            return;
        }
        items->push_back(item);
    }

    void element(std::string* xml, std::string* tree, int depth) {
        std::string n = name();
        *xml += "<" + n;
        *tree += n;
        attributes(xml, tree);
        int count = depth < 5 ? below(6) : 0;
        if (!count && chance(50)) {
            *xml += space() + "/>";
            return;
        }
        *xml += space() + ">";
        std::vector<Item> items;
        char last = 0;
        for (int i = 0; i < count; ++i) {
            *xml += space();
            int kind = below(10);
            if (kind < 3 && last != 't') {
                std::string decoded;
                text(xml, &decoded);
                expect(&items, {'t', decoded});
                last = 't';
            } else if (kind < 5) {
                *xml += "<!--c" + std::to_string(i) + "-->";
                expect(&items, {'c', "!<!--|c" + std::to_string(i) + "|-->"});
                last = 'c';
            } else if (kind < 6) {
                *xml += "<![CDATA[<&" + std::to_string(i) + "]]>";
                expect(&items, {'d', "!<![CDATA[|<&" + std::to_string(i) + "|]]>"});
                last = 'd';
            } else {
                std::string child;
                element(xml, &child, depth + 1);
                expect(&items, {'e', child});
                last = 'e';
            }
        }
        *xml += space() + "</" + caseVariant(n) + space() + ">";
        if (items.empty()) return;
        *tree += '{';
        for (size_t i = 0; i < items.size(); ++i) {
            if (i) *tree += ',';
            *tree += items[i].kind == 't' ? "'" + items[i].tree + "'" : items[i].tree;
        }
        *tree += '}';
    }

    // End tags match start tags without regard to case.
    std::string caseVariant(std::string s) {
        for (char& c : s) {
            if (chance(30) && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        }
        return s;
    }

    std::mt19937 random_;
};

TEST(XmlProperty, GeneratedDocumentsParseToTheirTrees) {
    for (unsigned seed = 1; seed <= 5000; ++seed) {
        Generator generator(seed);
        std::string xml;
        std::string tree;
        generator.document(&xml, &tree);
        xmltest::ParseOutcome got = xmltest::parse(xml.c_str());
        ASSERT_EQ(got.error, errorNone) << "seed " << seed << "\n" << xml;
        ASSERT_EQ(got.tree, tree) << "seed " << seed << "\n" << xml;
        XMLNode node = XMLNode::parseString(xml.c_str());
        ASSERT_EQ(xmltest::checkTree(node), "") << "seed " << seed;
        // Written out, formatted or not, the tree parses back to itself.
        for (int format : {0, 1}) {
            char* text = node.createXMLString(format);
            ASSERT_EQ(xmltest::parse(text).tree, tree) << "seed " << seed << "\n" << text;
            freeXMLString(text);
        }
    }
}

}  // namespace
