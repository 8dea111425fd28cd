// One browser's navigations: the order of its events, its documents and its history.
//
// Every navigation first asks the sink (synchronously, inside the call that started it);
// the load itself and every later event run from Step(), which the owner calls once per
// Wake() on its own thread (a posted message), so events always arrive one at a time, in
// order, on that thread. A navigation started while another is still loading follows it:
// both complete, in order.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "PageDocument.h"
#include "PageHistory.h"

namespace pageengine {

// Frame numbers: 0 is the top document, frames of a page get numbers from 1 up, never
// used twice in one session.
const int kTopFrame = 0;

class PageSessionSink {
public:
    // True cancels the navigation: nothing is fetched and no further event comes for it.
    virtual bool OnBeforeNavigate(int frame, const std::wstring& url) = 0;
    virtual void OnProgress(long progressMax, long progress) = 0;
    virtual void OnNavigateError(int frame, const std::wstring& url, long status) = 0;
    virtual void OnNavigateComplete() = 0;
    virtual void OnDocumentComplete(int frame, const std::wstring& url) = 0;
    virtual void OnDownloadComplete() = 0;
    virtual void OnCommandState(long command, bool enable) = 0;
    // The page closes its window.
    virtual void OnWindowClosing() = 0;
    // No event will name these frames again.
    virtual void OnFramesDone(const std::vector<int>& frames) = 0;
    // Step() should run soon, on the owner's thread.
    virtual void Wake() = 0;

protected:
    ~PageSessionSink() = default;
};

class PageSession {
public:
    // Relative local paths are taken from programDir.
    PageSession(PageSessionSink* sink, const std::wstring& programDir);

    // A navigation of the top document asked for by the host; false when it was cancelled.
    bool Navigate(const std::wstring& url);
    // A navigation the page makes itself (a link, a declared onload), relative to the page.
    bool Follow(const std::wstring& link);
    bool GoBack();
    bool GoForward();
    void ClearHistory();

    // Runs the next queued load or event; false when nothing was queued.
    bool Step();
    // Drops everything queued; no event comes any more.
    void Stop();

    // The top document once its navigation completed, or null.
    const PageDocument* Current() const { return current_.get(); }
    // Whether the top document has completed (its DocumentComplete was delivered).
    bool Complete() const { return complete_; }
    const PageHistory& History() const { return history_; }

    // Queue entries (defined with the session's code).
    struct Load;
    struct Item;

private:
    bool Start(const std::wstring& url, int historyIndex);
    void Queue(std::shared_ptr<Item> item, bool front);
    void RunLoad(const Item& item);
    void RunEvent(const Item& item);

    PageSessionSink* sink_;
    std::wstring programDir_;
    std::deque<std::shared_ptr<Item>> queue_;
    std::shared_ptr<const PageDocument> current_;
    bool complete_ = false;
    bool stopped_ = false;
    bool woken_ = false;
    int nextFrame_ = 1;
    PageHistory history_;
};

}  // namespace pageengine
