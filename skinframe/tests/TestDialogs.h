// Dialogs derived from CSkinFrame in a module of their own, so that the tests drive the
// base class across module boundaries the way the plug-ins do.
#pragma once

#include <windows.h>

#include "SkinFrame.h"
#include "TestDialogIds.h"

#ifdef SKINTEST_BUILD
#define SKINTEST_API __declspec(dllexport)
#else
#define SKINTEST_API __declspec(dllimport)
#endif

// Answered by the derived dispatch itself, not by the base.
const UINT WM_TRACE_PING = WM_APP + 1;
const LONG_PTR kPingAnswer = 42;

SKINTEST_API HINSTANCE TestDialogsModule();
// Derived destructors that have run in this process.
SKINTEST_API int DerivedDestructorRuns();

// Records what reaches the overridden operations, in order.
class SKINTEST_API CTraceDialog : public CSkinFrame {
public:
    enum Event { kMessage = 1, kCustomSkin, kDraw, kDrawItem, kNcDestroy };

    CTraceDialog(bool skinned = true, unsigned long buttons = 3, bool selfDelete = false);
    ~CTraceDialog() override;

    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnDrawItem(LPDRAWITEMSTRUCT item) override;
    void LoadCustomSkin() override;
    void OnDraw(HDC dc) override;
    void OnNcDestroy() override;

    int Count(int event) const;
    // Position of the first record of the event (and message, for kMessage); -1 when none.
    int FirstIndex(int event, UINT message = 0) const;
    bool SawMessage(UINT message) const { return FirstIndex(kMessage, message) >= 0; }

    int LastHit() const { return m_lastHit; }
    RECT CaptionRect() const { return m_captionRect; }
    RECT CloseBox() const { return m_closeBox; }
    RECT MinimizeBox() const { return m_minimizeBox; }
    COLORREF CaptionEnd() const { return m_captionEnd; }
    COLORREF FrameColor() const { return m_frameColor; }

private:
    void Record(int event, UINT message = 0);

    struct Entry {
        int event;
        UINT message;
    };
    static const int kCapacity = 4096;
    Entry trace_[kCapacity];
    int size_;
    int counts_[8];
    bool selfDelete_;
};

// Another base first, as the web panes have: the CSkinFrame part is not at offset 0.
class SKINTEST_API CEventSinkFirst {
public:
    virtual ~CEventSinkFirst();
    virtual int Tag() const;

protected:
    int tag_ = 0x5EED;
};

class SKINTEST_API CDualDialog : public CEventSinkFirst, public CSkinFrame {
public:
    CDualDialog();
    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    int Calls() const { return calls_; }
    bool TagIntact() const { return intact_; }

private:
    int calls_ = 0;
    bool intact_ = true;
};
