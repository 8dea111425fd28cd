// Load and update timings of a contact book, next to bare MSXML 3.0 work on the same text,
// with where the store's time goes. A load: the file read and decoded by its declared
// encoding, the check that its markup is plain and well-formed, the reading into the
// contact lists (a plain file needs no document). A change: the file loaded into a
// document, the friend found and written, the document serialised and encoded (each
// character checked to read back), written through a flushed temporary file that
// replaces the old one, and the document freed; its reference is MSXML's own load, save
// and free of the same document.
// Run from the staged program folder; prints milliseconds, ratios, goals and the time per
// friend at 1,000, 5,000 and 20,000 friends. The last line is for scripts.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "../tests/RostApi.h"
#include "BenchBook.h"
#include "BenchTiming.h"
#include "Handles.h"
#include "PlainMarkup.h"
#include "TestSupport.h"
#include "Text.h"
#include "XmlDoc.h"
#include "XmlFile.h"

namespace {

const double kLoadGoal = 1.2;
const double kChangeGoal = 1.3;

// The best of each part over the rounds.
struct Best {
    double bareLoad = 1e9, bareSave = 1e9, bareFreed = 1e9, load = 1e9, change = 1e9;
    double read = 1e9, check = 1e9, fileLoad = 1e9, encode = 1e9, fileSave = 1e9, release = 1e9;
    void Take(double& best, double value) { best = std::min(best, value); }
};

// MSXML's own load of the text, with none of the checks the store's documents make first.
bool LoadBare(vantor::xml::XmlDoc* doc, const std::wstring& text) {
    if (!doc->Create()) return false;
    BSTR b = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    VARIANT_BOOL ok = VARIANT_FALSE;
    bool loaded = b && SUCCEEDED(doc->get()->loadXML(b, &ok)) && ok == VARIANT_TRUE;
    SysFreeString(b);
    return loaded;
}

bool SaveBare(const vantor::xml::XmlDoc& doc, const std::wstring& path) {
    VARIANT target;
    VariantInit(&target);
    target.vt = VT_BSTR;
    target.bstrVal = SysAllocString(path.c_str());
    bool ok = SUCCEEDED(doc.get()->save(target));
    VariantClear(&target);
    return ok;
}

// The store's own parts, timed with the same code the store runs where it is shared.
void Breakdown(const std::wstring& path, const std::wstring& dir, Best* best) {
    vantor::xml::XmlFile reader;
    std::wstring text;
    double t0 = testkit::NowMs();
    reader.Read(path, &text);
    double t1 = testkit::NowMs();
    bool plain = vantor::xml::IsPlainWellFormed(text);
    double t2 = testkit::NowMs();
    if (!plain) std::printf("the book is not plain markup\n");
    best->Take(best->read, t1 - t0);
    best->Take(best->check, t2 - t1);

    vantor::xml::XmlDoc doc;
    vantor::xml::XmlFile file;
    doc.Create();
    double t3 = testkit::NowMs();
    file.Load(path, &doc);
    double t4 = testkit::NowMs();
    std::string encoded = file.Encode(doc);
    double t5 = testkit::NowMs();
    file.Save(doc, dir + L"copy.xml");
    double t6 = testkit::NowMs();
    doc = vantor::xml::XmlDoc();
    double t7 = testkit::NowMs();
    best->Take(best->release, t7 - t6);
    best->Take(best->fileLoad, t4 - t3);
    best->Take(best->encode, t5 - t4);
    best->Take(best->fileSave, t6 - t5);
}

// One round of the store and the bare references on the book at path.
void Round(RostApi& api, const std::wstring& account, const std::wstring& text, const std::wstring& dir,
           const std::wstring& lastFriend, int round, Best* best) {
    double t0 = testkit::NowMs();
    vantor::xml::XmlDoc doc;
    LoadBare(&doc, text);
    double t1 = testkit::NowMs();
    SaveBare(doc, dir + L"bare.xml");
    double t2 = testkit::NowMs();
    doc = vantor::xml::XmlDoc();
    double t2f = testkit::NowMs();
    best->Take(best->bareLoad, t1 - t0);
    best->Take(best->bareSave, t2 - t0);
    best->Take(best->bareFreed, t2f - t0);

    double t3 = testkit::NowMs();
    RostBaseHandle h = api.LoadW(account.c_str());
    double t4 = testkit::NowMs();
    best->Take(best->load, t4 - t3);
    FriendHandle e = api.IsUserInFriendsW(h, lastFriend.c_str(), nullptr);
    FriendInfoW info = {};
    api.GetFriendInfoW(h, e, &info);
    wsprintfW(info.nickname, L"改名%d", round);
    double t5 = testkit::NowMs();
    BOOL ok = api.ModifyFriendW(h, e, &info);
    double t6 = testkit::NowMs();
    best->Take(best->change, t6 - t5);
    api.Unload(h);
    if (!ok || !e) std::printf("modification failed\n");
}

Best Measure(RostApi& api, int friends, int rounds, bool breakdown) {
    // An account is a plain folder name right under the program folder.
    std::wstring account = FreshAccount((L"bench" + std::to_wstring(friends)).c_str());
    std::wstring dir = testkit::ProgramDir() + account + L"\\";
    std::wstring path = ContactFileOf(account);
    std::wstring text = testkit::BenchmarkBook(friends);
    testkit::WriteFileBytes(path, "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n" + vantor::EncodeText(text, 936));
    // The last friend of the file, as the farthest one to find.
    std::wstring lastFriend = std::to_wstring(13900000000LL + friends - 1);
    Best best;
    for (int i = 0; i < rounds; ++i) {
        Round(api, account, text, dir, lastFriend, i, &best);
        if (breakdown) Breakdown(path, dir, &best);
    }
    testkit::RemoveTree(dir);
    return best;
}

}  // namespace

int main() {
    vantor::ScopedCom com;
    RostApi& api = RostApi::Get();
    if (api.resolved != 71) {
        std::printf("RostBase.dll not found\n");
        return 1;
    }
    const int sizes[] = {1000, 5000, 20000};
    // The best of each part over the rounds; a small book's round is short, so it gets more.
    const int rounds[] = {9, 5, 3};
    Best figures[3];
    for (int s = 0; s < 3; ++s) figures[s] = Measure(api, sizes[s], rounds[s], sizes[s] == 5000);

    std::printf("time per friend (microseconds): friends, load, bare load, change, bare load, save and free\n");
    for (int s = 0; s < 3; ++s) {
        const Best& b = figures[s];
        std::printf("  %6d  %7.2f  %7.2f  %7.2f  %7.2f   (load %.2fx, change %.2fx)\n", sizes[s],
                    1000.0 * b.load / sizes[s], 1000.0 * b.bareLoad / sizes[s], 1000.0 * b.change / sizes[s],
                    1000.0 * b.bareFreed / sizes[s], b.load / b.bareLoad, b.change / b.bareFreed);
    }
    const Best& b = figures[1];
    std::printf("where the time goes at 5000 friends (best of each part):\n");
    std::printf(" load\n");
    std::printf("  file read and decoded:              %8.1f ms\n", b.read);
    std::printf("  markup checked plain, well-formed:  %8.1f ms\n", b.check);
    std::printf("  reading into the store (the rest):  %8.1f ms\n", b.load - b.read - b.check);
    std::printf(" change\n");
    std::printf("  read, decoded and parsed (XmlFile): %8.1f ms\n", b.fileLoad);
    std::printf("  serialised and encoded, each character read back: %5.1f ms\n", b.encode);
    std::printf("  written, flushed, replaced:         %8.1f ms\n", b.fileSave - b.encode);
    std::printf("  whole save (XmlFile):               %8.1f ms\n", b.fileSave);
    std::printf("  document freed:                     %8.1f ms\n", b.release);
    std::printf("  change less load, save, free:       %8.1f ms\n", b.change - b.fileLoad - b.fileSave - b.release);
    std::printf("bare MSXML load of the text:       %8.1f ms\n", b.bareLoad);
    std::printf("RostBase_LoadW of the file:        %8.1f ms  (%.2fx the bare load; goal %.1fx)\n", b.load,
                b.load / b.bareLoad, kLoadGoal);
    std::printf("bare MSXML load and save:          %8.1f ms\n", b.bareSave);
    // An update must free its document before it returns: so does this reference.
    std::printf("bare MSXML load, save and free:    %8.1f ms\n", b.bareFreed);
    std::printf("one friend modified, file updated: %8.1f ms  (%.2fx the bare load, save and free; goal %.1fx; "
                "%.2fx the bare load and save)\n",
                b.change, b.change / b.bareFreed, kChangeGoal, b.change / b.bareSave);
    std::printf("rostbase bench: load %.2f of bare, change %.2f of bare\n", b.load / b.bareLoad, b.change / b.bareFreed);
    return 0;
}
