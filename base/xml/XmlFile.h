// XML files read and written in the encoding their declaration names.
//
// The parser is handed UTF-16 text, so the file's encoding is handled here, the same way
// on every platform: the bytes are decoded by the declared encoding (gb2312 and GBK
// through code page 936, GB18030, UTF-8, UTF-16 with a byte-order mark), and a save writes
// the original declaration first and the document's text in that encoding, with numeric
// character references for characters the encoding cannot hold. A save goes to a
// temporary file in the same folder that then replaces the file: a failed save leaves the
// old file as it was.
#pragma once

#include <windows.h>
#include <string>

#include "XmlDoc.h"

namespace vantor {
namespace xml {

class XmlFile {
public:
    // Reads and parses path into doc. On failure *reason (if given) says why: the file
    // is missing or unreadable, its encoding is unknown, its bytes are not valid in that
    // encoding, or the text is not well-formed. *parsed (if given) receives the decoded
    // text the parser accepted, declaration left out, for callers that read it again.
    bool Load(const std::wstring& path, XmlDoc* doc, std::wstring* reason = nullptr,
              std::wstring* parsed = nullptr);

    // The first half of Load: reads and decodes path into *text, declaration left out,
    // for a caller that may read the text without the parser (see PlainMarkup.h).
    bool Read(const std::wstring& path, std::wstring* text, std::wstring* reason = nullptr);

    // Writes doc to path in the encoding it was loaded with (UTF-8 for a document that
    // was not loaded from a file), behind the original declaration. A read-only file is
    // not replaced. The temporary file is "<path>.save.tmp" (a load removes one that a
    // killed save left behind). beforeReplace, when given, sees the complete temporary
    // file just before it takes the file's place; false from it abandons the save.
    bool Save(const XmlDoc& doc, const std::wstring& path,
              bool (*beforeReplace)(const std::wstring& tempPath) = nullptr) const;

    UINT CodePage() const { return codePage_; }

    // The text of doc as the bytes Save would write.
    std::string Encode(const XmlDoc& doc) const;

private:
    std::string Bom() const;

    std::wstring declaration_;   // as it stood in the file, encoding name included
    UINT codePage_ = CP_UTF8;
    bool bom_ = false;
};

// The one writer of a file at a time, across processes: a named mutex per file (by its
// full path, case ignored), held by whoever reads a file to change it until the changed
// file has taken its place, so that no change is written over by another made from an
// older copy.
class FileWriterLock {
public:
    // Waits at most timeoutMs; bool tells whether the lock is held.
    explicit FileWriterLock(const std::wstring& path, DWORD timeoutMs = 30000);
    ~FileWriterLock();
    FileWriterLock(const FileWriterLock&) = delete;
    FileWriterLock& operator=(const FileWriterLock&) = delete;
    explicit operator bool() const { return held_; }

private:
    HANDLE mutex_ = nullptr;
    bool held_ = false;
};

// The document's markup as UTF-16, by way of the DOM's own save into memory: much
// quicker than asking the DOM for its text.
std::wstring DocumentMarkup(const XmlDoc& doc);

// Encodes text in codePage; characters the code page cannot hold become "&#N;".
std::string EncodeWithReferences(const std::wstring& text, UINT codePage);

}  // namespace xml
}  // namespace vantor
