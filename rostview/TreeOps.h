// The few tree operations the contact model needs, over a tree control (ControlTree) or,
// in tests, over a tree in memory. Texts are 8-bit, in the ANSI code page.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "ContactNode.h"

namespace rostview {

class TreeOps {
public:
    virtual ~TreeOps() = default;
    // Appends an item under parent (null: the top level); null when it cannot be made.
    // The node is the item's data; the item owns it from here on.
    HTREEITEM Insert(HTREEITEM parent, const std::string& text, int image, int selected, ContactNode* node) {
        return InsertAfter(parent, TVI_LAST, text, image, selected, node);
    }
    // The same, placed after the sibling `after` (or TVI_FIRST, TVI_LAST).
    virtual HTREEITEM InsertAfter(HTREEITEM parent, HTREEITEM after, const std::string& text, int image,
                                  int selected, ContactNode* node) = 0;
    // Removes the item with everything below it; the tree reports every removed node.
    virtual void Delete(HTREEITEM item) = 0;
    virtual std::string Text(HTREEITEM item) = 0;
    virtual void SetText(HTREEITEM item, const std::string& text) = 0;
    virtual void SetImages(HTREEITEM item, int image, int selected) = 0;
    virtual ContactNode* Node(HTREEITEM item) = 0;
    // Null parent: the first top-level item.
    virtual HTREEITEM FirstChild(HTREEITEM parent) = 0;
    virtual HTREEITEM Next(HTREEITEM item) = 0;
    virtual HTREEITEM Parent(HTREEITEM item) = 0;
    // Orders the direct children of parent by compare(node1, node2, context).
    virtual void SortChildren(HTREEITEM parent, PFNTVCOMPARE compare, LPARAM context) = 0;
    virtual void Expand(HTREEITEM item) = 0;
    // Repaints the item's row.
    virtual void RepaintRow(HTREEITEM item) = 0;
};

// A tree control of this thread (its parent receives the deletion notices).
class ControlTree : public TreeOps {
public:
    explicit ControlTree(HWND tree = nullptr) : tree_(tree) {}
    void Attach(HWND tree) { tree_ = tree; }
    HWND Window() const { return tree_; }

    HTREEITEM InsertAfter(HTREEITEM parent, HTREEITEM after, const std::string& text, int image, int selected,
                          ContactNode* node) override;
    void Delete(HTREEITEM item) override;
    std::string Text(HTREEITEM item) override;
    void SetText(HTREEITEM item, const std::string& text) override;
    void SetImages(HTREEITEM item, int image, int selected) override;
    ContactNode* Node(HTREEITEM item) override;
    HTREEITEM FirstChild(HTREEITEM parent) override;
    HTREEITEM Next(HTREEITEM item) override;
    HTREEITEM Parent(HTREEITEM item) override;
    void SortChildren(HTREEITEM parent, PFNTVCOMPARE compare, LPARAM context) override;
    void Expand(HTREEITEM item) override;
    void RepaintRow(HTREEITEM item) override;

private:
    HWND tree_;
};

}  // namespace rostview
