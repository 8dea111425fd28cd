// The chat benchmark: texts sent one after another's receipt, from the send command to
// the sender's debugger line of the '0' receipt, relayed through the fake IM server (to
// one test peer) and over a direct link (to another). Beside them, in the same run, the
// same-work reference: the least code that does the same window work (empties a compose
// box that holds the caret, disables a send button, appends the header and the text to a
// display of the same size and format, scrolls it and repaints it with its scroll bar) and
// exchanges the same bytes (a 195-byte text, a 147-byte receipt) over a plain socket pair.
// The three run in turn, in rounds of 50 texts each going first in turn, so a machine that
// others load unevenly weighs on all three alike, and each text follows a short idle
// pause, as a user's texts do; the ratios are the medians of the rounds' ratios. Prints
// medians and 99th percentiles in milliseconds, where the user-interface thread's time
// goes, the round trip with a large history present beside the reference, and last a line
// for scripts. Started by
// testkit/im/bench-chat.sh, which starts the fake IM server; the benchmark runs in a copy
// of itself in a program folder of its own.
#include <winsock2.h>
#include <windows.h>
#include <richedit.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "BenchTiming.h"
#include "ChatRecord.h"
#include "DebugLines.h"
#include "DialogDriver.h"
#include "ProgramFolder.h"
#include "TestSupport.h"
#include "Text.h"
#include "TextTransport.h"
#include "WindowClient.h"

using namespace cdtest;
using chatdesk::ChatDialog;

namespace {

constexpr int kRounds = 20;
constexpr int kPerRound = 50;
constexpr int kWarmUp = 20;
constexpr int kPartRounds = 100;
constexpr double kGoal = 1.5;
constexpr size_t kWireText = 195;
constexpr size_t kWireReceipt = 147;
const wchar_t kReceiptLine[] = L"聊天信息发送的反馈表明发送成功了";

struct Spread {
    double median = 0, p99 = 0;
    size_t count = 0;
};

Spread SpreadOf(std::vector<double> times) {
    Spread spread;
    if (times.empty()) return spread;
    std::sort(times.begin(), times.end());
    spread.count = times.size();
    spread.median = times[times.size() / 2];
    spread.p99 = times[std::min(times.size() - 1, times.size() * 99 / 100)];
    return spread;
}

void Append(std::vector<double>* to, const std::vector<double>& more) { to->insert(to->end(), more.begin(), more.end()); }

void PrintRow(const char* what, const Spread& spread) {
    std::printf("  %-48s %8.3f %8.3f   (%zu)\n", what, spread.median, spread.p99, spread.count);
}

// A header line as the display shows one.
std::string Header() { return testkit::Ansi("<me> <时间：2026-01-01 00:00:00:000>\r\n"); }

// Waits with the thread idle, messages handled, as a user's texts come with pauses
// between them. Wine here, drawing without a pause for about a tenth of a second, falls
// into a state where every side draws about three times slower until it pauses again; a
// text after a pause is measured as a user sends it.
void Settle() {
    constexpr double kPauseMs = 20;
    double until = testkit::NowMs() + kPauseMs;
    for (double now = testkit::NowMs(); now < until; now = testkit::NowMs()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(until - now) + 1, QS_ALLINPUT);
        testkit::PumpPending();
    }
}

//--- Ours

// Brings a chat window up as the user has it: shown, active, the caret in the compose box.
void Bring(ChatDialog* window) {
    ShowWindow(window->Window(), SW_SHOW);
    SetForegroundWindow(window->Window());
    SetFocus(GetDlgItem(window->Window(), chatdesk::kComposeId));
    testkit::PumpPending();
}

// What the user-interface thread spends on each text: the send command, and the command
// with the repaints it left; what is left of a text's time is the wait for its receipt.
struct Shares {
    std::vector<double> command, shown;
};

// Each text from the send command to the debugger line of its receipt.
std::vector<double> TimeTexts(ChatDialog* window, int count, Shares* shares) {
    testkit::DebugLines lines;
    std::vector<double> times;
    HWND dialog = window->Window();
    for (int i = 0; i < count; ++i) {
        lines.Clear();
        testkit::SetText(dialog, chatdesk::kComposeId, L"bench " + std::to_wstring(i));
        Settle();
        double start = testkit::NowMs();
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(chatdesk::kSendButton, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, chatdesk::kSendButton)));
        if (shares) shares->command.push_back(testkit::NowMs() - start);
        // What the command left to the message loop (the display's repaint) is part of it,
        // as it is of the reference.
        testkit::PumpPending();
        if (shares) shares->shown.push_back(testkit::NowMs() - start);
        DWORD began = GetTickCount();
        while (lines.Count(kReceiptLine) == 0) {
            if (GetTickCount() - began >= 5000) return times;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
            testkit::PumpPending();
        }
        times.push_back(testkit::NowMs() - start);
    }
    return times;
}

// The parts of the send command on the user-interface thread, each timed alone.
struct Parts {
    std::vector<double> ownRecord, emptyCompose, appends;
};

Parts TimeParts(WindowClient& client, ChatDialog* window) {
    Parts parts;
    HWND dialog = window->Window();
    for (int i = 0; i < kPartRounds; ++i) {
        FriendInfoA own = {};
        Settle();
        double start = testkit::NowMs();
        client->Contacts().OwnRecord(&own);
        parts.ownRecord.push_back(testkit::NowMs() - start);

        testkit::SetText(dialog, chatdesk::kComposeId, L"bench " + std::to_wstring(i));
        Settle();
        start = testkit::NowMs();
        SetWindowTextW(GetDlgItem(dialog, chatdesk::kComposeId), L"");
        parts.emptyCompose.push_back(testkit::NowMs() - start);

        Settle();
        start = testkit::NowMs();
        {
            chatdesk::DisplayBatch batch(window->Display());
            chatdesk::AppendText(dialog, window->Display(), Header(), window->DisplayFormat(), false);
            chatdesk::AppendText(dialog, window->Display(), "bench " + std::to_string(i) + "\r\n",
                                 window->OwnFormat(), true);
        }
        parts.appends.push_back(testkit::NowMs() - start);
        testkit::PumpPending();
    }
    return parts;
}

//--- The same-work reference

bool ReadAll(SOCKET s, char* buffer, int length) {
    while (length > 0) {
        int got = recv(s, buffer, length, 0);
        if (got <= 0) return false;
        buffer += got;
        length -= got;
    }
    return true;
}

// A connected socket pair on the loopback: `answerer` answers each text with a receipt.
class PlainPeer {
public:
    PlainPeer() {
        SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in at = {};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = inet_addr("127.0.0.1");
        int size = sizeof at;
        if (bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || listen(listener, 1) != 0 ||
            getsockname(listener, reinterpret_cast<sockaddr*>(&at), &size) != 0) {
            closesocket(listener);
            return;
        }
        answerer_ = std::thread([listener] {
            SOCKET s = accept(listener, nullptr, nullptr);
            closesocket(listener);
            char text[kWireText], receipt[kWireReceipt] = {};
            while (s != INVALID_SOCKET && ReadAll(s, text, sizeof text))
                if (send(s, receipt, sizeof receipt, 0) != static_cast<int>(sizeof receipt)) break;
            closesocket(s);
        });
        socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        BOOL noDelay = TRUE;
        setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
        if (connect(socket_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
            closesocket(socket_);
            socket_ = INVALID_SOCKET;
        }
    }
    ~PlainPeer() {
        if (socket_ != INVALID_SOCKET) shutdown(socket_, SD_BOTH);
        if (answerer_.joinable()) answerer_.join();
        if (socket_ != INVALID_SOCKET) closesocket(socket_);
    }
    bool Send() {
        char text[kWireText] = {};
        return socket_ != INVALID_SOCKET && send(socket_, text, sizeof text, 0) == static_cast<int>(sizeof text);
    }
    bool Receive() {
        char receipt[kWireReceipt];
        return socket_ != INVALID_SOCKET && ReadAll(socket_, receipt, sizeof receipt);
    }

private:
    SOCKET socket_ = INVALID_SOCKET;
    std::thread answerer_;
};

// A copy of a chat window's control: same class, styles and place. The RichEdit takes its
// scroll bar away while its text fits; the template gives it one.
HWND CopyControl(HWND original, HWND parent, HWND dialog) {
    wchar_t className[64] = {};
    GetClassNameW(original, className, 64);
    RECT rect;
    GetWindowRect(original, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    DWORD style = static_cast<DWORD>(GetWindowLongW(original, GWL_STYLE)) | WS_VSCROLL;
    DWORD exStyle = static_cast<DWORD>(GetWindowLongW(original, GWL_EXSTYLE));
    return CreateWindowExW(exStyle, className, L"", style, rect.left, rect.top, rect.right - rect.left,
                           rect.bottom - rect.top, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
}

void AppendPlain(HWND edit, const std::string& text, const CHARFORMATA& format) {
    SendMessageW(edit, EM_SETSEL, -1, -1);
    CHARFORMATA selection = format;
    SendMessageA(edit, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&selection));
    SendMessageA(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

// A window with copies of a chat window's compose box, display and send button (a plain
// push button), in its place, and the socket pair.
class Reference {
public:
    explicit Reference(ChatDialog* window) : window_(window) {
        HWND dialog = window->Window();
        RECT frame;
        GetWindowRect(dialog, &frame);
        host_ = CreateWindowExW(0, L"STATIC", L"reference", WS_POPUP, frame.left, frame.top, frame.right - frame.left,
                                frame.bottom - frame.top, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        compose_ = CopyControl(GetDlgItem(dialog, chatdesk::kComposeId), host_, dialog);
        display_ = CopyControl(window->Display(), host_, dialog);
        HWND send = GetDlgItem(dialog, chatdesk::kSendButton);
        RECT place;
        GetWindowRect(send, &place);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
        send_ = CreateWindowExW(0, L"BUTTON", L"send", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, place.left, place.top,
                                place.right - place.left, place.bottom - place.top, host_, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
        SendMessageW(send_, WM_SETFONT, SendMessageW(send, WM_GETFONT, 0, 0), FALSE);
        CHARFORMATA format = window->DisplayFormat();
        SendMessageA(display_, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
    }
    ~Reference() { DestroyWindow(host_); }

    // On top of the other windows, active, the caret in the compose box, as the chat window
    // is when it is brought up.
    void Bring() {
        SetWindowPos(host_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
        SetForegroundWindow(host_);
        SetFocus(compose_);
        testkit::PumpPending();
    }
    void Hide() { ShowWindow(host_, SW_HIDE); }

    // Per text: the text goes out on the socket, the compose box is read and emptied, the
    // send button is disabled (typing the text enabled it), the header and the text are
    // appended to the display with its repaints held (a repaint after each step, once the
    // text no longer fits, costs several times the rest), the display scrolls to its end and
    // repaints with its frame (the scroll bar moved while nothing was drawn), the receipt
    // comes.
    std::vector<double> Time(int count) {
        std::vector<double> times;
        for (int i = 0; i < count && compose_ && display_; ++i) {
            SetWindowTextW(compose_, (L"bench " + std::to_wstring(i)).c_str());
            EnableWindow(send_, TRUE);
            Settle();
            double start = testkit::NowMs();
            if (!peer_.Send()) break;
            wchar_t text[801] = {};
            GetWindowTextW(compose_, text, 801);
            SetWindowTextW(compose_, L"");
            EnableWindow(send_, FALSE);
            SendMessageW(display_, WM_SETREDRAW, FALSE, 0);
            AppendPlain(display_, Header(), window_->DisplayFormat());
            AppendPlain(display_, vantor::WideToAnsi(text) + "\r\n", window_->OwnFormat());
            SendMessageW(display_, WM_SETREDRAW, TRUE, 0);
            SendMessageW(display_, EM_SCROLLCARET, 0, 0);
            RedrawWindow(display_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
            testkit::PumpPending();
            if (!peer_.Receive()) break;
            times.push_back(testkit::NowMs() - start);
        }
        return times;
    }

private:
    ChatDialog* window_;
    PlainPeer peer_;
    HWND host_ = nullptr, compose_ = nullptr, display_ = nullptr, send_ = nullptr;
};

// The same bytes over the plain socket pair alone.
std::vector<double> PlainSockets(int count) {
    std::vector<double> times;
    PlainPeer peer;
    for (int i = 0; i < count; ++i) {
        double start = testkit::NowMs();
        if (!peer.Send() || !peer.Receive()) break;
        times.push_back(testkit::NowMs() - start);
    }
    return times;
}

//--- Rounds in turn

// The texts of each kind, and each round's ratio of the median of a kind to the
// reference's median of the same round.
struct Taken {
    std::vector<std::vector<double>> times, ratios;
};

// Runs `rounds` rounds of `perRound` texts of each kind (the last is the reference), each
// kind going first in turn; kinds are brought up before their texts and put away after.
Taken InTurn(int rounds, int perRound, const std::vector<std::function<std::vector<double>(int)>>& kinds,
             const std::vector<std::function<void(bool)>>& shown) {
    Taken taken;
    size_t n = kinds.size();
    taken.times.resize(n);
    taken.ratios.resize(n);
    for (int round = 0; round < rounds; ++round) {
        std::vector<double> medians(n);
        for (size_t k = 0; k < n; ++k) {
            size_t kind = (k + static_cast<size_t>(round)) % n;
            shown[kind](true);
            std::vector<double> times = kinds[kind](perRound);
            shown[kind](false);
            medians[kind] = SpreadOf(times).median;
            Append(&taken.times[kind], times);
        }
        for (size_t kind = 0; kind + 1 < n; ++kind)
            if (medians[n - 1] > 0) taken.ratios[kind].push_back(medians[kind] / medians[n - 1]);
    }
    return taken;
}

//--- A large history

std::wstring RecordFile() {
    std::wstring own = vantor::AnsiToWide(kOwnId), peer = vantor::AnsiToWide(kFriendId);
    return chatdesk::RecordFilePath(vantor::imkit::ProgramFolder(), own, peer);
}

// Writes `texts` records of the conversation, as the chat writes them, in one go.
bool WriteRecordFile(int texts) {
    CreateDirectoryW((vantor::imkit::ProgramFolder() + L"\\" + vantor::AnsiToWide(kOwnId)).c_str(), nullptr);
    chatdesk::ChatRecordBytes record = {};
    std::string one(reinterpret_cast<const char*>(record.data()), record.size());
    std::string text = "record text";
    one.replace(chatdesk::kRecordTextOffset, text.size(), text);
    one.replace(chatdesk::kRecordLengthOffset, 4, "0013");
    std::string content;
    content.reserve(one.size() * static_cast<size_t>(texts));
    for (int i = 0; i < texts; ++i) content += one;
    return testkit::WriteFileBytes(RecordFile(), content);
}

//--- The run in a program folder of its own

// A chat window with `id`, direct when its scripted peer listens.
ChatDialog* OpenChat(WindowClient& client, const char* id, FriendHandle entry, bool direct) {
    if (!StartScriptedPeer(id)) return nullptr;
    if (direct) {
        std::string address = id == std::string(kFriendId) ? kPeerAddress : kOtherPeerAddress;
        std::string port = Fake().Control(std::string("peer/listen?id=") + id + "&address=" + address +
                                          "&port=" + std::to_string(kClientPort));
        if (port != std::to_string(kClientPort)) return nullptr;
    }
    ChatDialog* window = client.Open(entry, id);
    if (!window || (client->DirectLinkOf(window).get() != nullptr) != direct) return nullptr;
    PumpFor(1000);
    return window;
}

struct HistoryRow {
    const char* name;
    int texts;
    bool movedAside;
};

int RunInFolder() {
    if (!Fake().loaded || !Contacts().friendEntry || !Contacts().otherEntry) {
        std::printf("no fake IM server or no contact book\n");
        return 1;
    }
    WindowClient client;
    if (!client.WaitForLogin()) {
        std::printf("no login to the IM server\n");
        return 1;
    }
    DeleteFileW(RecordFile().c_str());
    ResetFake();
    ChatDialog* direct = OpenChat(client, kFriendId, Contacts().friendEntry, true);
    ChatDialog* relayed = OpenChat(client, kOtherFriend, Contacts().otherEntry, false);
    if (!direct || !relayed) {
        std::printf("no chat windows: direct %s, relayed %s\n", direct ? "open" : "missing",
                    relayed ? "open" : "missing");
        return 1;
    }
    ShowWindow(relayed->Window(), SW_HIDE);
    Reference reference(direct);

    Shares relayedShares, directShares;
    auto relayedTexts = [&](int n) { return TimeTexts(relayed, n, &relayedShares); };
    auto directTexts = [&](int n) { return TimeTexts(direct, n, &directShares); };
    auto referenceTexts = [&](int n) { return reference.Time(n); };
    auto bringRelayed = [&](bool up) { up ? Bring(relayed) : (void)ShowWindow(relayed->Window(), SW_HIDE); };
    auto bringDirect = [&](bool up) { up ? Bring(direct) : (void)ShowWindow(direct->Window(), SW_HIDE); };
    auto bringReference = [&](bool up) { up ? reference.Bring() : reference.Hide(); };
    InTurn(1, kWarmUp, {relayedTexts, directTexts, referenceTexts}, {bringRelayed, bringDirect, bringReference});
    relayedShares = Shares();
    directShares = Shares();
    Taken main = InTurn(kRounds, kPerRound, {relayedTexts, directTexts, referenceTexts},
                        {bringRelayed, bringDirect, bringReference});
    Spread sockets = SpreadOf(PlainSockets(kRounds * kPerRound));
    Bring(direct);
    Parts parts = TimeParts(client, direct);
    CloseChat(relayed);
    CloseChat(direct);

    // With a history present: 4,000 texts, 5,000 (the most the file holds before the next
    // text moves it aside), then 10,000, which the first text moves aside.
    const HistoryRow rows[] = {{"4,000 texts (4.0 MB)", 4000, false},
                               {"5,000 texts (5.0 MB, before it is moved aside)", 5000, false},
                               {"10,000 texts (9.9 MB), after the first text", 10000, true}};
    struct HistoryTaken {
        Taken taken;
        double first = 0;
    };
    std::vector<HistoryTaken> histories;
    for (const HistoryRow& row : rows) {
        HistoryTaken h;
        if (!WriteRecordFile(row.texts) || !(direct = OpenChat(client, kFriendId, Contacts().friendEntry, true))) {
            histories.push_back(h);
            continue;
        }
        Reference beside(direct);
        Bring(direct);
        std::vector<double> first = TimeTexts(direct, 1, nullptr);
        h.first = first.empty() ? 0 : first[0];
        auto ours = [&](int n) { return TimeTexts(direct, n, nullptr); };
        auto theirs = [&](int n) { return beside.Time(n); };
        auto bringOurs = [&](bool up) { up ? Bring(direct) : (void)ShowWindow(direct->Window(), SW_HIDE); };
        auto bringTheirs = [&](bool up) { up ? beside.Bring() : beside.Hide(); };
        h.taken = InTurn(6, 25, {ours, theirs}, {bringOurs, bringTheirs});
        CloseChat(direct);
        histories.push_back(h);
    }
    Fake().Control(std::string("peer/stop?id=") + kFriendId);
    Fake().Control(std::string("peer/stop?id=") + kOtherFriend);

    Spread r = SpreadOf(main.times[0]), d = SpreadOf(main.times[1]), ref = SpreadOf(main.times[2]);
    size_t wanted = static_cast<size_t>(kRounds * kPerRound);
    if (r.count < wanted || d.count < wanted || ref.count < wanted) {
        std::printf("texts went unanswered: relayed %zu, direct %zu, reference %zu of %zu\n", r.count, d.count,
                    ref.count, wanted);
        return 1;
    }
    std::printf("chat texts, each sent after the last one's receipt, %d rounds of %d in turn (ms)\n", kRounds,
                kPerRound);
    std::printf("  %-48s %8s %8s   (texts)\n", "", "median", "p99");
    PrintRow("relayed, send command to receipt", r);
    PrintRow("direct, send command to receipt", d);
    PrintRow("same-work reference (RichEdit + sockets)", ref);
    PrintRow("the same bytes over plain sockets alone", sockets);
    std::printf("user-interface thread, per text\n");
    PrintRow("send command, relayed", SpreadOf(relayedShares.command));
    PrintRow("send command, direct", SpreadOf(directShares.command));
    PrintRow("  with the repaints it left, relayed", SpreadOf(relayedShares.shown));
    PrintRow("  with the repaints it left, direct", SpreadOf(directShares.shown));
    PrintRow("  own account record read (RostLedger loaded, freed)", SpreadOf(parts.ownRecord));
    PrintRow("  compose box emptied, send button disabled", SpreadOf(parts.emptyCompose));
    PrintRow("  header and text appended", SpreadOf(parts.appends));
    std::printf("history present, direct: ours, the reference beside it, ratio (6 rounds of 25 in turn)\n");
    for (size_t i = 0; i < histories.size(); ++i) {
        const HistoryTaken& h = histories[i];
        if (h.taken.times.empty()) {
            std::printf("  %-48s not measured\n", rows[i].name);
            continue;
        }
        std::printf("  %-48s %8.3f %8.3f   %.2f\n", rows[i].name, SpreadOf(h.taken.times[0]).median,
                    SpreadOf(h.taken.times[1]).median, SpreadOf(h.taken.ratios[0]).median);
        if (rows[i].movedAside) std::printf("  %-48s %8.3f\n", "  its first text (the file moved aside behind it)", h.first);
    }
    double dr = SpreadOf(main.ratios[1]).median, er = SpreadOf(main.ratios[0]).median;
    std::printf("ratios to the same-work reference (median of the rounds): direct %.2f, relayed %.2f (goal at most %.2f)"
                " %s\n",
                dr, er, kGoal, dr <= kGoal && er <= kGoal ? "met" : "missed");
    std::printf("ratios to the plain sockets alone: direct %.1f, relayed %.1f\n", d.median / sockets.median,
                r.median / sockets.median);
    std::printf("chat bench: direct %.2f, relayed %.2f of the same-work reference\n", dr, er);
    return 0;
}

}  // namespace

int main() {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    int code = 0;
    if (ChildMode("bench")) {
        code = RunInFolder();
    } else {
        std::wstring dir = testkit::FreshDir(L"chatdesk-bench");
        std::wstring exe = testkit::CopyThisExeTo(dir);
        if (exe.empty() || !StageClientFolder(dir)) {
            std::printf("the program folder could not be made\n");
            code = 1;
        } else {
            code = static_cast<int>(testkit::RunProgram(
                exe, L"", dir,
                {{L"CHATDESK_TEST_CHILD", L"bench"}, {L"VANTOR_IM_FAKE_PORTS", vantor::AnsiToWide(Fake().PortsText())}},
                900000));
        }
    }
    std::fflush(stdout);
    WSACleanup();
    return code;
}
