#include "XmlFile.h"

#include <algorithm>
#include <cwchar>
#include <new>
#include <unordered_map>
#include <vector>

#include "ComObject.h"

namespace vantor {
namespace xml {

namespace {

const UINT kUtf16Le = 1200;
const UINT kUtf16Be = 1201;

bool ReadAll(const std::wstring& path, std::string* bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size = {};
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart < 0x40000000;
    if (ok) {
        bytes->resize(static_cast<size_t>(size.QuadPart));
        DWORD done = 0;
        ok = bytes->empty() || (ReadFile(file, &(*bytes)[0], static_cast<DWORD>(bytes->size()), &done, nullptr) &&
                                done == bytes->size());
    }
    CloseHandle(file);
    return ok;
}

bool Lower(const std::wstring& name, const wchar_t* expected) { return lstrcmpiW(name.c_str(), expected) == 0; }

// The code page of an encoding name of the declaration; 0 when it is not one we know.
UINT CodePageOf(const std::wstring& name) {
    if (name.empty() || Lower(name, L"utf-8") || Lower(name, L"utf8")) return CP_UTF8;
    if (Lower(name, L"gb2312") || Lower(name, L"gbk") || Lower(name, L"cp936") || Lower(name, L"x-gbk") ||
        Lower(name, L"windows-936"))
        return 936;
    if (Lower(name, L"gb18030")) return 54936;
    if (Lower(name, L"utf-16") || Lower(name, L"unicode")) return kUtf16Le;
    if (Lower(name, L"iso-8859-1") || Lower(name, L"latin1")) return 28591;
    if (Lower(name, L"windows-1252")) return 1252;
    if (Lower(name, L"us-ascii") || Lower(name, L"ascii")) return 20127;
    return 0;
}

// The declaration at the start of text: its length (0 when there is none) and the
// value of its encoding pseudo-attribute.
size_t FindDeclaration(const std::wstring& text, std::wstring* encoding) {
    if (text.compare(0, 5, L"<?xml") != 0 || text.size() < 6 || !iswspace(text[5])) return 0;
    size_t end = text.find(L"?>");
    if (end == std::wstring::npos) return 0;
    std::wstring decl = text.substr(0, end);
    size_t at = decl.find(L"encoding");
    if (at != std::wstring::npos) {
        size_t eq = decl.find(L'=', at);
        size_t open = eq == std::wstring::npos ? eq : decl.find_first_of(L"\"'", eq);
        if (open != std::wstring::npos) {
            size_t close = decl.find(decl[open], open + 1);
            if (close != std::wstring::npos) *encoding = decl.substr(open + 1, close - open - 1);
        }
    }
    return end + 2;
}

// Bytes that are not valid in the encoding fail the load rather than be replaced: a
// later save would otherwise write the replacement over the user's data.
DWORD DecodeFlags(UINT codePage) {
    return (codePage == CP_UTF8 || codePage == 54936 || codePage == 936) ? MB_ERR_INVALID_CHARS : 0;
}

// A double-byte code page whose single bytes below 0x80 are ASCII and never lead a pair:
// a markup text is mostly such bytes, copied as they are; the system decodes only the
// stretches that hold others. A stretch ends before an ASCII byte that follows an ASCII
// byte, as that one cannot be the second byte of a pair: the system sees every pair whole.
bool DecodeDoubleByte(const std::string& bytes, size_t offset, UINT codePage, std::wstring* text) {
    const unsigned char* in = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t size = bytes.size();
    text->resize(size - offset);
    wchar_t* out = &(*text)[0];
    size_t written = 0;
    for (size_t i = offset; i < size;) {
        if (in[i] < 0x80) {
            out[written++] = in[i++];
            continue;
        }
        size_t start = i++;
        while (i < size && !(in[i] < 0x80 && in[i - 1] < 0x80)) ++i;
        int n = MultiByteToWideChar(codePage, DecodeFlags(codePage), reinterpret_cast<const char*>(in + start),
                                    static_cast<int>(i - start), out + written, static_cast<int>(text->size() - written));
        if (n <= 0) {
            text->clear();
            return false;
        }
        written += static_cast<size_t>(n);
    }
    text->resize(written);
    return true;
}

bool Decode(const std::string& bytes, size_t offset, UINT codePage, std::wstring* text) {
    text->clear();
    size_t length = bytes.size() - offset;
    if (length == 0) return true;
    if (codePage == kUtf16Le || codePage == kUtf16Be) {
        if (length % 2) return false;
        text->resize(length / 2);
        for (size_t i = 0; i < text->size(); ++i) {
            unsigned char a = static_cast<unsigned char>(bytes[offset + 2 * i]);
            unsigned char b = static_cast<unsigned char>(bytes[offset + 2 * i + 1]);
            (*text)[i] = static_cast<wchar_t>(codePage == kUtf16Le ? (a | (b << 8)) : ((a << 8) | b));
        }
        return true;
    }
    if (codePage == 936) return DecodeDoubleByte(bytes, offset, codePage, text);
    DWORD flags = DecodeFlags(codePage);
    // No byte yields more than one UTF-16 unit in these encodings (a four-byte sequence
    // yields two), so one pass into a buffer of the byte count does; measuring first
    // would decode the whole file twice.
    text->resize(length);
    int n = MultiByteToWideChar(codePage, flags, bytes.data() + offset, static_cast<int>(length), &(*text)[0],
                                static_cast<int>(length));
    if (n <= 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        n = MultiByteToWideChar(codePage, flags, bytes.data() + offset, static_cast<int>(length), nullptr, 0);
        if (n > 0) {
            text->resize(static_cast<size_t>(n));
            n = MultiByteToWideChar(codePage, flags, bytes.data() + offset, static_cast<int>(length), &(*text)[0], n);
        }
    }
    if (n <= 0) {
        text->clear();
        return false;
    }
    text->resize(static_cast<size_t>(n));
    return true;
}

// Whether the code page holds the character in the sense that matters: its bytes read
// back, under the rules Decode reads a file by, as the same character. Some characters
// encode to bytes the reader refuses (U+F8F5 becomes a lone 0xFF in code page 936), and
// one of them in a save would make the whole file unreadable.
bool RoundTrips(const wchar_t* units, size_t count, UINT codePage) {
    char bytes[8];
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, units, static_cast<int>(count), bytes, sizeof(bytes),
                                nullptr, &usedDefault);
    if (n <= 0 || usedDefault) return false;
    wchar_t back[4];
    int m = MultiByteToWideChar(codePage, DecodeFlags(codePage), bytes, n, back, 4);
    return m == static_cast<int>(count) && std::equal(units, units + count, back);
}

// A save's temporary file has a name of its own book: the next save of the book writes
// over one a killed save left behind, and a load removes one no save is writing.
std::wstring SaveTempPath(const std::wstring& path) { return path + L".save.tmp"; }

void RemoveStaleSaveTemp(const std::wstring& path) {
    std::wstring temp = SaveTempPath(path);
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(temp.c_str(), GetFileExInfoStandard, &data)) return;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER written = {{data.ftLastWriteTime.dwLowDateTime, data.ftLastWriteTime.dwHighDateTime}};
    ULARGE_INTEGER current = {{now.dwLowDateTime, now.dwHighDateTime}};
    // A save takes milliseconds; one a minute old was ended before its rename.
    const ULONGLONG kStale = 60ull * 10000000ull;
    if (current.QuadPart > written.QuadPart && current.QuadPart - written.QuadPart > kStale) DeleteFileW(temp.c_str());
}

bool WriteAll(HANDLE file, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) return false;
        done += written;
    }
    return true;
}

// A write-only stream into memory that grows geometrically.
class GrowingStream : public vantor::ComObject<IStream> {
public:
    GrowingStream() : ComObject(1) {}
    std::string Take() { return std::move(bytes_); }

    HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG size, ULONG* written) override {
        if (written) *written = 0;
        if (size && !data) return STG_E_INVALIDPOINTER;
        if (bytes_.size() + size >= 0x40000000) return STG_E_MEDIUMFULL;
        try {
            bytes_.append(static_cast<const char*>(data), size);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        if (written) *written = size;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override {
        // Writing goes on at the end: a seek may ask where that is, and go nowhere else.
        LONGLONG base = origin == STREAM_SEEK_SET ? 0 : static_cast<LONGLONG>(bytes_.size());
        if (origin > STREAM_SEEK_END || base + move.QuadPart != static_cast<LONGLONG>(bytes_.size()))
            return STG_E_INVALIDFUNCTION;
        if (position) position->QuadPart = bytes_.size();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
        if (!stat) return STG_E_INVALIDPOINTER;
        ZeroMemory(stat, sizeof *stat);
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = bytes_.size();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Read(void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

private:
    bool Answers(REFIID iid) const override { return iid == IID_IStream || iid == IID_ISequentialStream; }

    std::string bytes_;
};

}  // namespace

FileWriterLock::FileWriterLock(const std::wstring& path, DWORD timeoutMs) {
    wchar_t full[MAX_PATH * 4];
    DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH * 4, full, nullptr);
    std::wstring name = (n > 0 && n < MAX_PATH * 4) ? std::wstring(full, n) : path;
    CharLowerBuffW(&name[0], static_cast<DWORD>(name.size()));
    // A mutex name may not hold backslashes and has a length limit: the path's hash.
    unsigned long long hash = 14695981039346656037ull;
    for (wchar_t c : name) hash = (hash ^ static_cast<unsigned>(c)) * 1099511628211ull;
    wchar_t mutexName[64];
    swprintf(mutexName, 64, L"Local\\VantorFileWriter-%016llx", hash);
    mutex_ = CreateMutexW(nullptr, FALSE, mutexName);
    if (!mutex_) return;
    // A writer that died while holding the lock leaves it abandoned: the file is whole
    // either way (a save replaces it only when complete), so the lock is taken.
    DWORD waited = WaitForSingleObject(mutex_, timeoutMs);
    held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}

FileWriterLock::~FileWriterLock() {
    if (held_) ReleaseMutex(mutex_);
    if (mutex_) CloseHandle(mutex_);
}

namespace {

// The document's own save into memory, when it comes as UTF-8 (behind an optional
// byte-order mark): its bytes, and where its text starts.
bool SaveUtf8(const XmlDoc& doc, std::string* bytes, size_t* offset) {
    // The DOM writes its text in small pieces: a memory stream of the system that grows
    // by each piece copies itself over and over, so the text goes to one that grows in
    // steps of its own size.
    ComPtr<GrowingStream> stream;
    stream.attach(new (std::nothrow) GrowingStream);
    if (!stream || !doc) return false;
    VARIANT target;
    VariantInit(&target);
    target.vt = VT_UNKNOWN;
    target.punkVal = stream.get();
    if (FAILED(doc.get()->save(target))) return false;
    std::string saved = stream->Take();
    *offset = saved.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    std::wstring head(saved.begin() + *offset, saved.begin() + std::min(saved.size(), *offset + 100));
    std::wstring encoding;
    FindDeclaration(head, &encoding);
    if (saved.compare(*offset, 2, "\xFF\xFE") == 0 || CodePageOf(encoding) != CP_UTF8) return false;
    bytes->swap(saved);
    return true;
}

// A sequence of UTF-8 at in[i] as a code point, i moved behind it; false for bytes that
// are not UTF-8 (overlong forms and surrogates included).
bool NextCodePoint(const unsigned char* in, size_t size, size_t& i, UINT* point) {
    unsigned char c = in[i];
    size_t more = c >= 0xC2 && c <= 0xDF ? 1 : c >= 0xE0 && c <= 0xEF ? 2 : c >= 0xF0 && c <= 0xF4 ? 3 : 0;
    if (!more || i + more >= size) return false;
    UINT value = c & (0x3F >> more);
    for (size_t k = 1; k <= more; ++k) {
        unsigned char t = in[i + k];
        if ((t & 0xC0) != 0x80) return false;
        value = (value << 6) | (t & 0x3F);
    }
    if ((more == 2 && (value < 0x800 || (value >= 0xD800 && value <= 0xDFFF))) ||
        (more == 3 && (value < 0x10000 || value > 0x10FFFF)))
        return false;
    i += more + 1;
    *point = value;
    return true;
}

// EncodeWithReferences of UTF-8 text, appended to *out without making the text UTF-16
// first: ASCII goes through as it is, and each other character is looked up once. Only
// for UTF-8 and code pages of at most two bytes a character; false for those others and
// for bytes that are not UTF-8 (the caller then decodes and encodes).
bool TranscodeUtf8(const std::string& bytes, size_t from, UINT codePage, std::string* out) {
    const unsigned char* in = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t size = bytes.size();
    if (codePage == CP_UTF8) {
        for (size_t i = from; i < size;) {
            UINT point = 0;
            if (in[i] < 0x80) {
                ++i;
            } else if (!NextCodePoint(in, size, i, &point)) {
                return false;
            }
        }
        out->append(bytes, from, std::string::npos);
        return true;
    }
    CPINFO info = {};
    if (codePage == kUtf16Le || codePage == kUtf16Be || codePage == 54936 || !GetCPInfo(codePage, &info) ||
        info.MaxCharSize > 2)
        return false;
    // Per character of the basic plane, asked once: its bytes (count 1 or 2), or count
    // kNotHeld for one the code page cannot hold (0: not asked yet).
    struct Encoded {
        unsigned char count;
        char bytes[2];
    };
    const unsigned char kNotHeld = 3;
    std::vector<Encoded> known(0x10000, Encoded{0, {0, 0}});
    out->reserve(out->size() + (size - from) + (size - from) / 8);
    size_t run = from;
    for (size_t i = from; i < size;) {
        if (in[i] < 0x80) {
            ++i;
            continue;
        }
        out->append(bytes, run, i - run);
        UINT point = 0;
        if (!NextCodePoint(in, size, i, &point)) return false;
        run = i;
        if (point < 0x10000) {
            Encoded& entry = known[point];
            if (!entry.count) {
                wchar_t unit = static_cast<wchar_t>(point);
                entry.count = kNotHeld;
                if (RoundTrips(&unit, 1, codePage)) {
                    int n = WideCharToMultiByte(codePage, 0, &unit, 1, entry.bytes, sizeof entry.bytes, nullptr, nullptr);
                    if (n <= 0) return false;
                    entry.count = static_cast<unsigned char>(n);
                }
            }
            if (entry.count != kNotHeld) {
                out->append(entry.bytes, entry.count);
                continue;
            }
        } else {
            wchar_t units[2] = {static_cast<wchar_t>(0xD800 + ((point - 0x10000) >> 10)),
                                static_cast<wchar_t>(0xDC00 + ((point - 0x10000) & 0x3FF))};
            if (RoundTrips(units, 2, codePage)) {
                char encoded[8];
                int n = WideCharToMultiByte(codePage, 0, units, 2, encoded, sizeof encoded, nullptr, nullptr);
                if (n <= 0) return false;
                out->append(encoded, static_cast<size_t>(n));
                continue;
            }
        }
        *out += "&#" + std::to_string(point) + ";";
    }
    out->append(bytes, run, std::string::npos);
    return true;
}

}  // namespace

std::wstring DocumentMarkup(const XmlDoc& doc) {
    std::string saved;
    size_t offset = 0;
    std::wstring text;
    if (SaveUtf8(doc, &saved, &offset) && Decode(saved, offset, CP_UTF8, &text)) return text;
    return doc.Xml();
}

std::string EncodeWithReferences(const std::wstring& text, UINT codePage) {
    if (text.empty()) return std::string();
    if (codePage == kUtf16Le || codePage == kUtf16Be) {
        std::string out(text.size() * 2, '\0');
        for (size_t i = 0; i < text.size(); ++i) {
            unsigned v = text[i];
            out[2 * i] = static_cast<char>(codePage == kUtf16Le ? (v & 0xFF) : (v >> 8));
            out[2 * i + 1] = static_cast<char>(codePage == kUtf16Le ? (v >> 8) : (v & 0xFF));
        }
        return out;
    }
    std::wstring escaped;
    const std::wstring* source = &text;
    if (codePage != CP_UTF8 && codePage != 54936) {
        // Which characters the code page holds, asked once per distinct character: for
        // the basic plane in a table (0 not asked yet, 1 held, 2 not), beyond it in a map.
        // The escaped copy is made only when one is found that it cannot hold.
        std::vector<unsigned char> basic(0x10000, 0);
        std::unordered_map<UINT, bool> beyond;
        size_t copied = 0;
        for (size_t i = 0; i < text.size();) {
            wchar_t c = text[i];
            if (c < 0x80) {
                ++i;
                continue;
            }
            size_t units = (IS_HIGH_SURROGATE(c) && i + 1 < text.size() && IS_LOW_SURROGATE(text[i + 1])) ? 2 : 1;
            UINT point = units == 2 ? 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00) : c;
            bool ok;
            if (units == 1) {
                unsigned char& known = basic[point];
                if (!known) known = RoundTrips(text.data() + i, 1, codePage) ? 1 : 2;
                ok = known == 1;
            } else {
                auto found = beyond.find(point);
                if (found != beyond.end()) {
                    ok = found->second;
                } else {
                    ok = RoundTrips(text.data() + i, units, codePage);
                    beyond.emplace(point, ok);
                }
            }
            if (!ok) {
                if (source == &text) escaped.reserve(text.size() + 64);
                escaped.append(text, copied, i - copied);
                // A lone surrogate has no reference of its own: it stands as U+FFFD.
                if (point >= 0xD800 && point <= 0xDFFF) point = 0xFFFD;
                escaped += L"&#" + std::to_wstring(point) + L";";
                source = &escaped;
                copied = i + units;
            }
            i += units;
        }
        if (source == &escaped) escaped.append(text, copied, std::wstring::npos);
    }
    // One pass into room for the most bytes a character can take; measuring first would
    // encode the whole text twice.
    CPINFO info = {};
    size_t most = GetCPInfo(codePage, &info) && info.MaxCharSize > 0 ? info.MaxCharSize : 4;
    if (codePage == CP_UTF8) most = 3;  // four bytes come from two UTF-16 units
    if (source->size() > 0x7FFFFFFF / most) return std::string();
    std::string out(source->size() * most, '\0');
    int n = WideCharToMultiByte(codePage, 0, source->data(), static_cast<int>(source->size()), &out[0],
                                static_cast<int>(out.size()), nullptr, nullptr);
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

bool XmlFile::Load(const std::wstring& path, XmlDoc* doc, std::wstring* reason, std::wstring* parsed) {
    std::wstring text;
    if (!Read(path, &text, reason) || !doc->LoadText(text, reason)) return false;
    if (parsed) parsed->swap(text);
    return true;
}

bool XmlFile::Read(const std::wstring& path, std::wstring* out, std::wstring* reason) {
    auto fail = [reason](const wchar_t* why) {
        if (reason) *reason = why;
        return false;
    };
    std::string bytes;
    if (path.empty() || !ReadAll(path, &bytes)) return fail(L"the file cannot be read");
    RemoveStaleSaveTemp(path);

    size_t offset = 0;
    UINT bomPage = 0;
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        bomPage = CP_UTF8;
        offset = 3;
    } else if (bytes.compare(0, 2, "\xFF\xFE") == 0) {
        bomPage = kUtf16Le;
        offset = 2;
    } else if (bytes.compare(0, 2, "\xFE\xFF") == 0) {
        bomPage = kUtf16Be;
        offset = 2;
    }

    // The declaration is ASCII in every 8-bit encoding: read it first, then decode all.
    std::wstring head;
    if (bomPage == kUtf16Le || bomPage == kUtf16Be) {
        Decode(bytes, offset, bomPage, &head);
    } else {
        size_t end = bytes.find("?>", offset);
        std::string ascii = bytes.substr(offset, end == std::string::npos ? 0 : end + 2 - offset);
        head.assign(ascii.begin(), ascii.end());
    }
    std::wstring encoding;
    size_t declLength = FindDeclaration(head, &encoding);
    UINT codePage = bomPage ? bomPage : CodePageOf(encoding);
    if (bomPage == kUtf16Le && !encoding.empty() && CodePageOf(encoding) != kUtf16Le) codePage = kUtf16Le;
    if (codePage == 0) return fail(L"the file declares an encoding that is not supported");

    std::wstring text;
    if (!Decode(bytes, offset, codePage, &text)) return fail(L"the file holds bytes that are not valid in its encoding");
    std::wstring declaration = text.substr(0, declLength);
    // The parser gets the text without the declaration: it is UTF-16 now, whatever the
    // declaration says.
    text.erase(0, declLength);
    out->swap(text);
    declaration_ = declaration;
    codePage_ = codePage;
    bom_ = bomPage != 0;
    return true;
}

std::string XmlFile::Bom() const {
    if (!bom_) return std::string();
    if (codePage_ == CP_UTF8) return "\xEF\xBB\xBF";
    if (codePage_ == kUtf16Le) return "\xFF\xFE";
    if (codePage_ == kUtf16Be) return "\xFE\xFF";
    return std::string();
}

std::string XmlFile::Encode(const XmlDoc& doc) const {
    // The original declaration first, on a line of its own.
    auto head = [this](bool bodyOnNewLine) {
        std::wstring text = declaration_;
        if (!declaration_.empty() && !bodyOnNewLine) text += L"\r\n";
        return text;
    };
    std::string saved;
    size_t offset = 0;
    if (SaveUtf8(doc, &saved, &offset)) {
        std::wstring start(saved.begin() + offset, saved.begin() + std::min(saved.size(), offset + 100));
        std::wstring ignored;
        // A declaration the document carries itself gives way to the file's own.
        size_t body = offset + FindDeclaration(start, &ignored);
        bool newLine = body < saved.size() && (saved[body] == '\r' || saved[body] == '\n');
        std::string out = Bom() + EncodeWithReferences(head(newLine), codePage_);
        if (TranscodeUtf8(saved, body, codePage_, &out)) return out;
    }
    std::wstring body = DocumentMarkup(doc);
    std::wstring ignored;
    size_t own = FindDeclaration(body, &ignored);
    if (own) body.erase(0, own);
    bool newLine = !body.empty() && (body[0] == L'\r' || body[0] == L'\n');
    return Bom() + EncodeWithReferences(head(newLine) + body, codePage_);
}

bool XmlFile::Save(const XmlDoc& doc, const std::wstring& path,
                   bool (*beforeReplace)(const std::wstring& tempPath)) const {
    if (!doc || path.empty()) return false;
    // A rename over a read-only file succeeds on some file systems; the mark must hold.
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    std::string bytes = Encode(doc);
    if (bytes.empty()) return false;

    std::wstring temp = SaveTempPath(path);
    // A stale copy left read-only would refuse to be written over.
    SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
    HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    bool ok = file != INVALID_HANDLE_VALUE;
    if (ok) {
        ok = WriteAll(file, bytes) && FlushFileBuffers(file);
        CloseHandle(file);
    }
    if (ok && beforeReplace) ok = beforeReplace(temp);
    // Only a complete new file takes the old one's place.
    if (ok) ok = MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    if (!ok && file != INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        DeleteFileW(temp.c_str());
        SetLastError(error);
    }
    return ok;
}

}  // namespace xml
}  // namespace vantor
