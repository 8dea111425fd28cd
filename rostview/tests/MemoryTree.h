// A tree in memory with the tree control's behaviour that the model relies on: items
// appended or placed after a sibling, deletion of a subtree reported node by node, sorting by callback.
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "TreeOps.h"

namespace rvtest {

class MemoryTree : public rostview::TreeOps {
public:
    struct Item {
        HTREEITEM parent = nullptr;
        std::string text;
        int image = 0;
        int selected = 0;
        rostview::ContactNode* node = nullptr;
        std::vector<HTREEITEM> children;
        bool expanded = false;
    };

    std::function<void(rostview::ContactNode*)> onDelete;
    int failAfter = -1;  // inserts that succeed before every further one fails
    int inserts = 0;
    int repaints = 0;

    ~MemoryTree() override { Clear(); }
    void Clear() {
        while (!top_.empty()) Delete(top_.front());
    }

    HTREEITEM InsertAfter(HTREEITEM parent, HTREEITEM after, const std::string& text, int image, int selected,
                          rostview::ContactNode* node) override {
        if (failAfter >= 0 && inserts >= failAfter) return nullptr;
        ++inserts;
        HTREEITEM item = reinterpret_cast<HTREEITEM>(next_++);
        Item& it = items_[item];
        it.parent = parent;
        it.text = text;
        it.image = image;
        it.selected = selected;
        it.node = node;
        auto& list = Children(parent);
        auto at = list.end();
        if (after == TVI_FIRST) {
            at = list.begin();
        } else if (after != TVI_LAST) {
            auto found = std::find(list.begin(), list.end(), after);
            if (found != list.end()) at = found + 1;
        }
        list.insert(at, item);
        return item;
    }

    void Delete(HTREEITEM item) override {
        auto found = items_.find(item);
        if (found == items_.end()) return;
        while (!found->second.children.empty()) Delete(found->second.children.front());
        auto& siblings = Children(found->second.parent);
        siblings.erase(std::remove(siblings.begin(), siblings.end(), item), siblings.end());
        rostview::ContactNode* node = found->second.node;
        items_.erase(found);
        if (onDelete) onDelete(node);
    }

    std::string Text(HTREEITEM item) override { return Get(item) ? Get(item)->text : std::string(); }
    void SetText(HTREEITEM item, const std::string& text) override {
        if (Get(item)) Get(item)->text = text;
    }
    void SetImages(HTREEITEM item, int image, int selected) override {
        if (!Get(item)) return;
        Get(item)->image = image;
        Get(item)->selected = selected;
    }
    rostview::ContactNode* Node(HTREEITEM item) override { return Get(item) ? Get(item)->node : nullptr; }
    HTREEITEM FirstChild(HTREEITEM parent) override {
        auto& list = Children(parent);
        return list.empty() ? nullptr : list.front();
    }
    HTREEITEM Next(HTREEITEM item) override {
        if (!Get(item)) return nullptr;
        auto& list = Children(Get(item)->parent);
        auto at = std::find(list.begin(), list.end(), item);
        return at == list.end() || at + 1 == list.end() ? nullptr : *(at + 1);
    }
    HTREEITEM Parent(HTREEITEM item) override { return Get(item) ? Get(item)->parent : nullptr; }
    void SortChildren(HTREEITEM parent, PFNTVCOMPARE compare, LPARAM context) override {
        auto& list = Children(parent);
        std::stable_sort(list.begin(), list.end(), [&](HTREEITEM a, HTREEITEM b) {
            return compare(reinterpret_cast<LPARAM>(Get(a)->node), reinterpret_cast<LPARAM>(Get(b)->node), context) < 0;
        });
        ++sorts;
    }
    void Expand(HTREEITEM item) override {
        if (Get(item)) Get(item)->expanded = true;
    }
    void RepaintRow(HTREEITEM) override { ++repaints; }

    Item* Get(HTREEITEM item) {
        auto found = items_.find(item);
        return found == items_.end() ? nullptr : &found->second;
    }
    size_t Size() const { return items_.size(); }

    // "text/image" of each item, children in braces: "a/5 b/4 G/0{c/5}".
    std::string Dump(HTREEITEM parent = nullptr) {
        std::string out;
        for (HTREEITEM item : Children(parent)) {
            if (!out.empty()) out += " ";
            Item* it = Get(item);
            out += it->text + "/" + std::to_string(it->image);
            if (!it->children.empty()) out += "{" + Dump(item) + "}";
        }
        return out;
    }

    int sorts = 0;

private:
    std::vector<HTREEITEM>& Children(HTREEITEM parent) { return parent ? items_[parent].children : top_; }

    std::map<HTREEITEM, Item> items_;
    std::vector<HTREEITEM> top_;
    UINT_PTR next_ = 0x100;
};

}  // namespace rvtest
