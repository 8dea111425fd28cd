// Where a page comes from: the addresses the page engine accepts, and how a link of a page
// is resolved against the page's own address.
#pragma once

#include <string>

namespace pageengine {

enum class AddressKind {
    Blank,        // "about:blank"
    File,         // a local path or a "file:" URL
    Http,         // http:// on the loopback network
    Refused,      // http:// to any other host
    Unsupported,  // any other scheme
};

struct PageAddress {
    AddressKind kind = AddressKind::Unsupported;
    std::wstring path;    // File: the full local path
    std::wstring host;    // Http: "127.0.0.1"
    int port = 80;        // Http
    std::wstring object;  // Http: path and query, beginning with "/"
};

// Reads an address. Relative local paths are taken from programDir (with its trailing
// backslash); "file:" URLs are percent-decoded (UTF-8 bytes).
PageAddress ParseAddress(const std::wstring& text, const std::wstring& programDir);

// A link of the page at base: absolute addresses and full paths stand as they are, "/x"
// is taken from base's host, anything else from base's folder.
std::wstring ResolveLink(const std::wstring& base, const std::wstring& link);

// Whether the text begins with a scheme of two letters or more and a colon.
bool HasScheme(const std::wstring& text);

// %XX sequences turned into their bytes; malformed ones stay as they are.
std::string PercentDecode(const std::string& text);

}  // namespace pageengine
