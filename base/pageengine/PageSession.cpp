#include "PageSession.h"

#include "PageAddress.h"
#include "PageFetch.h"

namespace pageengine {

enum class EventKind { Progress, Error, NavigateComplete, DocumentComplete, DownloadComplete, CommandState,
                       FramesDone, Onload, Close };

struct PageSession::Load {
    PageDocument document;
    int historyIndex = -1;  // -1: a new entry
    std::vector<int> frames;
};

struct PageSession::Item {
    bool load = false;
    // a load
    std::wstring url;
    int historyIndex = -1;
    // an event
    EventKind kind = EventKind::Progress;
    int frame = kTopFrame;
    long a = 0;
    long b = 0;
    std::shared_ptr<Load> loaded;
};

namespace {

std::shared_ptr<PageSession::Item> Event(EventKind kind, int frame = kTopFrame, const std::wstring& url = L"",
                                         long a = 0, long b = 0) {
    auto item = std::make_shared<PageSession::Item>();
    item->kind = kind;
    item->frame = frame;
    item->url = url;
    item->a = a;
    item->b = b;
    return item;
}

}  // namespace

PageSession::PageSession(PageSessionSink* sink, const std::wstring& programDir)
    : sink_(sink), programDir_(programDir) {}

void PageSession::Queue(std::shared_ptr<Item> item, bool front) {
    if (stopped_) return;
    if (front) {
        queue_.push_front(std::move(item));
    } else {
        queue_.push_back(std::move(item));
    }
    if (!woken_) {
        woken_ = true;
        sink_->Wake();
    }
}

bool PageSession::Start(const std::wstring& url, int historyIndex) {
    if (stopped_) return false;
    if (sink_->OnBeforeNavigate(kTopFrame, url) || stopped_) return false;
    auto item = std::make_shared<Item>();
    item->load = true;
    item->url = url;
    item->historyIndex = historyIndex;
    Queue(item, false);
    return true;
}

bool PageSession::Navigate(const std::wstring& url) { return Start(url, -1); }

bool PageSession::Follow(const std::wstring& link) {
    std::wstring base = current_ ? current_->url : programDir_;
    return Start(ResolveLink(base, link), -1);
}

bool PageSession::GoBack() {
    int target = history_.BackTarget();
    return target >= 0 && Start(history_.At(target), target);
}

bool PageSession::GoForward() {
    int target = history_.ForwardTarget();
    return target >= 0 && Start(history_.At(target), target);
}

void PageSession::ClearHistory() {
    history_.Clear();
    Queue(Event(EventKind::CommandState), false);
}

void PageSession::Stop() {
    stopped_ = true;
    queue_.clear();
}

bool PageSession::Step() {
    woken_ = false;
    if (stopped_ || queue_.empty()) return false;
    std::shared_ptr<Item> item = queue_.front();
    queue_.pop_front();
    if (item->load) {
        RunLoad(*item);
    } else {
        RunEvent(*item);
    }
    if (!stopped_ && !queue_.empty() && !woken_) {
        woken_ = true;
        sink_->Wake();
    }
    return true;
}

void PageSession::RunLoad(const Item& item) {
    auto loaded = std::make_shared<Load>();
    loaded->historyIndex = item.historyIndex;
    FetchResult top = Fetch(ParseAddress(item.url, programDir_));
    loaded->document = top.error ? ErrorPage(item.url, top.error) : ParsePage(item.url, DecodePage(top.bytes));

    struct FrameLoad {
        int frame;
        std::wstring url;
        long error;
    };
    std::vector<FrameLoad> frames;
    for (const std::wstring& link : loaded->document.frames) {
        int frame = nextFrame_++;
        loaded->frames.push_back(frame);
        std::wstring url = ResolveLink(item.url, link);
        if (sink_->OnBeforeNavigate(frame, url)) continue;
        if (stopped_) return;
        frames.push_back({frame, url, Fetch(ParseAddress(url, programDir_)).error});
    }

    long max = 100 * static_cast<long>(1 + frames.size());
    std::vector<std::shared_ptr<Item>> events;
    events.push_back(Event(EventKind::Progress, kTopFrame, L"", max, 10));
    events.push_back(Event(EventKind::Progress, kTopFrame, L"", max, 100));
    for (size_t k = 0; k < frames.size(); ++k) {
        events.push_back(Event(EventKind::Progress, kTopFrame, L"", max, 100 * static_cast<long>(k + 2)));
    }
    if (top.error) events.push_back(Event(EventKind::Error, kTopFrame, item.url, top.error));
    for (const FrameLoad& f : frames) {
        if (f.error) events.push_back(Event(EventKind::Error, f.frame, f.url, f.error));
    }
    events.push_back(Event(EventKind::NavigateComplete));
    for (const FrameLoad& f : frames) {
        if (!f.error) events.push_back(Event(EventKind::DocumentComplete, f.frame, f.url));
    }
    events.push_back(Event(EventKind::DocumentComplete, kTopFrame, item.url));
    events.push_back(Event(EventKind::Progress, kTopFrame, L"", max, -1));
    events.push_back(Event(EventKind::DownloadComplete));
    events.push_back(Event(EventKind::CommandState));
    events.push_back(Event(EventKind::FramesDone));
    for (const std::wstring& link : loaded->document.onload) {
        events.push_back(Event(EventKind::Onload, kTopFrame, ResolveLink(item.url, link)));
    }
    if (loaded->document.closes) events.push_back(Event(EventKind::Close));
    // This load's events come before any navigation queued behind it.
    for (auto it = events.rbegin(); it != events.rend(); ++it) {
        (*it)->loaded = loaded;
        Queue(*it, true);
    }
}

void PageSession::RunEvent(const Item& item) {
    switch (item.kind) {
        case EventKind::Progress:
            sink_->OnProgress(item.a, item.b);
            break;
        case EventKind::Error:
            sink_->OnNavigateError(item.frame, item.url, item.a);
            break;
        case EventKind::NavigateComplete:
            current_ = std::make_shared<const PageDocument>(item.loaded->document);
            complete_ = false;
            if (item.loaded->historyIndex >= 0 && item.loaded->historyIndex < history_.size()) {
                history_.MoveTo(item.loaded->historyIndex);
            } else {
                history_.Push(current_->url);
            }
            sink_->OnNavigateComplete();
            break;
        case EventKind::DocumentComplete:
            if (item.frame == kTopFrame) complete_ = true;
            sink_->OnDocumentComplete(item.frame, item.url);
            break;
        case EventKind::DownloadComplete:
            sink_->OnDownloadComplete();
            break;
        case EventKind::CommandState:
            // From the history as it stands now, not as it stood when the load began.
            sink_->OnCommandState(1, history_.CanForward());
            if (!stopped_) sink_->OnCommandState(2, history_.CanBack());
            break;
        case EventKind::FramesDone:
            if (item.loaded && !item.loaded->frames.empty()) sink_->OnFramesDone(item.loaded->frames);
            break;
        case EventKind::Onload:
            Start(item.url, -1);
            break;
        case EventKind::Close:
            sink_->OnWindowClosing();
            break;
    }
}

}  // namespace pageengine
