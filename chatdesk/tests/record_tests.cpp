// Chat record files: the record layout of both text forms, prepending, the roll-over at
// its limit record by record, a failed move, files held by other programs in every
// sharing mode, read-only and hidden files, a kill at any step, two threads adding at
// once, the writer thread of a window, and processes killed after adding or while writing.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <thread>

#include "ChatRecord.h"
#include "ImMessages.h"
#include "RecordStore.h"
#include "RecordWriter.h"
#include "Text.h"
#include "TestSupport.h"

using namespace chatdesk;

namespace {

// A process killed in the middle of a change of the fake files.
struct Killed {};

// Files in memory. A path can be held open by another program (sharing reads only, or
// reads and writes), moves can be made to fail, and the process can be killed at the
// n-th change: a write cut short leaves the first half of what it was writing.
class FakeFiles : public RecordFiles {
public:
    std::map<std::wstring, std::string> files;
    std::map<std::wstring, bool> held;  // path -> the holder shares writes
    bool failMoves = false;
    int killAt = -1;
    int changes = 0;

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
    bool WriteNew(const std::wstring& path, const std::string& content) override {
        Change([&] { files[path] = content.substr(0, content.size() / 2); });
        files[path] = content;
        return true;
    }
    bool Replace(const std::wstring& from, const std::wstring& to) override {
        if (held.count(to) || !files.count(from)) return false;
        Change([] {});
        files[to] = files[from];
        files.erase(from);
        return true;
    }
    bool Overwrite(const std::wstring& path, const std::string& content) override {
        auto holder = held.find(path);
        if ((holder != held.end() && !holder->second) || !files.count(path)) return false;
        std::string& file = files[path];
        Change([&] {
            std::string torn = content.substr(0, content.size() / 2);
            file = torn + (file.size() > torn.size() ? file.substr(torn.size()) : std::string());
        });
        file = content;
        return true;
    }
    bool AppendBlock(const std::wstring& path, const uint8_t* block, size_t size) override {
        std::string& file = files[path];
        file.resize(file.size() / size * size);
        Change([&] { file.append(reinterpret_cast<const char*>(block), size / 2); });
        file.append(reinterpret_cast<const char*>(block), size);
        return true;
    }
    bool Move(const std::wstring& from, const std::wstring& to) override {
        if (failMoves || held.count(from) || !files.count(from) || files.count(to)) return false;
        Change([] {});
        files[to] = files[from];
        files.erase(from);
        return true;
    }
    bool Remove(const std::wstring& path) override {
        if (held.count(path)) return false;
        Change([] {});
        files.erase(path);
        return true;
    }
    void Pause(unsigned) override {}

private:
    template <typename CutShort>
    void Change(CutShort cutShort) {
        if (changes++ != killAt) return;
        cutShort();
        throw Killed();
    }
};

// The moment of the roll-overs: 2026-12-09 10:11:12.
ImDateTime RollOverTime() {
    ImDateTime when;
    ReadImStamp("20261209101112000000", &when);
    return when;
}

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

namespace {

// The texts of a file's records, newest first.
std::vector<std::string> TextsOf(const std::string& content) {
    std::vector<std::string> texts;
    for (size_t at = 0; at + kChatRecordSize <= content.size(); at += kChatRecordSize)
        texts.push_back(ReadChatRecord(reinterpret_cast<const uint8_t*>(content.data()) + at).text);
    return texts;
}

std::vector<std::string> TextsOf(const std::vector<ChatRecordBytes>& records) {
    std::vector<std::string> texts;
    for (const ChatRecordBytes& r : records) texts.push_back(ReadChatRecord(r.data()).text);
    return texts;
}

std::string History(int records, const std::string& prefix = "old ") {
    std::string history;
    for (int i = records - 1; i >= 0; --i) history += AsText(Record(prefix + std::to_string(i)));
    return history;
}

using Texts = std::vector<std::string>;

}  // namespace

TEST(RecordStore, PrependsAndRollsOverRecordByRecord) {
    FakeFiles files;
    RecordStore store(files, RollOverTime);
    ASSERT_TRUE(store.Add(kPath, Record("first")));
    EXPECT_FALSE(files.files.count(kPath)) << "kept among the pending records until folded";
    ASSERT_TRUE(store.Fold(kPath));
    ASSERT_EQ(993u, files.files[kPath].size()) << "a new peer's file holds one record";
    EXPECT_FALSE(files.files.count(PendingRecordsPath(kPath)));
    ASSERT_TRUE(store.Add(kPath, Record("second")));
    EXPECT_EQ((Texts{"second", "first"}), TextsOf(store.List(kPath))) << "newest first";

    // Exactly 5,000,000 bytes: still prepended to.
    files.files[kPath] = std::string(5000000, 'h');
    ASSERT_TRUE(store.Add(kPath, Record("third")));
    ASSERT_TRUE(store.Fold(kPath));
    EXPECT_EQ(5000993u, files.files[kPath].size());
    EXPECT_FALSE(files.files.count(kRolled));
    EXPECT_EQ(std::string(5000000, 'h'), files.files[kPath].substr(993));

    // One byte more: moved to its dated name, a new file begun.
    files.files[kPath] = std::string(5000001, 'h');
    ASSERT_TRUE(store.Add(kPath, Record("fourth")));
    ASSERT_TRUE(store.Fold(kPath));
    EXPECT_EQ(993u, files.files[kPath].size());
    EXPECT_EQ(5000001u, files.files[kRolled].size());
    EXPECT_EQ("fourth", ReadChatRecord(store.List(kPath)[0].data()).text);

    // Three pending at once go in as three adds would: the second finds the file past its
    // limit, so it and the third begin the next file.
    files.files.erase(kRolled);
    files.files[kPath] = std::string(4999500, 'h');
    for (const char* text : {"a", "b", "c"}) ASSERT_TRUE(store.Add(kPath, Record(text)));
    ASSERT_TRUE(store.Fold(kPath));
    EXPECT_EQ((Texts{"c", "b"}), TextsOf(files.files[kPath]));
    EXPECT_EQ(4999500u + 993, files.files[kRolled].size());
    EXPECT_EQ("a", TextsOf(files.files[kRolled].substr(0, 993))[0]);
}

TEST(RecordStore, AFailedMoveKeepsTheHistory) {
    FakeFiles files;
    RecordStore store(files, RollOverTime);
    std::string history = AsText(Record("old")) + std::string(5000001 - 993, 'h');
    files.files[kPath] = history;
    files.failMoves = true;
    ASSERT_TRUE(store.Add(kPath, Record("new")));
    ASSERT_TRUE(store.Add(kPath, Record("newer")));
    ASSERT_TRUE(store.Fold(kPath));
    EXPECT_EQ(history.size() + 2 * 993, files.files[kPath].size());
    EXPECT_EQ(history, files.files[kPath].substr(2 * 993));
    EXPECT_EQ((Texts{"newer", "new", "old"}), TextsOf(files.files[kPath].substr(0, 3 * 993)));
}

TEST(RecordStore, AHeldFileKeepsItsTextsPendingAndShownUntilItCanBeWritten) {
    FakeFiles files;
    RecordStore store(files, RollOverTime);
    files.files[kPath] = History(2);
    files.held[kPath] = false;  // a reader that shares reading only
    ASSERT_TRUE(store.Add(kPath, Record("new")));
    EXPECT_FALSE(store.Fold(kPath));
    EXPECT_EQ(History(2), files.files[kPath]);
    EXPECT_EQ((Texts{"new", "old 1", "old 0"}), TextsOf(store.List(kPath))) << "the viewer shows it all the same";
    ASSERT_TRUE(store.Add(kPath, Record("newer")));
    files.held.erase(kPath);
    ASSERT_TRUE(store.Fold(kPath));
    EXPECT_EQ((Texts{"newer", "new", "old 1", "old 0"}), TextsOf(files.files[kPath]));
    EXPECT_EQ(1u, files.files.size()) << "no pending records, copy or temporary left";

    // A reader that shares writes: written in place at once.
    files.held[kPath] = true;
    ASSERT_TRUE(store.Add(kPath, Record("newest")));
    ASSERT_TRUE(store.Fold(kPath));
    EXPECT_EQ((Texts{"newest", "newer", "new", "old 1", "old 0"}), TextsOf(files.files[kPath]));
    EXPECT_EQ(1u, files.files.size());
}

TEST(RecordStore, RecordsPutFirstWhileThePendingOnesAreHeldKeepTheirOrderAndAreWrittenOnce) {
    FakeFiles files;
    RecordStore store(files, RollOverTime);
    files.files[kPath] = History(1);
    files.held[PendingRecordsPath(kPath)] = false;  // written into the file, never dropped
    for (const char* text : {"t0", "t1"}) ASSERT_TRUE(store.Add(kPath, Record(text)));
    EXPECT_FALSE(store.Fold(kPath));
    ASSERT_TRUE(store.PutFirst(kPath, {Record("u2")}));
    ASSERT_TRUE(store.Add(kPath, Record("t3")));
    EXPECT_FALSE(store.Fold(kPath));
    ASSERT_TRUE(store.PutFirst(kPath, {Record("u4"), Record("u5")}));
    const Texts all = {"u5", "u4", "t3", "u2", "t1", "t0", "old 0"};
    EXPECT_EQ(all, TextsOf(store.List(kPath)));
    EXPECT_EQ(all, TextsOf(files.files[kPath]));
    files.held.clear();
    ASSERT_TRUE(store.Fold(kPath));
    EXPECT_EQ(all, TextsOf(files.files[kPath]));
    EXPECT_EQ(1u, files.files.size());
}

TEST(RecordStore, AKillAtAnyStepLosesNoAddedTextAndDoublesNone) {
    struct Case {
        const char* name;
        std::string history;
        bool heldSharingWrites;
    };
    std::string full = AsText(Record("old")) + std::string(5000001 - 993, 'h');
    for (const Case& c : {Case{"replaced", History(3), false}, Case{"written in place", History(3), true},
                          Case{"rolled over", full, false}}) {
        for (int killAt = 0;; ++killAt) {
            FakeFiles files;
            files.files[kPath] = c.history;
            if (c.heldSharingWrites) files.held[kPath] = true;
            files.killAt = killAt;
            std::vector<std::string> added;
            bool killed = false;
            try {
                RecordStore store(files, RollOverTime);
                for (const char* text : {"one", "two"}) {
                    store.Add(kPath, Record(text));
                    added.insert(added.begin(), text);
                }
                store.Fold(kPath);
            } catch (const Killed&) {
                killed = true;
            }
            // The next run.
            files.killAt = -1;
            RecordStore store(files, RollOverTime);
            ASSERT_TRUE(store.Fold(kPath)) << c.name << ", killed at change " << killAt;
            std::string now = files.files[kPath];
            bool rolled = files.files.count(kRolled) != 0;
            std::string old = rolled ? files.files[kRolled] : c.history;
            if (rolled) EXPECT_EQ(c.history, old) << c.name << ", killed at change " << killAt;
            ASSERT_EQ(added.size() * 993 + (rolled ? 0 : c.history.size()), now.size())
                << c.name << ", killed at change " << killAt;
            EXPECT_EQ(added, TextsOf(now.substr(0, added.size() * 993))) << c.name << ", killed at change " << killAt;
            if (!rolled) EXPECT_EQ(c.history, now.substr(added.size() * 993)) << c.name;
            EXPECT_EQ(rolled ? 2u : 1u, files.files.size()) << c.name << ", killed at change " << killAt;
            if (!killed) break;
        }
    }
}

TEST(RecordStore, ShortBlocksAndMissingFilesList) {
    FakeFiles files;
    RecordStore store(files, RollOverTime);
    EXPECT_TRUE(store.List(kPath).empty());
    files.files[kPath] = AsText(Record("a")) + AsText(Record("b")) + std::string(500, 'z');
    EXPECT_EQ(2u, store.List(kPath).size());
}

TEST(RecordStore, TwoThreadsAddingKeepEveryRecordInOrder) {
    std::wstring dir = testkit::FreshDir(L"records");
    std::wstring path = dir + L"Chat20002.rec";
    RecordStore store(SystemRecordFiles(), RollOverTime);
    const int kEach = 60;
    auto writer = [&](const char* sender) {
        for (int i = 0; i < kEach; ++i) {
            EXPECT_TRUE(store.Add(path, Record(std::to_string(i), false, sender)));
            if (i % 10 == 9) store.Fold(path);
        }
    };
    std::thread mine(writer, "10001"), theirs(writer, "20002");
    // A reader meanwhile never keeps an add out.
    for (int i = 0; i < 20; ++i) store.List(path);
    mine.join();
    theirs.join();
    ASSERT_TRUE(store.Fold(path));
    EXPECT_EQ(2u * kEach * 993, testkit::ReadFileBytes(path).size());
    std::map<std::string, int> next = {{"10001", kEach - 1}, {"20002", kEach - 1}};
    for (const ChatRecordBytes& r : store.List(path)) {
        ChatRecordView view = ReadChatRecord(r.data());
        EXPECT_EQ(std::to_string(next[view.senderId]--), view.text) << view.senderId;
    }
    // A folder that does not exist: nothing kept, false.
    EXPECT_FALSE(store.Add(dir + L"missing\\Chat1.rec", Record("lost")));
}

TEST(RecordStore, ReadersHoldingTheFileInAnySharingModeLoseNoText) {
    struct Reader {
        const char* name;
        DWORD share;
    };
    for (const Reader& reader : {Reader{"exclusive", 0}, Reader{"read", FILE_SHARE_READ},
                                 Reader{"read+write", FILE_SHARE_READ | FILE_SHARE_WRITE},
                                 Reader{"read+delete", FILE_SHARE_READ | FILE_SHARE_DELETE},
                                 Reader{"read+write+delete", FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE}}) {
        std::wstring path = testkit::FreshDir(L"record-readers") + L"Chat20002.rec";
        ASSERT_TRUE(testkit::WriteFileBytes(path, History(2)));
        HANDLE held = CreateFileW(path.c_str(), GENERIC_READ, reader.share, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, held) << reader.name;
        RecordStore store(SystemRecordFiles(), RollOverTime);
        ASSERT_TRUE(store.Add(path, Record("new")));
        // A reader that shares writes gets the text at once; the others keep it pending.
        EXPECT_EQ((reader.share & FILE_SHARE_WRITE) != 0, store.Fold(path)) << reader.name;
        Texts listed = TextsOf(store.List(path));
        EXPECT_EQ("new", listed.empty() ? "" : listed[0]) << reader.name;
        if (reader.share) EXPECT_EQ((Texts{"new", "old 1", "old 0"}), listed) << reader.name;
        CloseHandle(held);
        ASSERT_TRUE(store.Fold(path)) << reader.name;
        EXPECT_EQ(AsText(Record("new")) + History(2), testkit::ReadFileBytes(path)) << reader.name;
        for (const wchar_t* left : {L".pending", L".copy", L".tmp"})
            EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((path + left).c_str())) << reader.name;
    }
}

TEST(RecordStore, AProgramHoldingThePendingRecordsSharingAllKeepsNoFoldBusyAndLosesNoText) {
    // A program that opens every new file sharing everything (an indexer, a backup): a
    // file it holds is not gone when it is deleted, only when the program lets go of it.
    std::wstring path = testkit::FreshDir(L"record-pending-held") + L"Chat20002.rec";
    ASSERT_TRUE(testkit::WriteFileBytes(path, History(2)));
    RecordStore store(SystemRecordFiles(), RollOverTime);
    ASSERT_TRUE(store.Add(path, Record("one")));
    HANDLE held = CreateFileW(PendingRecordsPath(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    auto foldEnds = [&] {
        HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::thread fold([&] {
            store.Fold(path);
            SetEvent(done);
        });
        bool ended = WaitForSingleObject(done, 10000) == WAIT_OBJECT_0;
        // A fold that never ends lets go once the file is.
        if (!ended) CloseHandle(held), held = INVALID_HANDLE_VALUE;
        fold.join();
        CloseHandle(done);
        return ended;
    };
    EXPECT_TRUE(foldEnds()) << "the fold goes round for as long as the file is held";
    ASSERT_TRUE(store.Add(path, Record("two")));
    EXPECT_TRUE(foldEnds());
    EXPECT_EQ((Texts{"two", "one", "old 1", "old 0"}), TextsOf(store.List(path)));
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    ASSERT_TRUE(store.Fold(path));
    EXPECT_EQ((Texts{"two", "one", "old 1", "old 0"}), TextsOf(testkit::ReadFileBytes(path)));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(PendingRecordsPath(path).c_str()));
}

TEST(RecordStore, AReadOnlyHiddenFileTakesTextsAndKeepsItsMarks) {
    std::wstring path = testkit::FreshDir(L"record-marks") + L"Chat20002.rec";
    ASSERT_TRUE(testkit::WriteFileBytes(path, History(1)));
    const DWORD marks = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), marks));
    ASSERT_EQ(marks, GetFileAttributesW(path.c_str()) & marks);
    RecordStore store(SystemRecordFiles(), RollOverTime);
    ASSERT_TRUE(store.Add(path, Record("replaced")));
    ASSERT_TRUE(store.Fold(path));
    EXPECT_EQ(marks, GetFileAttributesW(path.c_str()) & marks);
    // Written in place while a reader that shares writes holds it.
    HANDLE held = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    ASSERT_TRUE(store.Add(path, Record("in place")));
    EXPECT_TRUE(store.Fold(path));
    CloseHandle(held);
    EXPECT_EQ(marks, GetFileAttributesW(path.c_str()) & marks);
    EXPECT_EQ((Texts{"in place", "replaced", "old 0"}), TextsOf(testkit::ReadFileBytes(path)));
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(RecordWriter, ItsThreadWritesEveryRecordInOrderAndEndsWithTheWindow) {
    std::wstring path = testkit::FreshDir(L"record-writer") + L"Chat20002.rec";
    ASSERT_TRUE(testkit::WriteFileBytes(path, History(1)));
    RecordWriter writer{RecordStore(SystemRecordFiles(), RollOverTime)};
    ASSERT_TRUE(writer.Start());
    const int kEach = 40;
    auto adder = [&](const char* sender) {
        for (int i = 0; i < kEach; ++i) writer.Add(path, Record(std::to_string(i), false, sender));
    };
    std::thread mine(adder, "10001"), theirs(adder, "20002");
    mine.join();
    theirs.join();
    writer.Stop();
    std::string content = testkit::ReadFileBytes(path);
    ASSERT_EQ((2 * kEach + 1) * 993u, content.size()) << "everything written when it stops";
    EXPECT_EQ(History(1), content.substr(2 * kEach * 993));
    std::map<std::string, int> next = {{"10001", kEach - 1}, {"20002", kEach - 1}};
    for (size_t at = 0; at < 2u * kEach * 993; at += 993) {
        ChatRecordView view = ReadChatRecord(reinterpret_cast<const uint8_t*>(content.data()) + at);
        EXPECT_EQ(std::to_string(next[view.senderId]--), view.text) << view.senderId;
    }
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(PendingRecordsPath(path).c_str()));
}

TEST(RecordWriter, AFileHeldAtTheCloseKeepsItsTextsForTheNextWindow) {
    std::wstring path = testkit::FreshDir(L"record-writer-held") + L"Chat20002.rec";
    ASSERT_TRUE(testkit::WriteFileBytes(path, History(1)));
    HANDLE held = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    {
        RecordWriter writer{RecordStore(SystemRecordFiles(), RollOverTime)};
        ASSERT_TRUE(writer.Start());
        writer.Add(path, Record("kept"));
        DWORD began = GetTickCount();
        writer.Stop();
        EXPECT_LT(GetTickCount() - began, 3000u) << "a held file does not hold the close up for long";
    }
    CloseHandle(held);
    EXPECT_EQ(History(1), testkit::ReadFileBytes(path));
    RecordWriter next{RecordStore(SystemRecordFiles(), RollOverTime)};
    ASSERT_TRUE(next.Start());
    next.Watch(path);
    next.Stop();
    EXPECT_EQ(AsText(Record("kept")) + History(1), testkit::ReadFileBytes(path));
}

TEST(RecordWriter, TextsThePendingFileRefusesUntilTheCloseGoInOnceAndInOrder) {
    std::wstring path = testkit::FreshDir(L"record-writer-refused") + L"Chat20002.rec";
    ASSERT_TRUE(testkit::WriteFileBytes(path, History(1)));
    // The history held a while keeps the first text pending; then a program holds the
    // pending records, sharing reads only, until after the window closed.
    HANDLE history = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, history);
    RecordStore store(SystemRecordFiles(), RollOverTime);
    {
        RecordWriter writer{RecordStore(SystemRecordFiles(), RollOverTime)};
        ASSERT_TRUE(writer.Start());
        writer.Add(path, Record("one"));
        HANDLE pending = CreateFileW(PendingRecordsPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, pending);
        writer.Add(path, Record("two"));
        CloseHandle(history);
        writer.Stop();
        EXPECT_EQ((Texts{"two", "one", "old 0"}), TextsOf(store.List(path)));
        CloseHandle(pending);
    }
    RecordWriter next{RecordStore(SystemRecordFiles(), RollOverTime)};
    ASSERT_TRUE(next.Start());
    next.Watch(path);
    next.Stop();
    EXPECT_EQ((Texts{"two", "one", "old 0"}), TextsOf(testkit::ReadFileBytes(path)));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(PendingRecordsPath(path).c_str()));
}

// Child side of the kill tests: with CHAT_RECORD_KILL_AFTER_ADD the process ends the moment
// a record is added; else a watchdog ends it the moment the record file changes size while
// a fold puts the record first.
TEST(RecordKill, Child) {
    wchar_t target[1024] = {};
    if (!GetEnvironmentVariableW(L"CHAT_RECORD_KILL_WATCH", target, 1024)) GTEST_SKIP() << "run by the kill test only";
    std::wstring path = target;
    wchar_t text[64] = {};
    GetEnvironmentVariableW(L"CHAT_RECORD_KILL_TEXT", text, 64);
    RecordStore store(SystemRecordFiles(), RollOverTime);
    if (GetEnvironmentVariableW(L"CHAT_RECORD_KILL_AFTER_ADD", nullptr, 0)) {
        store.Add(path, Record(vantor::WideToAnsi(text)));
        TerminateProcess(GetCurrentProcess(), 77);
    }
    int64_t before = SystemRecordFiles().Size(path);
    std::thread watchdog([path, before] {
        for (;;)
            if (SystemRecordFiles().Size(path) != before) TerminateProcess(GetCurrentProcess(), 77);
    });
    watchdog.detach();
    store.Add(path, Record(vantor::WideToAnsi(text)));
    store.Fold(path);
    Sleep(2000);  // the size never changed: give the watchdog no chance to miss it
    TerminateProcess(GetCurrentProcess(), 78);
}

TEST(RecordStore, AProcessKilledAfterAddingOrWhileWritingLosesNothing) {
    std::wstring dir = testkit::FreshDir(L"record-kill");
    std::wstring path = dir + L"Chat20002.rec";
    std::string history = History(3000);
    ASSERT_TRUE(testkit::WriteFileBytes(path, history));
    for (int run = 0; run < 4; ++run) {
        std::wstring text = L"killed " + std::to_wstring(run);
        std::vector<std::pair<std::wstring, std::wstring>> settings = {{L"CHAT_RECORD_KILL_WATCH", path},
                                                                       {L"CHAT_RECORD_KILL_TEXT", text}};
        bool afterAdd = run % 2 == 0;
        if (afterAdd) settings.push_back({L"CHAT_RECORD_KILL_AFTER_ADD", L"1"});
        DWORD code = testkit::RunProgram(testkit::ThisExePath(), L"--gtest_filter=RecordKill.Child", dir, settings, 60000);
        EXPECT_EQ(77u, code) << "run " << run << ": the kill did not come";
        std::string now = testkit::ReadFileBytes(path);
        std::string added = AsText(Record(vantor::WideToAnsi(text))) + history;
        // A rename: the old history or the new one, never less.
        ASSERT_TRUE(now == history || now == added) << "run " << run << ": " << now.size() << " bytes of "
                                                   << history.size();
        // The next start puts it in, once.
        RecordStore store(SystemRecordFiles(), RollOverTime);
        ASSERT_TRUE(store.Fold(path)) << "run " << run;
        ASSERT_EQ(added, testkit::ReadFileBytes(path)) << "run " << run << (afterAdd ? ", after adding" : ", while writing");
        history = added;
    }
}
