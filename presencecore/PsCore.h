// Shared core of PresenceCore: module state, configuration, the post of one action,
// the reply envelope and its cells, the proxy-message store.
#pragma once

#include <windows.h>
#include <functional>
#include <string>
#include <vector>

#include "ContactRecords.h"
#include "Handles.h"
#include "Text.h"
#include "VantorResults.h"
#include "XmlDoc.h"

namespace ps {

using vantor::xml::XmlNode;

// Which base URL a post uses: the A and W calls keep their own.
enum class Form { Ansi, Wide };

// "<program folder>" (of the host EXE, no trailing backslash) in the ANSI code page.
std::string ProgramFolder();
std::string ConfigFile(const char* name);   // "<program folder>\config\<name>"

// Form text: pairs joined with "&"; values percent-encoded for %, &, =, + and controls.
std::string EncodeValue(const std::string& value);
class FormText {
public:
    FormText& Add(const char* key, const std::string& value);
    FormText& AddNumber(const char* key, long value);
    const std::string& Text() const { return text_; }
private:
    std::string text_;
};

template <typename Char> constexpr Form FormOf() { return sizeof(Char) == 1 ? Form::Ansi : Form::Wide; }

// Text of a caller's argument or record field in the ANSI code page.
inline std::string Ansi(const char* s) { return s ? std::string(s) : std::string(); }
inline std::string Ansi(const wchar_t* s) { return vantor::WideToAnsi(s); }
template <size_t N> std::string Field(const char (&f)[N]) { return vantor::FieldText(f); }
template <size_t N> std::string Field(const wchar_t (&f)[N]) { return vantor::WideToAnsi(vantor::FieldText(f)); }

// Copies server text into a record field, cut on a whole character and terminated.
template <size_t N> void PutText(char (&f)[N], const std::wstring& v) {
    std::string a = vantor::WideToAnsi(v);
    vantor::CopyField(f, N, a.c_str());
}
template <size_t N> void PutText(wchar_t (&f)[N], const std::wstring& v) { vantor::CopyField(f, N, v.c_str()); }
// An id that does not fit is a different id: the field is left as it was.
template <size_t N> bool PutId(char (&f)[N], const std::wstring& v) {
    std::string a = vantor::WideToAnsi(v);
    if (a.size() >= N) return false;
    vantor::CopyField(f, N, a.c_str());
    return true;
}
template <size_t N> bool PutId(wchar_t (&f)[N], const std::wstring& v) {
    if (v.size() >= N) return false;
    vantor::CopyField(f, N, v.c_str());
    return true;
}

// Module state, locked inside.
void SetSessionCookies(const char* session, const char* signOn);   // null keeps a value
void SetCurrentUser(const std::string& id);
std::string CurrentUser();
void SetLastReplyMessage(const std::wstring& text);
void ClearBaseUrls();
void SetBaseUrls(const std::string& ansiUrl, const std::string& wideUrl);
void SetAnsiBaseUrl(const std::string& url);
std::string ReadConfigText(const char* key, const char* fallback, size_t maxChars);
int ReadConfigInt(const char* key, int fallback);
std::string LoadServiceUrl(bool gatekeeper);

// One node of a reply as the operations read it.
struct Cell {
    std::wstring tag;
    std::wstring name;
    std::wstring text;
    int type = 0;
    bool hasType = false;
};
bool ReadCellNode(const XmlNode& node, Cell* cell);
bool SameName(const std::wstring& a, const wchar_t* b);   // without regard to case

// One reply: COM for the call, the document, the node the walk stands on.
class Reply {
public:
    Reply() = default;
    Reply(const Reply&) = delete;
    Reply& operator=(const Reply&) = delete;
    vantor::ScopedCom com;
    vantor::xml::XmlDoc doc;
    XmlNode current;     // first "cell" under lwData once the envelope was read
    std::wstring message;
};

// The whole request: post, load, envelope. Sets the last reply message on failure.
// baseUrl, when given, is used instead of the form's base URL for this post only.
PsResult PsRequest(Reply& reply, Form form, const char* action, const std::string& params,
                   const std::string& baseUrl = std::string());

// Walks the reply from its current node: "cell" nodes go to the handler, "P" nodes to
// the proxy store (when storeProxy). The handler returns false to stop the walk.
using CellHandler = std::function<bool(const Cell& cell, const XmlNode& node)>;
bool WalkReplyCells(Reply& reply, const CellHandler& handler, bool storeProxy = true);

// The messages of every "P" node of one reply, in order, in one write of the queue.
void StoreProxyMessages(const std::vector<XmlNode>& batches);

// A number the server sent, read as atol reads it (leading blanks, a sign, digits up to
// the first other character); false when it has no digit or lies outside low..high.
const long kSecondsPerDay = 86400;
bool ParseNumberInRange(const std::wstring& text, long low, long high, long* value);

// Dotted IPv4 text to a network-order address (all ones when it is none).
DWORD ParseIPv4Address(const std::wstring& text);

// Runs an export body; nothing thrown crosses the boundary.
template <typename Fn> int Guard(Fn&& body) {
    try {
        return body();
    } catch (...) {
        return PS_REPLY_NOT_XML;
    }
}

}  // namespace ps
