#include "PresencePlug.h"

#include <ws2tcpip.h>
#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "Bindings.h"
#include "DebugOut.h"
#include "FriendNotices.h"
#include "LoginCookies.h"
#include "ModulePath.h"
#include "PeerDispatch.h"
#include "ProxyQueue.h"
#include "Text.h"
#include "ThreadWait.h"
#include "VerifyDialogs.h"
#include "outside/CoreFront.h"
#include "outside/Toolcrate.h"

namespace presence {

namespace {

HMODULE g_resources = nullptr;

const char kProxyEventName[] = "PS_Proxy_Msg_Process_Event.qen";
const wchar_t kThisProperty[] = L"this";
const WORD kDefaultPort = 6082;
// Answer dialogs, and refusal notices, open at once at most.
const size_t kMostNoticeDialogs = 8;

// The stop event and, for the own-status pass, its change event.
class EventSignals : public WorkSignals {
public:
    EventSignals(HANDLE stop, HANDLE change) : stop_(stop), change_(change) {}
    bool Stopped() override { return WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0; }
    Wake WaitStopOrChange(DWORD ms) override {
        HANDLE both[2] = {stop_, change_};
        DWORD r = WaitForMultipleObjects(change_ ? 2 : 1, both, FALSE, ms);
        if (r == WAIT_OBJECT_0) return kStop;
        if (r == WAIT_OBJECT_0 + 1) return kChange;
        return kNone;
    }

private:
    HANDLE stop_;
    HANDLE change_;
};

// The services bound to the libraries for one operation.
struct LibraryWork {
    LibraryBook book;
    LibraryServer server;
    LibraryKernel kernel;
    EventSignals signals;
    WorkContext context;
    LibraryWork(HostContext handle, PeerSender& peers, HANDLE stop, HANDLE change)
        : book(handle), signals(stop, change), context{book, server, kernel, peers, signals} {}
};

// A sender for a channel that does not exist: every send fails.
class NoPeers : public PeerSender {
public:
    bool SendAndConfirm(const PeerTarget&, const std::string&) override { return false; }
};

std::wstring ConfigPath() { return vantor::ProgramDir() + L"config\\psimprof.cfg"; }

// The presence server's addresses of `id` now.
bool AskServerWhere(const std::string& id, FriendStatus* out) {
    FriendInfoA record = {};
    vantor::CopyField(record.id, id.c_str());
    LibraryServer server;
    if (server.FriendIp(record.id, &record) != 0) return false;
    *out = record.status;
    return true;
}

}  // namespace

void PresencePlug::SetResourceModule(HMODULE module) {
    if (!g_resources) g_resources = module;
}

HMODULE PresencePlug::ResourceModule() { return g_resources ? g_resources : vantor::ThisModule(); }

PeerSender& PresencePlug::Peers() {
    static NoPeers none;
    if (peers_) return *peers_;
    return none;
}

PresencePlug::PresencePlug(HWND parent, HMODULE container, HostContext book)
    : parent_(parent), container_(container), book_(book), addressAsker_(peerMemory_.answers, AskServerWhere) {
    InitCommonControls();
    richEdit_ = LoadLibraryW(L"RICHED32.DLL");
}

PresencePlug::~PresencePlug() {
    if (richEdit_) FreeLibrary(richEdit_);
    pending_.Clear();
}

PresencePlug* PresencePlug::Create(HWND parent, HMODULE container, HostContext book) {
    PresencePlug* plug = new PresencePlug(parent, container, book);
    plug->window_ = CreateDialogParamW(ResourceModule(), MAKEINTRESOURCEW(kMainDialog), parent, DialogProc,
                                       reinterpret_cast<LPARAM>(plug));
    if (!plug->window_) {
        vantor::DebugLine(L"PresenceTab: the hidden window could not be made (%lu)\n", GetLastError());
        delete plug;
        return nullptr;
    }
    return plug;
}

void PresencePlug::Destroy(PresencePlug* plug) {
    vantor::DebugLine(L"\t开始停止PS服务...\n");
    // The dialogs' code and their threads go with this library: they end first.
    plug->CloseDialogs();
    if (plug->window_) DestroyWindow(plug->window_);
    plug->window_ = nullptr;
    vantor::DebugLine(L"\tPS服务停止完毕！\n");
    delete plug;
}

INT_PTR CALLBACK PresencePlug::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        PresencePlug* plug = reinterpret_cast<PresencePlug*>(lParam);
        SetPropW(window, kThisProperty, plug);
        plug->window_ = window;
        plug->OnInitDialog();
        return FALSE;
    }
    PresencePlug* plug = static_cast<PresencePlug*>(GetPropW(window, kThisProperty));
    if (message == WM_NCDESTROY) {
        RemovePropW(window, kThisProperty);
        // Gone, also when destroyed with its owner: no dead handle is handed out or
        // destroyed again.
        if (plug) plug->window_ = nullptr;
        return FALSE;
    }
    return plug ? plug->OnMessage(message, wParam, lParam) : FALSE;
}

INT_PTR PresencePlug::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case PTM_START: OnStart(); return TRUE;
    case WM_TIMER:
        if (wParam == kTickTimer) OnTimer();
        return TRUE;
    case WM_CLOSE: DestroyWindow(window_); return TRUE;
    case WM_DESTROY: OnDestroy(); return TRUE;
    case PTM_PEER_PACKET: OnPeerPacket(reinterpret_cast<PeerPacket*>(lParam), static_cast<DWORD>(wParam)); return TRUE;
    case PTM_HEARTBEAT_ENDED:
        if (!destroying_) {
            KillTimer(window_, kTickTimer);
            JoinWorker(&beatThread_);
            clock_.Restart();
        }
        return TRUE;
    case PTM_PROXY_ENDED: JoinWorker(&proxyThread_); return TRUE;
    case PTM_ONLINE_ENDED: JoinWorker(&onlineThread_); return TRUE;
    case PTM_SELF_STATUS: OnSelfStatus(static_cast<WORD>(lParam)); return TRUE;
    case PTM_SELF_STATUS_ENDED: OnSelfStatusEnded(); return TRUE;
    case PTM_RELOGIN: OnRelogin(); return TRUE;
    case PTM_SENDERS_ANSWERED: OnSendersAnswered(); return TRUE;
    case PTM_FRIEND_REMOVED: OnFriendRemoved(reinterpret_cast<const PresenceNotice*>(lParam)); return TRUE;
    case PTM_FRIEND_STATUS: OnFriendStatus(reinterpret_cast<const FriendStatusNotice*>(lParam)); return TRUE;
    case PTM_ADD_FRIEND_W: OnAddFriendW(reinterpret_cast<const FriendInfoW*>(lParam)); return TRUE;
    case PTM_ADD_FRIEND_A: OnAddFriend(reinterpret_cast<const FriendInfoA*>(lParam)); return TRUE;
    case PTM_VERIFY_REQUEST: OnVerifyRequest(reinterpret_cast<const PresenceNotice*>(lParam)); return TRUE;
    case PTM_VERIFY_ACCEPTED: OnVerifyAccepted(reinterpret_cast<const PresenceNotice*>(lParam)); return TRUE;
    case PTM_VERIFY_REFUSED: OnVerifyRefused(reinterpret_cast<const PresenceNotice*>(lParam)); return TRUE;
    case PTM_FRIEND_DELETED: return TRUE;
    default:
        return FALSE;
    }
}

// While the window is being destroyed its own wait joins the workers.
void PresencePlug::JoinWorker(HANDLE* thread) {
    if (!destroying_) JoinPumping(thread);
}

void PresencePlug::OnInitDialog() {
    events_[kStop] = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    events_[kBeat] = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    events_[kProxy] = CreateEventA(nullptr, FALSE, FALSE, kProxyEventName);
    events_[kOnline] = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    events_[kOnlineStatus] = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    events_[kOwnStatus] = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    PostMessageW(window_, PTM_START, 0, 0);
}

void PresencePlug::OnStart() {
    vantor::DebugLine(L"启动PS网络服务... ...\n");
    for (HANDLE e : events_) {
        if (!e) {
            vantor::DebugLine(L"\tPS网络服务启动失败！\n");
            return;
        }
    }
    std::wstring config = ConfigPath();
    // A value that is no port would, cut to 16 bits, name a port the server was not told.
    UINT port = GetPrivateProfileIntW(L"PSConfig", L"LocalTcpPort", kDefaultPort, config.c_str());
    localPort_ = port >= 1 && port <= 65535 ? static_cast<WORD>(port) : kDefaultPort;
    // Tests bind the listener to one loopback address, so that fake friends can listen
    // on other loopback addresses at the same port; absent, it listens on all of them.
    wchar_t address[64] = {};
    GetPrivateProfileStringW(L"PSConfig", L"LocalTcpAddress", L"", address, 64, config.c_str());
    localAddress_ = INADDR_ANY;
    if (address[0]) {
        IN_ADDR parsed = {};
        if (InetPtonW(AF_INET, address, &parsed) == 1) localAddress_ = parsed.s_addr;
    }
    HWND window = window_;
    peers_.reset(new PeerChannel([window](const PeerPacket& packet, DWORD from) {
        PeerPacket* copy = new PeerPacket(packet);
        if (!PostMessageW(window, PTM_PEER_PACKET, from, reinterpret_cast<LPARAM>(copy))) delete copy;
    }));
    if (!peers_->Start(localAddress_, localPort_)) {
        vantor::DebugLine(L"\tPS网络服务启动失败！\n");
        return;
    }
    addressAsker_.Start(events_[kStop], window_, PTM_SENDERS_ANSWERED);
    StartWorker(OnlineFriendsThread, &onlineThread_);
    StartWorker(ProxyThread, &proxyThread_);
    StartWorker(HeartBeatThread, &beatThread_);
    StartWorker(OnlineStatusThread, &onlineStatusThread_);
    clock_.Restart();
    SetTimer(window_, kTickTimer, kTickMs, nullptr);
}

bool PresencePlug::StartWorker(LPTHREAD_START_ROUTINE routine, HANDLE* thread) {
    *thread = CreateThread(nullptr, 0, routine, this, 0, nullptr);
    return *thread != nullptr;
}

void PresencePlug::OnTimer() {
    if (clock_.Tick()) SetEvent(events_[kBeat]);
}

void PresencePlug::OnDestroy() {
    // Normally done already; here too for a window that goes with its parent.
    CloseDialogs();
    destroying_ = true;
    KillTimer(window_, kTickTimer);
    if (events_[kStop]) SetEvent(events_[kStop]);
    // Cut the peer connections first, so no worker waits on a silent friend.
    if (peers_) peers_->BeginStop();
    JoinPumping(&beatThread_);
    JoinPumping(&proxyThread_);
    JoinPumping(&onlineThread_);
    JoinPumping(&onlineStatusThread_);
    JoinPumping(&ownStatusThread_);
    addressAsker_.Join();
    if (events_[kStop]) {
        // With the stop set this ends at the first listed friend; only without one does
        // it report the own status.
        NoPeers none;
        LibraryWork work(book_, peers_ ? static_cast<PeerSender&>(*peers_) : none, events_[kStop], events_[kOwnStatus]);
        OwnStatusPass(work.context, RequestedStatus());
    }
    if (peers_) peers_->Stop();
    // Records that arrived after the last dispatch are still ours to free.
    MSG msg;
    while (PeekMessageW(&msg, window_, PTM_PEER_PACKET, PTM_PEER_PACKET, PM_REMOVE)) {
        delete reinterpret_cast<PeerPacket*>(msg.lParam);
    }
    peers_.reset();
    for (HANDLE& e : events_) {
        if (e) CloseHandle(e);
        e = nullptr;
    }
}

bool PresencePlug::WaitFor(Signal signal) {
    HANDLE both[2] = {events_[kStop], events_[signal]};
    return WaitForMultipleObjects(2, both, FALSE, INFINITE) == WAIT_OBJECT_0 + 1;
}

// --- heart beat

DWORD WINAPI PresencePlug::HeartBeatThread(void* self) {
    static_cast<PresencePlug*>(self)->RunHeartBeat();
    return 0;
}

void PresencePlug::RunHeartBeat() {
    vantor::DebugLine(L"\tPS心跳线程开始工作... ...！\n");
    for (;;) {
        vantor::DebugLine(L"\t本次心跳处理开始... ...\n");
        // The count starts again before the slow calls, so ticks that arrive meanwhile
        // cannot make the beat due twice in one cycle.
        clock_.Restart();
        ResetEvent(events_[kBeat]);
        SetEvent(events_[kOnline]);
        RefreshOnlineCount();
        if (!WaitFor(kBeat)) break;
        int interval = static_cast<int>(clock_.Interval());
        int result = BeatLoadedPresenceCore(&interval);
        if (result == 0) {
            clock_.Accept(interval > 0 ? static_cast<DWORD>(interval) : 0);
        } else if (result != -1) {
            PostMessageW(window_, PTM_RELOGIN, 0, 0);
        }
        ResetEvent(events_[kBeat]);
    }
    vantor::DebugLine(L"\t接受到停止心跳的事件了\n");
    PostMessageW(window_, PTM_HEARTBEAT_ENDED, 0, 0);
    vantor::DebugLine(L"\tPS心跳线程结束，停止工作！\n");
}

void PresencePlug::RefreshOnlineCount() {
    LibraryServer server;
    LONG count = 0;
    if (server.OnlineCount(&count) != 0) return;
    LibraryBook book(book_);
    book.SetOnlineCount(static_cast<DWORD>(count));
}

void PresencePlug::OnRelogin() {
    vantor::DebugLine(L"\t心跳失败后，重新登录PS\n");
    LibraryBook book(book_);
    FriendHandle self = book.CurrentAccount();
    if (!self) return;
    FriendInfoA account = {};
    book.FriendInfo(self, &account);
    auto query = book.QueryPolicyExport();
    if (!query) {
        vantor::DebugLine(L"\t没有找到获取好友服务策略信息的接口\n");
        return;
    }
    ServicePolicyInfoA policy = {};
    if (!query(book_, self, 9, &policy)) {
        vantor::DebugLine(L"\t获取PS服务信息失败！\n");
        return;
    }
    LibraryServer server;
    if (!server.Loaded()) {
        vantor::DebugLine(L"加载PS内核模块失败！\n");
        return;
    }
    LoginCookies cookies;
    if (!ReadLoginCookies(policy, &cookies)) {
        vantor::DebugLine(L"\t在线服务的登录信息不完整，不能重新登录PS\n");
        return;
    }
    if (server.Login(&account, cookies.session.c_str(), cookies.signOn.c_str()) != 0) {
        vantor::DebugLine(L"重新登录PS服务器失败，下次继续重试\n");
        return;
    }
    account.status.status = 1;
    if (server.FriendIp(account.id, &account) != 0) {
        vantor::DebugLine(L"获取自身的最新ip地址失败了！\n");
        return;
    }
    FriendStatus status = account.status;
    status.status = 1;
    book.UpdateSelfStatus(status);
}

// --- proxy messages

DWORD WINAPI PresencePlug::ProxyThread(void* self) {
    static_cast<PresencePlug*>(self)->RunProxy();
    return 0;
}

void PresencePlug::RunProxy() {
    vantor::DebugLine(L"\tPS服务--代理消息处理线程开始工作... ...！\n");
    SetEvent(events_[kProxy]);
    while (WaitFor(kProxy)) ProcessProxyMessages();
    PostMessageW(window_, PTM_PROXY_ENDED, 0, 0);
    vantor::DebugLine(L"\tPS服务--代理消息处理线程结束，停止工作！\n");
}

void PresencePlug::ProcessProxyMessages() {
    FriendInfoA own = {};
    {
        LibraryBook book(book_);
        if (!book.Account(&own)) return;
    }
    vantor::DebugLine(L"\t本次代理事务处理开始... ...\n");
    std::string path = vantor::WideToAnsi(vantor::ProgramDir()) + vantor::FieldText(own.id) + "\\psproxy.ppi";
    EventSignals signals(events_[kStop], nullptr);
    ProcessProxyStore(path, signals, [&](const ProxyMessage& m) {
        PresenceNotice notice = MakeNotice(m.id.c_str(), m.nickname.c_str(), m.message.c_str());
        LPARAM noticeParam = reinterpret_cast<LPARAM>(&notice);
        switch (m.kind) {
        case 1: SendMessageW(window_, PTM_VERIFY_REQUEST, 0, noticeParam); break;
        case 2: SendMessageW(window_, m.answer == 1 ? PTM_VERIFY_ACCEPTED : PTM_VERIFY_REFUSED, 0, noticeParam); break;
        case 4: SendMessageW(window_, PTM_FRIEND_REMOVED, 0, noticeParam); break;
        case 5: SendMessageW(window_, PTM_FRIEND_DELETED, 0, 0); break;
        case 6: {
            FriendStatusNotice status = {};
            vantor::CopyField(status.id, m.id.c_str());
            vantor::CopyField(status.status, std::to_string(m.answer).c_str());
            SendMessageW(window_, PTM_FRIEND_STATUS, 0, reinterpret_cast<LPARAM>(&status));
            break;
        }
        default: break;
        }
    });
}

void PresencePlug::OnFriendRemoved(const PresenceNotice* notice) {
    if (!notice) return;
    LibraryBook book(book_);
    GroupHandle group = nullptr;
    FriendHandle entry = book.FindFriend(notice->id, &group);
    if (entry) book.DelFriend(entry, group);
}

void PresencePlug::OnFriendStatus(const FriendStatusNotice* notice) {
    if (!notice) return;
    LibraryBook book(book_);
    FriendHandle entry = book.FindFriend(notice->id, nullptr);
    if (!entry) return;
    FriendInfoA record = {};
    if (!book.FriendInfo(entry, &record)) return;
    WORD status = static_cast<WORD>(atoi(notice->status));
    if (record.status.status == status) return;
    FriendStatus changed = record.status;
    changed.status = status;
    book.UpdateFriendStatus(entry, changed, 1);
}

// --- the peer channel's records

NoticeSink PresencePlug::Notifier() {
    return [this](UINT message, const PresenceNotice& notice) {
        SendMessageW(window_, message, 0, reinterpret_cast<LPARAM>(&notice));
    };
}

void PresencePlug::OnPeerPacket(PeerPacket* packet, DWORD from) {
    if (!packet) return;
    std::unique_ptr<PeerPacket> owned(packet);
    // Records that come while the plug-in goes are dropped.
    if (destroying_) return;
    LibraryBook book(book_);
    // The server is asked on the asker's thread; the record waits for its answer.
    DispatchPeerPacket(*packet, from, peerMemory_, book, [this](const std::string& sender) {
        return addressAsker_.Queue(sender);
    }, Notifier());
}

void PresencePlug::OnSendersAnswered() {
    if (destroying_) return;
    LibraryBook book(book_);
    DispatchAnswered(peerMemory_, book, Notifier());
}

// --- online friends

DWORD WINAPI PresencePlug::OnlineFriendsThread(void* self) {
    static_cast<PresencePlug*>(self)->RunOnlineFriends();
    return 0;
}

void PresencePlug::RunOnlineFriends() {
    vantor::DebugLine(L"\tPS服务--获取在线好友列表线程开始工作... ...\n");
    while (WaitFor(kOnline)) {
        LibraryWork work(book_, *peers_, events_[kStop], nullptr);
        if (RefreshOnlineFriends(work.context, pending_)) SetEvent(events_[kOnlineStatus]);
    }
    PostMessageW(window_, PTM_ONLINE_ENDED, 0, 0);
    vantor::DebugLine(L"\tPS服务--获取在线好友列表线程结束，停止工作！\n");
}

DWORD WINAPI PresencePlug::OnlineStatusThread(void* self) {
    static_cast<PresencePlug*>(self)->RunOnlineStatus();
    return 0;
}

void PresencePlug::RunOnlineStatus() {
    vantor::DebugLine(L"\t在线好友处理线程开始工作... ...\n");
    while (WaitFor(kOnlineStatus)) {
        LibraryWork work(book_, *peers_, events_[kStop], nullptr);
        ProcessOnlineFriends(work.context, pending_, localPort_);
    }
    vantor::DebugLine(L"\t在线好友处理线程结束，停止工作！\n");
}

// --- own status

WORD PresencePlug::RequestedStatus() {
    vantor::Lock lock(statusLock_);
    return requestedStatus_;
}

void PresencePlug::OnSelfStatus(WORD status) {
    WORD previous;
    {
        vantor::Lock lock(statusLock_);
        previous = requestedStatus_;
        requestedStatus_ = status;
    }
    if (destroying_) return;
    if (ownStatusThread_) {
        // The running pass starts over with the newer value; the same value again
        // changes nothing.
        if (status != previous) SetEvent(events_[kOwnStatus]);
        return;
    }
    FriendInfoA own = {};
    LibraryBook book(book_);
    if (book.Account(&own) && own.status.status == status) return;
    StartWorker(OwnStatusThread, &ownStatusThread_);
}

void PresencePlug::OnSelfStatusEnded() {
    if (destroying_) return;
    JoinPumping(&ownStatusThread_);
    // A request that came after the thread's last look is spread by a new thread.
    WORD requested, spread;
    {
        vantor::Lock lock(statusLock_);
        requested = requestedStatus_;
        spread = spreadStatus_;
    }
    if (requested != spread && WaitForSingleObject(events_[kStop], 0) != WAIT_OBJECT_0) {
        StartWorker(OwnStatusThread, &ownStatusThread_);
    }
}

DWORD WINAPI PresencePlug::OwnStatusThread(void* self) {
    static_cast<PresencePlug*>(self)->RunOwnStatus();
    return 0;
}

void PresencePlug::RunOwnStatus() {
    vantor::DebugLine(L"开始进行更新自身状态，线程开始了...\n");
    for (;;) {
        vantor::DebugLine(L"\t执行更新自身状态...\n");
        WORD status = RequestedStatus();
        LibraryWork work(book_, *peers_, events_[kStop], events_[kOwnStatus]);
        int result = OwnStatusPass(work.context, status);
        if (result > 0) continue;
        if (result < 0) break;
        vantor::Lock lock(statusLock_);
        spreadStatus_ = status;
        if (requestedStatus_ == status) break;
    }
    PostMessageW(window_, PTM_SELF_STATUS_ENDED, 0, 0);
    vantor::DebugLine(L"更新自身状态的线程结束了！\n");
}

SendOnlyCall PresencePlug::PeerSend() {
    PeerChannel* channel = peers_.get();
    return [channel](const PeerTarget& target, const std::string& text) {
        return channel && channel->SendOnly(target, text);
    };
}

void PresencePlug::PreventUser(const PreventUserParam* param) {
    // The contact dialogs are reached through the kernel facade the host already holds.
    auto get = vantor::ProcAddress<PFN_RostDialogs_GetProcAddress>(GetModuleHandleW(L"CoreFront.dll"),
                                                                  "RostDialogs_GetProcAddress");
    if (!get) return;
    auto prevent = reinterpret_cast<PFN_RostDialogs_PreventUser>(reinterpret_cast<void*>(get("RostDialogs_PreventUser")));
    if (!prevent) return;
    HostContext handle = book_;
    PreventCall call = [prevent, handle](FriendHandle entry, GroupHandle group) {
        return prevent(handle, entry, group, 1);
    };
    LibraryBook book(book_);
    BlockFriend(book, call, PeerSend(), param->entry, param->group, localPort_);
}

void PresencePlug::DoCommand(int command, INT_PTR parameter) {
    // Once the window is gone (with its owner, say) a post would land on the caller's
    // thread and a send would reach nothing: the commands that need it do nothing. The
    // handle is read once, so a window that goes meanwhile (from another thread) makes the
    // call fail instead of posting to no window.
    HWND window = destroying_ ? nullptr : window_.load();
    switch (command) {
    case PresCmd_AddFriendW:
        if (parameter && window) SendMessageW(window, PTM_ADD_FRIEND_W, 0, static_cast<LPARAM>(parameter));
        break;
    case PresCmd_AddFriendA:
        if (parameter && window) SendMessageW(window, PTM_ADD_FRIEND_A, 0, static_cast<LPARAM>(parameter));
        break;
    case PresCmd_UpdateSelfStatus:
        if (window) PostMessageW(window, PTM_SELF_STATUS, 0, static_cast<LPARAM>(static_cast<WORD>(parameter)));
        break;
    case PresCmd_PreventUser:
        if (parameter) PreventUser(reinterpret_cast<const PreventUserParam*>(parameter));
        break;
    case PresCmd_DelFriend:
        if (parameter) {
            LibraryBook book(book_);
            TellDeletedFriend(book, PeerSend(), reinterpret_cast<FriendHandle>(parameter), localPort_);
        }
        break;
    default:
        break;
    }
}

// --- the verification dialogs

void PresencePlug::DialogOpened(PresenceDialog* dialog) { dialogs_.push_back(dialog); }

void PresencePlug::DialogClosed(PresenceDialog* dialog) {
    for (auto at = dialogs_.begin(); at != dialogs_.end(); ++at) {
        if (*at == dialog) {
            dialogs_.erase(at);
            return;
        }
    }
}

void PresencePlug::CloseDialogs() {
    closingDialogs_ = true;
    // Sends under way fail at once instead of waiting for their friends.
    if (peers_) peers_->BeginStop();
    while (!dialogs_.empty()) {
        PresenceDialog* dialog = dialogs_.back();
        dialog->CloseNow();
        // A dialog whose close was already under way further up leaves the list here.
        DialogClosed(dialog);
    }
}

bool PresencePlug::RaiseOpen(int kind, const char* id) {
    for (PresenceDialog* d : dialogs_) {
        if (d->Kind() == kind && d->PeerId() == id) {
            if (IsIconic(d->Window())) ShowWindow(d->Window(), SW_RESTORE);
            SetForegroundWindow(d->Window());
            return true;
        }
    }
    return false;
}

namespace {

FriendInfoA RecordOf(const PresenceNotice& notice) {
    FriendInfoA record = {};
    vantor::CopyField(record.id, notice.id);
    vantor::CopyField(record.nickname, notice.nickname);
    return record;
}

}  // namespace

bool PresencePlug::RoomFor(int kind) {
    size_t open = std::count_if(dialogs_.begin(), dialogs_.end(), [kind](PresenceDialog* d) { return d->Kind() == kind; });
    if (open < kMostNoticeDialogs) return true;
    vantor::DebugLine(L"PresenceTab: too many notices open: one more was dropped\n");
    return false;
}

void PresencePlug::OnVerifyRequest(const PresenceNotice* notice) {
    if (!notice || closingDialogs_ || RaiseOpen(kAnswerDialog, notice->id) || !RoomFor(kAnswerDialog)) return;
    // A missing nickname is looked up by the dialog's own thread.
    (new AnswerDialog(this, RecordOf(*notice), notice->message))->Open();
}

void PresencePlug::OnVerifyAccepted(const PresenceNotice* notice) {
    if (!notice || closingDialogs_) return;
    {
        LibraryBook book(book_);
        if (book.FindFriend(notice->id, nullptr)) return;
    }
    if (RaiseOpen(kFriendAddedDialog, notice->id)) return;
    (new FriendAddedDialog(this, RecordOf(*notice)))->Open();
}

void PresencePlug::OnVerifyRefused(const PresenceNotice* notice) {
    if (!notice || closingDialogs_ || !RoomFor(kRefusalDialog)) return;
    (new RefusalDialog(this, RecordOf(*notice), notice->message))->Open();
}

void PresencePlug::OnAddFriend(const FriendInfoA* target) {
    if (!target || closingDialogs_) return;
    (new AddFriendDialog(this, *target))->Open();
}

void PresencePlug::OnAddFriendW(const FriendInfoW* target) {
    if (!target || closingDialogs_) return;
    FriendInfoA converted = {};
    {
        vantor::UniqueModule toolcrate(vantor::LoadProgramLibrary(L"Toolcrate.dll"));
        if (!toolcrate) {
            vantor::DebugLine(L"载入公共函数库Toolcrate.dll失败了\n");
            return;
        }
        auto convert = vantor::ProcAddress<PFN_CopyAddressFriendW2A>(toolcrate.get(), "CopyAddressFriendW2A");
        if (!convert || !convert(target, &converted)) return;
    }
    OnAddFriend(&converted);
}

}  // namespace presence
