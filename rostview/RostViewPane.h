// The contact-list pane: dialog 102 with a folder bar of two folders, the friend tree and
// the black-list tree, their tool tip, and the contact load thread.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "ContactModel.h"
#include "DragObjects.h"
#include "DropRules.h"
#include "RostCommands.h"
#include "RostMenus.h"
#include "PaneMessages.h"
#include "RostSkin.h"
#include "Sync.h"
#include "TreeOps.h"
#include "VantorTypes.h"

namespace rostview {

enum { IDD_ROSTVIEW = 102, ID_FRIEND_TREE = 1, ID_BLACK_TREE = 2 };

struct ContactFolder {
    std::wstring caption;
    HWND child = nullptr;
    // The child is set once; a second window or a null one is refused.
    bool SetChild(HWND window) {
        if (child || !window) return false;
        child = window;
        return true;
    }
};

// The load's deliveries on their way to the window's thread, in the order they were read.
// The load thread adds each as it is read; one posted message tells the window that some
// wait, and the window takes all that wait at once: a load costs the window a few
// wake-ups, not one per group.
class LoadQueue {
public:
    struct Delivery {
        std::unique_ptr<GroupBatch> group;                 // a group with its friends, or
        std::unique_ptr<std::vector<LoadedFriend>> black;  // the black list
    };
    // Load thread: false when the window could not be told (it is gone).
    bool Add(HWND window, Delivery delivery);
    // Window thread: every delivery that waits, in order.
    std::vector<Delivery> Take();

private:
    vantor::CriticalSection lock_;
    std::vector<Delivery> waiting_;
    bool posted_ = false;  // a message is on its way
};

class DebuggerSink : public DebugSink {
public:
    void Line(const wchar_t* text) override;
};

class RostViewPane : public PaneHooks, public DragOperations {
public:
    RostViewPane();
    virtual ~RostViewPane();
    RostViewPane(const RostViewPane&) = delete;
    RostViewPane& operator=(const RostViewPane&) = delete;

    // Starts the load thread on the book before the window exists; it reads nothing until
    // Start or AbandonLoad. The skin is read meanwhile.
    void BeginLoad(HostContext book);
    // The dialog as a child of parent; false when it could not be made.
    bool CreateWindowIn(HINSTANCE instance, HWND parent);
    // Registers for change callbacks, then lets the load read.
    void Start(HMODULE self, HMODULE container, INT_PTR flags);
    // No window after all: the load is stopped and its thread is gone on return.
    void AbandonLoad();
    // Stops the load and the callbacks, then destroys the window: the window's result.
    int Destroy(HMODULE self);

    HWND Window() const { return window_; }
    HostContext Book() const { return book_; }
    int SwitchSkin();

    // Change callbacks, on any thread: carried to the window's thread in one message.
    void Deliver(UINT message, WPARAM wp, LPARAM lp);

    // Callbacks in progress inside the pane.
    std::atomic<int> inside{0};

private:
    static INT_PTR CALLBACK DialogProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK FriendTreeProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK BlackTreeProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
    static DWORD WINAPI LoadThread(void* pane);
    LRESULT TreeProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp, bool friendTree);

    INT_PTR Handle(UINT msg, WPARAM wp, LPARAM lp, bool* handled);
    bool Initialise();
    void DestroyChildren();
    void LoadSkinNamed(const std::wstring& name);

    // Folder bar.
    RECT Client() const;
    void SelectFolder(int index);
    void PlaceChild();
    void OnSize();
    void Paint();
    void RepaintHeader(int index);
    void OnMouseMove(POINT point);
    void OnButtonDown(POINT point);
    void OnButtonUp(POINT point);
    void OnMouseLeave();
    BOOL OnSetCursor(HWND over);

    // Trees.
    LRESULT OnNotify(NMHDR* header);
    LRESULT OnCustomDraw(NMTVCUSTOMDRAW* draw);
    void DrawIcons(HDC dc, const RECT& row, HTREEITEM item, ContactNode* node);
    void OnTipText(NMHDR* header);
    void OnTreeMouseMove(const TreeMouse& mouse);
    bool LookUpIcon(HWND tree, HTREEITEM item, POINT point);
    void OnTreeButtonDown(const TreeMouse& mouse);
    void OnTreeButtonUp(const TreeMouse& mouse);
    void OnTreeMouseLeave(HWND tree);
    void ClearHotItem();
    void OnContactsLoaded();
    void OnLoaded();
    void DropUndelivered();
    void OnChange(Change change, const ChangeArgs& args);

    // PaneHooks
    void NodeGone(ContactNode* node) override;
    void IconsDropped(ContactNode* node) override;

    // Menus, commands and label editing (PaneCommands.cpp).
    void OnContextMenu(HWND tree, LPARAM position);
    void ShowMenu(const MenuModel& model, POINT screen, HTREEITEM item, ContactNode* node,
                  const std::vector<MoveTarget>& targets);
    void OnCommand(UINT id, LPARAM argument);
    void OnTreeClick(HWND tree);
    bool InTree(TreeOps& tree, HTREEITEM item);
    GroupHandle ParentGroup(TreeOps& tree, HTREEITEM item);
    void NewGroup(HTREEITEM root);
    LRESULT OnBeginLabelEdit(HTREEITEM item);
    void OnEndLabelEdit(HTREEITEM item, const char* text);
    void FinishEdit();
    MenuFacts FactsOf(ContactNode* node);

    // Drag and drop (PaneDrag.cpp).
    void RegisterDropTarget();
    void RevokeDropTarget();
    void OnBeginDrag(HWND tree, HTREEITEM item);
    HIMAGELIST MakeDragImage(HWND tree, HTREEITEM item);
    DragPoint PointFacts(HTREEITEM dragged, POINT screen, HTREEITEM* hit);
    CLIPFORMAT OnDragEnter(IDataObject* data, DWORD keys, LONG x, LONG y, DWORD effect) override;
    void OnDragOver(HTREEITEM dragged, LONG x, LONG y, DWORD* effect) override;
    void OnDragLeave() override;
    void OnDragFeedback(INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR) override {}
    void OnDrop(HTREEITEM dragged, CLIPFORMAT format, LONG x, LONG y, DWORD* effect) override;
    void EndDragImage();

    HFONT groupFont_ = nullptr;
    ImageLists images_;
    HWND friendTree_ = nullptr;
    HWND blackTree_ = nullptr;
    ControlTree friendOps_;
    ControlTree blackOps_;
    DebuggerSink sink_;
    ContactModel model_;

    HTREEITEM hotItem_ = nullptr;
    HWND hotTree_ = nullptr;
    int hotIcon_ = -1;
    RECT hotRect_ = {};
    int pressedIcon_ = -1;
    HTREEITEM pressedItem_ = nullptr;
    HWND tooltip_ = nullptr;
    HTREEITEM menuItem_ = nullptr;
    HTREEITEM temporaryItem_ = nullptr;  // the new group being named
    struct PendingEdit {
        HTREEITEM item = nullptr;
        bool temporary = false;
        bool cancelled = true;
        std::string text;
    } pendingEdit_;

    NodeDropTarget* dropTarget_ = nullptr;
    bool oleStarted_ = false;
    HIMAGELIST dragImage_ = nullptr;
    bool dragImageShown_ = false;
    IDataObject* dragData_ = nullptr;  // the pane's own drag in progress
    Kind dragKind_ = Kind::TelephoneGroup;
    std::string tipA_;
    std::wstring tipW_;

    HANDLE loadThread_ = nullptr;
    // Set once the window is made (or will never be): the load thread reads only then.
    HANDLE windowReady_ = nullptr;
    std::atomic<bool> stop_{false};
    std::atomic<bool> loadFailed_{false};
    LoadQueue loadQueue_;

    std::vector<ContactFolder> folders_;
    int current_ = -1;
    int hover_ = -1;
    int pressed_ = -1;
    bool tracking_ = false;
    bool sizing_ = false;
    SkinValues skin_;
    SkinPreload skinPreload_;
    HFONT captionFont_ = nullptr;
    int widestCaption_ = 0;

    HostContext book_ = 0;
    HMODULE container_ = nullptr;
    INT_PTR flags_ = 0;
    HWND window_ = nullptr;

    WNDPROC friendTreeProc_ = nullptr;
    WNDPROC blackTreeProc_ = nullptr;
    bool friendLeaveAsked_ = false;
    bool blackLeaveAsked_ = false;
};

// Panes that change callbacks may still reach. A callback enters a pane only while it is
// listed, and the pane's destruction waits for every callback inside it.
class CallbackEntry {
public:
    explicit CallbackEntry(UINT_PTR user);
    ~CallbackEntry();
    CallbackEntry(const CallbackEntry&) = delete;
    CallbackEntry& operator=(const CallbackEntry&) = delete;
    RostViewPane* pane() const { return pane_; }

    static void Admit(RostViewPane* pane);
    static void Withdraw(RostViewPane* pane);

private:
    RostViewPane* pane_ = nullptr;
};

}  // namespace rostview
