// The chat benchmark: texts sent one after another's receipt, from the send command to
// the sender's debugger line of the '0' receipt, relayed through the fake IM server and
// over a direct link to a test peer. Beside them, in the same run, the same-work
// reference: the least code that does the same RichEdit work (empties a compose box,
// appends the header and the text to a display of the same size and format) and
// exchanges the same bytes (a 195-byte text, a 147-byte receipt) over a plain socket
// pair. Prints medians and 99th percentiles in milliseconds, where the user-interface
// thread's time goes, the round trip with a large record file present, and last a line
// for scripts. Started by testkit/im/bench-chat.sh, which starts the fake IM server; the
// benchmark runs in a copy of itself in a program folder of its own.
#include <winsock2.h>
#include <windows.h>
#include <richedit.h>

#include <algorithm>
#include <cstdio>
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

constexpr int kTexts = 1000;
constexpr int kPartRounds = 200;
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

void PrintRow(const char* what, const Spread& spread) {
    std::printf("  %-44s %8.3f %8.3f   (%zu)\n", what, spread.median, spread.p99, spread.count);
}

// A header line as the display shows one.
std::string Header() { return testkit::Ansi("<me> <时间：2026-01-01 00:00:00:000>\r\n"); }

//--- Ours

// Each text from the send command to the debugger line of its receipt; `command`: the
// send command's own time (the user-interface thread's part).
std::vector<double> TimeTexts(ChatDialog* window, int count, std::vector<double>* command) {
    testkit::DebugLines lines;
    std::vector<double> times;
    HWND dialog = window->Window();
    for (int i = 0; i < count; ++i) {
        lines.Clear();
        testkit::SetText(dialog, chatdesk::kComposeId, L"bench " + std::to_wstring(i));
        double start = testkit::NowMs();
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(chatdesk::kSendButton, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, chatdesk::kSendButton)));
        if (command) command->push_back(testkit::NowMs() - start);
        // What the command left to the message loop (the display's repaint) is part of it,
        // as it is of the reference.
        testkit::PumpPending();
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
        double start = testkit::NowMs();
        client->Contacts().OwnRecord(&own);
        parts.ownRecord.push_back(testkit::NowMs() - start);

        testkit::SetText(dialog, chatdesk::kComposeId, L"bench " + std::to_wstring(i));
        start = testkit::NowMs();
        SetWindowTextW(GetDlgItem(dialog, chatdesk::kComposeId), L"");
        parts.emptyCompose.push_back(testkit::NowMs() - start);

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

// A copy of a chat window's control: same class, styles and place.
HWND CopyControl(HWND original, HWND parent, HWND dialog) {
    wchar_t className[64] = {};
    GetClassNameW(original, className, 64);
    RECT rect;
    GetWindowRect(original, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    DWORD style = static_cast<DWORD>(GetWindowLongW(original, GWL_STYLE));
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

// Per text: the text goes out on the socket, the compose box is read and emptied, the
// header and the text are appended to the display with its repaints held (a repaint
// after each step, once the text no longer fits, costs several times the rest), the
// display scrolls to its end and paints, the receipt comes.
std::vector<double> SameWorkReference(ChatDialog* window, int count) {
    std::vector<double> times;
    PlainPeer peer;
    HWND dialog = window->Window();
    RECT frame;
    GetWindowRect(dialog, &frame);
    HWND host = CreateWindowExW(0, L"STATIC", L"reference", WS_POPUP | WS_VISIBLE, frame.left, frame.top,
                                frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    HWND compose = CopyControl(GetDlgItem(dialog, chatdesk::kComposeId), host, dialog);
    HWND display = CopyControl(window->Display(), host, dialog);
    CHARFORMATA format = window->DisplayFormat();
    SendMessageA(display, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
    ShowWindow(dialog, SW_HIDE);
    testkit::PumpPending();
    for (int i = 0; i < count && compose && display; ++i) {
        SetWindowTextW(compose, (L"bench " + std::to_wstring(i)).c_str());
        testkit::PumpPending();
        double start = testkit::NowMs();
        if (!peer.Send()) break;
        wchar_t text[801] = {};
        GetWindowTextW(compose, text, 801);
        SetWindowTextW(compose, L"");
        SendMessageW(display, WM_SETREDRAW, FALSE, 0);
        AppendPlain(display, Header(), window->DisplayFormat());
        AppendPlain(display, vantor::WideToAnsi(text) + "\r\n", window->OwnFormat());
        SendMessageW(display, WM_SETREDRAW, TRUE, 0);
        SendMessageW(display, EM_SCROLLCARET, 0, 0);
        InvalidateRect(display, nullptr, TRUE);
        testkit::PumpPending();
        if (!peer.Receive()) break;
        times.push_back(testkit::NowMs() - start);
    }
    DestroyWindow(host);
    ShowWindow(dialog, SW_SHOW);
    testkit::PumpPending();
    return times;
}

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

//--- A large record file

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

// Each run begins without records of the conversation, unless it wrote them itself.
bool OpenChat(WindowClient& client, bool direct, ChatDialog** window, bool keepRecords = false) {
    if (!keepRecords) DeleteFileW(RecordFile().c_str());
    ResetFake();
    if (!StartScriptedPeer(kFriendId)) return false;
    if (direct) {
        std::string port = Fake().Control(std::string("peer/listen?id=") + kFriendId + "&address=" + kPeerAddress +
                                          "&port=" + std::to_string(kClientPort));
        if (port != std::to_string(kClientPort)) return false;
    }
    *window = client.Open(Contacts().friendEntry, kFriendId);
    if (!*window || (client->DirectLinkOf(*window).get() != nullptr) != direct) return false;
    PumpFor(1000);
    return true;
}

int RunInFolder() {
    if (!Fake().loaded || !Contacts().friendEntry) {
        std::printf("no fake IM server or no contact book\n");
        return 1;
    }
    WindowClient client;
    if (!client.WaitForLogin()) {
        std::printf("no login to the IM server\n");
        return 1;
    }
    ChatDialog* window = nullptr;
    if (!OpenChat(client, false, &window)) {
        std::printf("no relayed chat window\n");
        return 1;
    }
    std::vector<double> relayedCommand, directCommand;
    Spread relayed = SpreadOf(TimeTexts(window, kTexts, &relayedCommand));
    CloseChat(window);

    if (!OpenChat(client, true, &window)) {
        std::printf("no direct link to the peer\n");
        return 1;
    }
    Spread direct = SpreadOf(TimeTexts(window, kTexts, &directCommand));
    Spread reference = SpreadOf(SameWorkReference(window, kTexts));
    Spread sockets = SpreadOf(PlainSockets(kTexts));
    Parts parts = TimeParts(client, window);
    CloseChat(window);

    // With a large record file: 10,000 texts (past the size at which the next text moves
    // the file aside), then 5,000 (the most the file holds before that).
    std::vector<double> large, full;
    if (WriteRecordFile(10000) && OpenChat(client, true, &window, true)) {
        large = TimeTexts(window, 100, nullptr);
        CloseChat(window);
    }
    if (WriteRecordFile(5000) && OpenChat(client, true, &window, true)) {
        full = TimeTexts(window, 30, nullptr);
        CloseChat(window);
    }
    Fake().Control(std::string("peer/stop?id=") + kFriendId);

    if (relayed.count < kTexts || direct.count < kTexts || reference.count < kTexts) {
        std::printf("texts went unanswered: relayed %zu, direct %zu, reference %zu of %d\n", relayed.count,
                    direct.count, reference.count, kTexts);
        return 1;
    }
    std::printf("chat texts, each sent after the last one's receipt (ms)   median      p99   (texts)\n");
    PrintRow("relayed, send command to receipt", relayed);
    PrintRow("direct, send command to receipt", direct);
    PrintRow("same-work reference (RichEdit + sockets)", reference);
    PrintRow("the same bytes over plain sockets alone", sockets);
    std::printf("user-interface thread, per text\n");
    PrintRow("send command, relayed", SpreadOf(relayedCommand));
    PrintRow("send command, direct", SpreadOf(directCommand));
    PrintRow("  own account record read", SpreadOf(parts.ownRecord));
    PrintRow("  compose box emptied", SpreadOf(parts.emptyCompose));
    PrintRow("  header and text appended", SpreadOf(parts.appends));
    std::printf("record file present, direct\n");
    if (!large.empty()) {
        std::printf("  %-44s %8.3f (first text moves the file aside)\n", "10,000 texts (9.9 MB), first text",
                    large.front());
        PrintRow("10,000 texts, later texts", SpreadOf(std::vector<double>(large.begin() + 1, large.end())));
    }
    PrintRow("5,000 texts (5.0 MB, before it is moved aside)", SpreadOf(full));
    double d = direct.median / reference.median, e = relayed.median / reference.median;
    std::printf("ratios of the medians to the same-work reference: direct %.2f, relayed %.2f (goal at most %.2f)\n", d,
                e, kGoal);
    std::printf("ratios to the plain sockets alone: direct %.1f, relayed %.1f\n", direct.median / sockets.median,
                relayed.median / sockets.median);
    std::printf("chat bench: direct %.2f, relayed %.2f of the same-work reference\n", d, e);
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
