// Chat record files: the record layout of both text forms, prepending, the roll-over at
// its limit, a failed move, the viewer's reading of damaged files, two threads appending
// to one file at once, and a process killed while it adds a record.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <thread>

#include "ChatRecord.h"
#include "ImMessages.h"
#include "RecordStore.h"
#include "TestSupport.h"

using namespace chatdesk;

namespace {

// Files in memory; moves can be made to fail.
class FakeFiles : public RecordFiles {
public:
    std::map<std::wstring, std::string> files;
    bool failMoves = false;
    int writes = 0;

    bool ReadAll(const std::wstring& path, std::string* content, bool* exists) override {
        auto found = files.find(path);
        *exists = found != files.end();
        *content = *exists ? found->second : std::string();
        return true;
    }
    int64_t Size(const std::wstring& path) override {
        auto found = files.find(path);
        return found == files.end() ? -1 : static_cast<int64_t>(found->second.size());
    }
    bool WriteAll(const std::wstring& path, const std::string& content) override {
        ++writes;
        files[path] = content;
        return true;
    }
    bool Move(const std::wstring& from, const std::wstring& to) override {
        if (failMoves || !files.count(from) || files.count(to)) return false;
        files[to] = files[from];
        files.erase(from);
        return true;
    }
};

ImBytes Text(const std::string& words, bool formatted, const char* sender = "20002") {
    ChatText text;
    text.stamp = "20261209101112345000";
    text.senderId = sender;
    text.receiverId = "10001";
    text.formatted = formatted;
    text.format.face = "宋体";
    text.format.heightTwips = 180;
    text.text = words;
    text.status = "1*";
    return BuildChatText(text);
}

ChatRecordBytes Record(const std::string& words, bool formatted = false, const char* sender = "20002") {
    ImBytes bytes = Text(words, formatted, sender);
    ChatRecordBytes record;
    EXPECT_TRUE(BuildChatRecord(bytes.data(), bytes.size(), formatted, &record));
    return record;
}

std::string AsText(const ChatRecordBytes& r) { return std::string(reinterpret_cast<const char*>(r.data()), r.size()); }

const std::wstring kPath = L"C:\\prog\\10001\\Chat20002.rec";
const std::wstring kRolled = L"C:\\prog\\10001\\Chat20002_20261209101112.his";

}  // namespace

TEST(ChatRecord, BothFormsKeepTheFormattedLayout) {
    ImBytes plain = Text("hello^>there", false);
    ChatRecordBytes r;
    ASSERT_TRUE(BuildChatRecord(plain.data(), plain.size(), false, &r));
    EXPECT_EQ(0, memcmp(r.data(), plain.data(), 144));
    EXPECT_EQ('0', r[144]);
    for (size_t i = 145; i < 187; ++i) ASSERT_EQ(0, r[i]) << i;
    EXPECT_EQ(0, memcmp(r.data() + 187, plain.data() + 145, 4));
    EXPECT_EQ(14, ReadLengthDigits(r.data() + 187));
    EXPECT_EQ("hello^>there", std::string(reinterpret_cast<const char*>(r.data()) + 191));
    EXPECT_EQ('\r', r[991]);
    EXPECT_EQ('\n', r[992]);

    ImBytes formatted = Text("格式", true);
    ASSERT_TRUE(BuildChatRecord(formatted.data(), formatted.size(), true, &r));
    EXPECT_EQ(0, memcmp(r.data(), formatted.data(), 191));
    ChatRecordView view = ReadChatRecord(r.data());
    EXPECT_EQ("格式", view.text) << "the status pair is not kept";
    EXPECT_EQ("20002", view.senderId);
    EXPECT_EQ(2026, view.when.year);
    EXPECT_EQ(12, view.when.second);

    // 800 bytes fill the text room to the CR LF.
    ImBytes full = Text(std::string(800, 'x'), false);
    ASSERT_TRUE(BuildChatRecord(full.data(), full.size(), false, &r));
    for (size_t i = 191; i < 991; ++i) ASSERT_EQ('x', r[i]) << i;
    // A message shorter than its length claims gives only what it holds.
    ImBytes cut(full.begin(), full.begin() + 200);
    ASSERT_TRUE(BuildChatRecord(cut.data(), cut.size(), false, &r));
    EXPECT_EQ(51u, strnlen(reinterpret_cast<const char*>(r.data()) + 191, 800));
    EXPECT_FALSE(BuildChatRecord(cut.data(), 100, false, &r));
}

TEST(ChatRecord, DamagedLengthsShowAtMostTheTextRoom) {
    ChatRecordBytes r = Record("abc");
    for (const char* digits : {"9999", "0001", "ab12", "0000"}) {
        memcpy(r.data() + 187, digits, 4);
        ChatRecordView view = ReadChatRecord(r.data());
        EXPECT_EQ("abc", view.text) << digits;
    }
    memset(r.data() + 191, 'y', 800);
    memcpy(r.data() + 187, "9999", 4);
    EXPECT_EQ(800u, ReadChatRecord(r.data()).text.size());
    memcpy(r.data() + 187, "802\0", 4);
    EXPECT_EQ(800u, ReadChatRecord(r.data()).text.size());
}

TEST(RecordStore, PrependsAndRollsOverAtItsLimit) {
    FakeFiles files;
    RecordStore store(files);
    ASSERT_TRUE(store.Append(kPath, kRolled, Record("first")));
    ASSERT_EQ(993u, files.files[kPath].size()) << "a new peer's file holds one record";
    ASSERT_TRUE(store.Append(kPath, kRolled, Record("second")));
    auto listed = store.List(kPath);
    ASSERT_EQ(2u, listed.size());
    EXPECT_EQ("second", ReadChatRecord(listed[0].data()).text) << "newest first";
    EXPECT_EQ("first", ReadChatRecord(listed[1].data()).text);

    // Exactly 5,000,000 bytes: still prepended to.
    files.files[kPath] = std::string(5000000, 'h');
    ASSERT_TRUE(store.Append(kPath, kRolled, Record("third")));
    EXPECT_EQ(5000993u, files.files[kPath].size());
    EXPECT_FALSE(files.files.count(kRolled));
    EXPECT_EQ(std::string(5000000, 'h'), files.files[kPath].substr(993));

    // One byte more: moved to its dated name, a new file begun.
    files.files[kPath] = std::string(5000001, 'h');
    ASSERT_TRUE(store.Append(kPath, kRolled, Record("fourth")));
    EXPECT_EQ(993u, files.files[kPath].size());
    EXPECT_EQ(5000001u, files.files[kRolled].size());
    EXPECT_EQ("fourth", ReadChatRecord(store.List(kPath)[0].data()).text);
}

TEST(RecordStore, AFailedMoveKeepsTheHistory) {
    FakeFiles files;
    RecordStore store(files);
    std::string history = AsText(Record("old")) + std::string(5000001 - 993, 'h');
    files.files[kPath] = history;
    files.failMoves = true;
    ASSERT_TRUE(store.Append(kPath, kRolled, Record("new")));
    EXPECT_EQ(history.size() + 993, files.files[kPath].size());
    EXPECT_EQ(history, files.files[kPath].substr(993));
    EXPECT_EQ("new", ReadChatRecord(store.List(kPath)[0].data()).text);
    EXPECT_EQ("old", ReadChatRecord(store.List(kPath)[1].data()).text);
}

TEST(RecordStore, ShortBlocksAndMissingFilesList) {
    FakeFiles files;
    RecordStore store(files);
    EXPECT_TRUE(store.List(kPath).empty());
    files.files[kPath] = AsText(Record("a")) + AsText(Record("b")) + std::string(500, 'z');
    EXPECT_EQ(2u, store.List(kPath).size());
}

TEST(RecordStore, TwoThreadsAppendingKeepEveryRecord) {
    std::wstring dir = testkit::FreshDir(L"records");
    std::wstring path = dir + L"Chat20002.rec";
    RecordStore store(SystemRecordFiles());
    const int kEach = 60;
    auto writer = [&](const char* sender) {
        for (int i = 0; i < kEach; ++i) store.Append(path, path + L".his", Record(std::to_string(i), false, sender));
    };
    std::thread mine(writer, "10001"), theirs(writer, "20002");
    // A reader meanwhile never keeps an append out.
    for (int i = 0; i < 20; ++i) store.List(path);
    mine.join();
    theirs.join();
    auto listed = store.List(path);
    ASSERT_EQ(static_cast<size_t>(2 * kEach), listed.size());
    EXPECT_EQ(2u * kEach * 993, testkit::ReadFileBytes(path).size());
    int own = 0;
    for (auto& r : listed) own += ReadChatRecord(r.data()).senderId == "10001";
    EXPECT_EQ(kEach, own);
    // A folder that does not exist: nothing written, false.
    EXPECT_FALSE(store.Append(dir + L"missing\\Chat1.rec", dir + L"x.his", Record("lost")));
}

// Child side of the kill test: a watchdog ends this process the moment the record file's
// size changes, while a record is added before its history.
TEST(RecordKill, Child) {
    wchar_t target[1024] = {};
    if (!GetEnvironmentVariableW(L"CHAT_RECORD_KILL_WATCH", target, 1024)) GTEST_SKIP() << "run by the kill test only";
    std::wstring path = target;
    int64_t before = SystemRecordFiles().Size(path);
    std::thread watchdog([path, before] {
        for (;;)
            if (SystemRecordFiles().Size(path) != before) TerminateProcess(GetCurrentProcess(), 77);
    });
    watchdog.detach();
    RecordStore store(SystemRecordFiles());
    store.Append(path, path + L".his", Record("killed"));
    Sleep(2000);  // the size never changed: give the watchdog no chance to miss it
    TerminateProcess(GetCurrentProcess(), 78);
}

TEST(RecordStore, AProcessKilledWhileAddingLeavesTheOldOrTheNewHistory) {
    std::wstring dir = testkit::FreshDir(L"record-kill");
    std::wstring path = dir + L"Chat20002.rec";
    std::string history;
    for (int i = 0; i < 3000; ++i) history += AsText(Record("old " + std::to_string(i)));
    ASSERT_TRUE(testkit::WriteFileBytes(path, history));
    for (int run = 0; run < 4; ++run) {
        DWORD code = testkit::RunProgram(testkit::ThisExePath(), L"--gtest_filter=RecordKill.Child", dir,
                                         {{L"CHAT_RECORD_KILL_WATCH", path}}, 60000);
        EXPECT_EQ(77u, code) << "run " << run << ": the watchdog did not fire";
        std::string now = testkit::ReadFileBytes(path);
        bool added = now.size() == history.size() + kChatRecordSize && now.compare(kChatRecordSize, std::string::npos,
                                                                                  history) == 0;
        ASSERT_TRUE(now == history || added) << "run " << run << ": " << now.size() << " bytes of "
                                             << history.size() << " are neither the old nor the new history";
        history = now;
    }
}
