// Property: long random sequences of adds, updates, deletes and moves, on
// parsed trees and on trees built through the adders, agree after every step
// with a plain model of each node. After every step the record invariants
// hold, enumContents reports the model's items, and every reference count is
// one (the parent's entry or the top handle) plus the handles the test holds.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "support/test_size.h"
#include "support/xml_test_util.h"
#include "xml/xml_node_access.h"

namespace {

using xmltest::rec;
using xmltest::Record;

struct Model;
struct Item {
    int kind;  // elementChild, elementText or elementClear
    std::string text;
    const char* open = NULL;
    const char* close = NULL;
    std::unique_ptr<Model> child;
};
struct Model {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::vector<Item> items;
};

std::string dumpModel(const Model& m) {
    std::string out = m.name;
    for (size_t i = 0; i < m.attributes.size(); ++i) {
        out += (i ? "," : "[") + m.attributes[i].first + "=" + m.attributes[i].second;
    }
    if (!m.attributes.empty()) out += "]";
    for (size_t i = 0; i < m.items.size(); ++i) {
        const Item& it = m.items[i];
        out += i ? "," : "{";
        if (it.kind == elementChild) out += dumpModel(*it.child);
        if (it.kind == elementText) out += "'" + it.text + "'";
        if (it.kind == elementClear)
            out += std::string("!") + it.open + "|" + it.text + "|" + it.close;
    }
    if (!m.items.empty()) out += "}";
    return out;
}

std::unique_ptr<Model> copyModel(const Model& m) {
    auto copy = std::make_unique<Model>();
    copy->name = m.name;
    copy->attributes = m.attributes;
    for (const Item& it : m.items) {
        copy->items.push_back(
            {it.kind, it.text, it.open, it.close, it.child ? copyModel(*it.child) : nullptr});
    }
    return copy;
}

// The position of the index-th item of kind, or -1.
int positionOf(const Model& m, int kind, int index) {
    for (size_t p = 0; p < m.items.size(); ++p) {
        if (m.items[p].kind == kind && index-- == 0) return static_cast<int>(p);
    }
    return -1;
}

// Where an item of kind goes when added at pos: in front of pos when an item
// of its kind stands at or after it, else last.
void place(Model* m, Item item, int pos) {
    int n = static_cast<int>(m->items.size());
    bool follows = false;
    for (int p = pos; p >= 0 && p < n; ++p) follows |= m->items[p].kind == item.kind;
    m->items.insert(follows ? m->items.begin() + pos : m->items.end(), std::move(item));
}

struct Node {
    Record* record;
    Model* model;
    Model* parent;
};

void collect(Record* r, Model* m, Model* parent, std::vector<Node>* out) {
    out->push_back({r, m, parent});
    int c = 0;
    for (Item& it : m->items) {
        if (it.kind == elementChild) collect(rec(r->children[c++]), it.child.get(), m, out);
    }
}

bool inside(const Model* m, const Model* subtree) {
    if (m == subtree) return true;
    for (const Item& it : subtree->items) {
        if (it.kind == elementChild && inside(m, it.child.get())) return true;
    }
    return false;
}

class EditRun {
  public:
    EditRun(unsigned seed, bool parsed) : random_(seed) {
        model_.name = "r";
        grow(&model_, 3);
        XMLNode tree = XMLNode::parseString(write(model_).c_str());
        root_ = parsed ? tree : xmltest::rebuild(tree);
    }

    void step() {
        std::vector<Node> nodes;
        collect(rec(root_), &model_, NULL, &nodes);
        Node at = nodes[below(nodes.size())];
        Node other = nodes[below(nodes.size())];
        XMLNode node = XMLNodeAccess::handle(at.record);
        Model* m = at.model;
        int pos = below(m->items.size() + 3) - 1;
        int kind = below(nodes.size() > 40 ? 9 : 16);
        std::string s = word();
        switch (kind) {
            case 0:
                deleteItem(node, m, elementText);
                break;
            case 1:
                deleteItem(node, m, elementClear);
                break;
            case 2: {
                int i = below(m->attributes.size() + 2) - 1;
                node.deleteAttribute(i);
                if (i >= 0 && i < static_cast<int>(m->attributes.size())) {
                    m->attributes.erase(m->attributes.begin() + i);
                }
                break;
            }
            case 3:  // delete a subtree
                if (!other.parent) break;
                XMLNodeAccess::handle(other.record).deleteNodeContent();
                eraseChild(other);
                break;
            case 4:  // move a subtree; a cycle is refused
                move(node, m, other, pos);
                break;
            case 5: {
                int i = below(m->attributes.size() + 2) - 1;
                node.updateAttribute(s.c_str(), NULL, i);
                if (i >= 0 && i < static_cast<int>(m->attributes.size()))
                    m->attributes[i].second = s;
                break;
            }
            case 6:
                updateItem(node, m, elementText, s);
                break;
            case 7:
                updateItem(node, m, elementClear, s);
                break;
            case 8:  // hold or drop a handle
                if (!held_.empty() && below(2)) {
                    held_.erase(held_.begin() + below(held_.size()));
                } else {
                    held_.push_back(XMLNodeAccess::handle(other.record));
                }
                break;
            case 9:
            case 10:
                node.addChild(s.c_str(), 0, pos);
                place(m, {elementChild, "", NULL, NULL, std::make_unique<Model>(Model{s, {}, {}})},
                      pos);
                break;
            case 11:
                node.addText(s.c_str(), pos);
                place(m, {elementText, s}, pos);
                break;
            case 12:
                node.addClear(s.c_str(), "<!--", "-->", pos);
                place(m, {elementClear, s, "<!--", "-->"}, pos);
                break;
            case 13:
                node.addAttribute(s.c_str(), "v");
                m->attributes.push_back({s, "v"});
                break;
            case 14: {  // a deep copy, added back
                XMLNode copy = XMLNodeAccess::handle(other.record).deepCopy();
                node.addChild(copy, pos);
                place(m, {elementChild, "", NULL, NULL, copyModel(*other.model)}, pos);
                break;
            }
            default: {  // a nameless container emptied into the node
                XMLNode box = XMLNode::createXMLTopNode(NULL);
                box.addText("stays");
                int n = below(3);
                for (int i = 0; i < n; ++i) box.addChild(s.c_str());
                node.addChild(box, pos);
                for (int i = 0; i < n; ++i) {
                    place(m,
                          {elementChild, "", NULL, NULL, std::make_unique<Model>(Model{s, {}, {}})},
                          pos < 0 ? -1 : pos + i);
                }
                EXPECT_EQ(xmltest::dump(box), "#{'stays'}");
            }
        }
    }

    // Compares the tree with the model; returns false after the first
    // difference so that the failing step is the one reported.
    bool check() {
        std::string expected = dumpModel(model_);
        EXPECT_EQ(xmltest::dump(root_), expected);
        EXPECT_EQ(xmltest::checkTree(root_), "");
        std::vector<Node> nodes;
        collect(rec(root_), &model_, NULL, &nodes);
        for (const Node& n : nodes) {
            int handles = 1;
            for (const XMLNode& h : held_) handles += rec(h) == n.record;
            EXPECT_EQ(n.record->refCount, handles);
            checkContents(XMLNodeAccess::handle(n.record), *n.model);
        }
        return !::testing::Test::HasFailure();
    }

  private:
    int below(size_t n) { return static_cast<int>(random_() % n); }

    std::string word() {
        std::string s(1, "abcdeXYZ"[below(8)]);
        for (int n = below(3); n > 0; --n) s += "abcdeXYZ"[below(8)];
        return s;
    }

    // Fills m with a few random items: no two texts in a row, so that the
    // written document parses back to the same items.
    void grow(Model* m, int depth) {
        for (int n = below(4); n > 0; --n) m->attributes.push_back({word() + "1", word()});
        int last = -1;
        for (int n = below(6); n > 0; --n) {
            int kind = below(3) == 0 ? elementChild : below(2) ? elementText : elementClear;
            if (kind == elementChild && depth > 0) {
                auto child = std::make_unique<Model>(Model{word(), {}, {}});
                grow(child.get(), depth - 1);
                m->items.push_back({elementChild, "", NULL, NULL, std::move(child)});
            } else if (kind == elementText && last != elementText) {
                m->items.push_back({elementText, word()});
            } else {
                m->items.push_back({elementClear, word(), "<!--", "-->"});
                kind = elementClear;
            }
            last = kind;
        }
    }

    static std::string write(const Model& m) {
        std::string out = "<" + m.name;
        for (const auto& a : m.attributes) out += " " + a.first + "='" + a.second + "'";
        out += ">";
        for (const Item& it : m.items) {
            if (it.kind == elementChild) out += write(*it.child);
            if (it.kind == elementText) out += it.text;
            if (it.kind == elementClear) out += "<!--" + it.text + "-->";
        }
        return out + "</" + m.name + ">";
    }

    void deleteItem(XMLNode& node, Model* m, int kind) {
        int i = below(4) - 1;
        int p = positionOf(*m, kind, i);
        if (kind == elementText) node.deleteText(i);
        if (kind == elementClear) node.deleteClear(i);
        if (i >= 0 && p >= 0) m->items.erase(m->items.begin() + p);
    }

    void updateItem(XMLNode& node, Model* m, int kind, const std::string& s) {
        int i = below(4) - 1;
        int p = positionOf(*m, kind, i);
        if (kind == elementText) node.updateText(s.c_str(), i);
        if (kind == elementClear) node.updateClear(s.c_str(), i);
        if (i >= 0 && p >= 0) {
            m->items[p].text = s;
        } else if (kind == elementText) {
            m->items.push_back({elementText, s});
        } else {
            m->items.push_back({elementClear, s, "<![CDATA[", "]]>"});
        }
    }

    // Takes n's item out of its parent's model and returns it, with the
    // position it stood at.
    Item eraseChild(const Node& n, int* position = NULL) {
        auto& items = n.parent->items;
        for (int p = 0; p < static_cast<int>(items.size()); ++p) {
            if (items[p].child.get() == n.model) {
                Item item = std::move(items[p]);
                items.erase(items.begin() + p);
                if (position) *position = p;
                return item;
            }
        }
        ADD_FAILURE() << "child not in its parent's model";
        return {};
    }

    void move(XMLNode& node, Model* m, const Node& other, int pos) {
        XMLNode moved = node.addChild(XMLNodeAccess::handle(other.record), pos);
        if (inside(m, other.model)) {  // the root's subtree holds every node
            EXPECT_TRUE(moved.isEmpty());
            return;
        }
        EXPECT_EQ(rec(moved), other.record);
        int former = -1;
        Item item = eraseChild(other, &former);
        if (other.parent == m && pos >= 0 && former < pos) --pos;
        place(m, std::move(item), pos);
    }

    static void checkContents(const XMLNode& node, const Model& m) {
        ASSERT_EQ(node.nElement(), static_cast<int>(m.attributes.size() + m.items.size()));
        int a = static_cast<int>(m.attributes.size());
        for (int i = 0; i < node.nElement(); ++i) {
            XMLContentItem got = node.enumContents(i);
            if (i < a) {
                ASSERT_EQ(got.type, elementAttribute);
                EXPECT_EQ(got.attribute.name, m.attributes[i].first);
                continue;
            }
            const Item& want = m.items[i - a];
            ASSERT_EQ(got.type, want.kind);
            const char* value = want.kind == elementText    ? got.text
                                : want.kind == elementClear ? got.clear.value
                                                            : got.child.getName();
            EXPECT_EQ(value, want.kind == elementChild ? want.child->name : want.text);
        }
        EXPECT_EQ(node.enumContents(node.nElement()).type, elementNone);
        EXPECT_EQ(node.enumContents(-1).type, elementNone);
    }

    std::mt19937 random_;
    Model model_;
    XMLNode root_;
    std::vector<XMLNode> held_;
};

class EditProperty : public ::testing::TestWithParam<bool> {};

TEST_P(EditProperty, RandomEditsMatchTheModel) {
    xmltest::OptionsGuard guard;
    XMLNode::setGlobalOptions(XMLNode::encodingUTF8, 1, 1, 0);
    const unsigned seeds = secnative::test::test_size(150u, 12u);
    for (unsigned seed = 1; seed <= seeds; ++seed) {
        EditRun run(seed, GetParam());
        ASSERT_TRUE(run.check()) << "seed " << seed << " before any edit";
        for (int step = 0; step < 300; ++step) {
            run.step();
            ASSERT_TRUE(run.check()) << "seed " << seed << " step " << step;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Trees, EditProperty, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& p) {
                             return p.param ? "Parsed" : "Built";
                         });

}  // namespace
