// The control's states, links, lines and transitions, and the proposed save name, without
// COM or a window.
#include <gtest/gtest.h>

#include <functional>

#include "SaveName.h"
#include "TransferState.h"

using namespace filesend;

namespace {

const std::wstring kStamp = L"2026-12-09 10:11:12";

TransferState Sender() {
    TransferState s;
    s.SetTransFile(L"小王", L"C:\\文档\\报告.doc", L"1.00KB", &kStamp);
    return s;
}

TransferState Receiver() {
    TransferState s;
    s.SetAcceptFile(L"小李", L"D:\\照片\\海边.jpg", L"2.50MB", &kStamp);
    return s;
}

struct Row {
    const char* name;
    std::function<TransferState()> make;
    int state;
    int links;
    std::vector<std::wstring> labels;
    std::wstring message;
};

}  // namespace

// Every state as the host reaches it: its links (clickable count and drawn labels) and line.
TEST(TransferStates, EachStateShowsItsLinksAndLine) {
    std::vector<std::wstring> cancel = {L"取消"};
    std::vector<std::wstring> answer = {L"同意", L"拒绝"};
    std::vector<Row> rows = {
        {"offer sent", Sender, 0, 1, cancel, L"正在等待小王接收"},
        {"sending", [] { auto s = Sender(); s.SetProgress(37.5); return s; }, 1, 1, cancel, L"已经传输 37.50%"},
        {"sender cancelled", [] { auto s = Sender(); s.Cancel(); return s; }, 2, 0, cancel, L"文件传输被取消了"},
        {"offer received", Receiver, 3, 2, answer, L"处理文件传输请求"},
        {"accepted", [] { auto s = Receiver(); s.Accept(); return s; }, 4, 1, cancel, L"准备接受文件"},
        {"rejected", [] { auto s = Receiver(); s.Click(1); return s; }, 5, 0, answer, L"已经取消"},
        {"receiving", [] { auto s = Receiver(); s.Accept(); s.SetProgress(5); return s; }, 6, 1, cancel,
         L"已经传输 5.00%"},
        {"receive cancelled", [] { auto s = Receiver(); s.Accept(); s.Cancel(); return s; }, 7, 0, cancel,
         L"文件传输被取消了"},
        {"peer refused", [] { auto s = Sender(); s.Reject(); return s; }, 7, 0, cancel, L"文件传输被取消了"},
        {"sent", [] { auto s = Sender(); s.SetProgress(100); s.Complete(); return s; }, 8, 0, cancel, L"文件传输完毕"},
        {"received", [] { auto s = Receiver(); s.Accept(); s.SetProgress(100); s.Complete(); return s; }, 9, 0,
         cancel, L"文件已经成功接受"},
        {"failed", [] { auto s = Sender(); s.SetProgress(3); s.Fail(); return s; }, 10, 0, cancel, L"文件传输失败"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TransferState s = row.make();
        EXPECT_EQ(row.state, s.State());
        EXPECT_EQ(row.links, s.LinkCount());
        EXPECT_EQ(row.labels, s.LinkLabels());
        EXPECT_EQ(row.message, s.Message());
        EXPECT_EQ(row.state == 1 || row.state == 6, s.ShowsProgressBar());
        EXPECT_EQ(row.state == 1 || row.state == 6, s.IsInTransfering());
        EXPECT_EQ(row.state == 0, s.IsSendWaiting());
        EXPECT_EQ(row.state == 0 || row.state == 3 || row.state == 4, s.IsRequestWaiting());
        bool named = row.state == 0 || row.state == 1 || row.state == 3 || row.state == 4 || row.state == 6;
        EXPECT_EQ(named, !s.TransmitFileName().empty());
    }
}

TEST(TransferStates, CallsThatDoNotFitTheStateChangeNothing) {
    TransferState sent = Sender();
    sent.SetProgress(100);
    sent.Complete();
    EXPECT_FALSE(sent.Cancel());
    EXPECT_FALSE(sent.Reject());
    EXPECT_FALSE(sent.Fail());
    EXPECT_FALSE(sent.SetProgress(50));
    EXPECT_FALSE(sent.Complete());
    EXPECT_EQ(kSent, sent.State());

    // Progress in an open offer is kept but does not start the transfer.
    TransferState offer = Receiver();
    EXPECT_FALSE(offer.SetProgress(12.5));
    EXPECT_EQ(kOfferReceived, offer.State());
    EXPECT_EQ(2, offer.LinkCount());
    EXPECT_DOUBLE_EQ(12.5, offer.Progress());
    EXPECT_FALSE(offer.Reject());  // only the sender's offer can be refused by the peer
    EXPECT_FALSE(offer.Complete());
    EXPECT_FALSE(offer.Fail());
    EXPECT_EQ(kOfferReceived, offer.State());

    // A receive that has not started yet cannot complete.
    TransferState accepted = Receiver();
    accepted.Accept();
    EXPECT_FALSE(accepted.Complete());
    EXPECT_EQ(kAccepted, accepted.State());

    TransferState before;  // nothing set: waits, but shows no file and offers no link
    EXPECT_FALSE(before.HasFile());
    EXPECT_EQ(0, before.LinkCount());
}

TEST(TransferStates, TheFirstCallFixesTheSide) {
    const std::wstring other = L"20261210101010000001";
    TransferState sending = Sender();
    sending.SetProgress(10);
    sending.SetAcceptFile(L"x", L"C:\\other.txt", L"1B", &other);
    EXPECT_EQ(kSending, sending.State());
    EXPECT_EQ(L"C:\\文档\\报告.doc", sending.File());
    EXPECT_FALSE(sending.IsTransmitFile(other.c_str()));
    TransferState offer = Receiver();
    offer.SetTransFile(L"x", L"C:\\other.txt", L"1B", &other);
    EXPECT_EQ(kOfferReceived, offer.State());
    EXPECT_EQ(2, offer.LinkCount());
    EXPECT_EQ(L"D:\\照片\\海边.jpg", offer.File());
}

TEST(TransferStates, CancelCallsEndBothSides) {
    for (int progressFirst = 0; progressFirst < 2; ++progressFirst) {
        TransferState s = Sender();
        if (progressFirst) s.SetProgress(1);
        EXPECT_TRUE(s.Cancel());
        EXPECT_EQ(kSendCancelled, s.State());
    }
    TransferState offer = Receiver();
    EXPECT_TRUE(offer.Cancel());
    EXPECT_EQ(kCancelled, offer.State());
    TransferState receiving = Receiver();
    receiving.Accept();
    receiving.SetProgress(40);
    EXPECT_TRUE(receiving.Cancel());
    EXPECT_EQ(kCancelled, receiving.State());
    EXPECT_EQ(0, receiving.LinkCount());
}

TEST(TransferStates, ClicksGiveTheirEvents) {
    TransferState s = Sender();
    EXPECT_EQ(kNoEvent, s.Click(1).event);  // there is only one link
    EXPECT_EQ(kNoEvent, s.Click(-1).event);
    EXPECT_EQ(kSendCanceledEvent, s.Click(0).event);
    EXPECT_EQ(kSendCancelled, s.State());
    EXPECT_EQ(kNoEvent, s.Click(0).event);  // end states take no clicks

    TransferState sending = Sender();
    sending.SetProgress(20);
    EXPECT_EQ(kSendCanceledEvent, sending.Click(0).event);

    TransferState offer = Receiver();
    ClickOutcome agree = offer.Click(0);
    EXPECT_TRUE(agree.askSavePath);
    EXPECT_EQ(kNoEvent, agree.event);
    EXPECT_EQ(kOfferReceived, offer.State());  // the dialog decides
    EXPECT_TRUE(offer.Accept());
    EXPECT_EQ(kAccepted, offer.State());
    EXPECT_FALSE(offer.Accept());
    EXPECT_EQ(kRecvCanceledEvent, offer.Click(0).event);
    EXPECT_EQ(kCancelled, offer.State());

    // The host cancelled while the save dialog was open: the confirmed path comes too late.
    TransferState raced = Receiver();
    EXPECT_TRUE(raced.Click(0).askSavePath);
    raced.Cancel();
    EXPECT_FALSE(raced.Accept());
    EXPECT_EQ(kCancelled, raced.State());

    TransferState refused = Receiver();
    EXPECT_EQ(kRecvRejectEvent, refused.Click(1).event);
    EXPECT_EQ(kRejected, refused.State());

    TransferState receiving = Receiver();
    receiving.Accept();
    receiving.SetProgress(60);
    EXPECT_EQ(kRecvCanceledEvent, receiving.Click(0).event);
}

TEST(TransferStates, TheTransferIsFoundByItsDateTimeOnly) {
    TransferState s = Sender();
    EXPECT_TRUE(s.IsTransmitFile(kStamp.c_str()));
    EXPECT_FALSE(s.IsTransmitFile(L"C:\\文档\\报告.doc"));
    EXPECT_FALSE(s.IsTransmitFile(nullptr));
    EXPECT_FALSE(s.IsTransmitFile(L"2026-12-09 10:11:1"));

    // A later call without a date-time keeps the stored one.
    s.SetTransFile(L"小王", L"C:\\b.txt", L"3B", nullptr);
    EXPECT_TRUE(s.IsTransmitFile(kStamp.c_str()));
    EXPECT_EQ(L"C:\\b.txt", s.TransmitFileName());

    s.SetProgress(100);
    s.Complete();
    EXPECT_EQ(L"", s.TransmitFileName());
    EXPECT_TRUE(s.IsTransmitFile(kStamp.c_str()));
}

TEST(SaveNames, PeerPathsBecomePlainNames) {
    EXPECT_EQ(L"x.txt", ProposedSaveName(L"a/../../x.txt"));
    EXPECT_EQ(L"evil.exe", ProposedSaveName(L"..\\..\\evil.exe"));
    EXPECT_EQ(L"stream", ProposedSaveName(L"x:stream"));
    EXPECT_EQ(L"报告.doc", ProposedSaveName(L"C:\\文档\\报告.doc"));
    EXPECT_EQ(L"a_b_c_d_.txt", ProposedSaveName(L"a?b*c\"d|.txt"));
    EXPECT_EQ(L"tab_name", ProposedSaveName(L"tab\tname"));
    EXPECT_EQ(L"name", ProposedSaveName(L"name. . "));

    // Nothing usable is left: a neutral name.
    for (const wchar_t* empty : {L"", L".", L"..", L"dir\\", L"a/..", L" . "})
        EXPECT_EQ(L"接收的文件", ProposedSaveName(empty)) << empty;

    // Device names stay files.
    EXPECT_EQ(L"_CON", ProposedSaveName(L"CON"));
    EXPECT_EQ(L"_con.txt", ProposedSaveName(L"x\\con.txt"));
    EXPECT_EQ(L"_LPT1", ProposedSaveName(L"LPT1"));
    EXPECT_EQ(L"COM10", ProposedSaveName(L"COM10"));
    EXPECT_EQ(L"_COM0", ProposedSaveName(L"COM0"));
    EXPECT_EQ(L"_clock$.txt", ProposedSaveName(L"clock$.txt"));
    EXPECT_EQ(L"CONSOLE.txt", ProposedSaveName(L"CONSOLE.txt"));
    for (const wchar_t* device : {L"CONIN$", L"conout$.txt", L"COM\u00B9", L"com\u00B2.log", L"LPT\u00B3", L"lpt\u00B9.txt"})
        EXPECT_EQ(std::wstring(L"_") + device, ProposedSaveName(device)) << device;
}

TEST(SaveNames, DirectionControlsNeverReorderTheShownName) {
    // "\u202Etxt.exe" would show as "exe.txt" while it is an .exe.
    EXPECT_EQ(L"_txt.exe", ProposedSaveName(L"\u202Etxt.exe"));
    EXPECT_EQ(L".exe", ExtensionOf(ProposedSaveName(L"\u202Etxt.exe")));
    EXPECT_EQ(L"a_b_c_d_e_f_.exe", ProposedSaveName(L"a\u200Eb\u200Fc\u202Ad\u202De\u2066f\u2069.exe"));
    EXPECT_EQ(L"_gpj.exe", DisplayName(L"C:\\x\\\u202Egpj.exe"));
    EXPECT_EQ(L"\u2065\u2070ok", ProposedSaveName(L"\u2065\u2070ok")) << "only the controls go";
}

TEST(SaveNames, ExtensionAndFilterComeFromTheName) {
    EXPECT_EQ(L".txt", ExtensionOf(ProposedSaveName(L"a/../../x.txt")));
    EXPECT_EQ(L".gz", ExtensionOf(L"data.tar.gz"));
    EXPECT_EQ(L"", ExtensionOf(L"README"));
    EXPECT_EQ(L".txt文件|*.txt||", SaveFilter(L".txt"));
    std::wstring dialog = DialogFilter(SaveFilter(L".txt"));
    EXPECT_EQ(std::wstring(L".txt文件\0*.txt\0\0", 14), dialog);
    EXPECT_EQ(L"报告.doc", DisplayName(L"C:\\文档\\报告.doc"));
    EXPECT_EQ(L"plain", DisplayName(L"plain"));
}
