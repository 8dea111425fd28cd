// Fetching one document: a local file, or a page of the loopback network through WinINet.
// Runs on the caller's thread and waits at most the given time for a server.
#pragma once

#include <string>

#include "PageAddress.h"

namespace pageengine {

// Status codes of failed loads, as the browser reports them.
const long kResourceNotFound = static_cast<long>(0x800C0005);  // no such file or host
const long kCannotConnect = static_cast<long>(0x800C0004);
const long kUnknownProtocol = static_cast<long>(0x800C000D);
const long kConnectionTimeout = static_cast<long>(0x800C000B);
const long kAccessDenied = static_cast<long>(0x800C000E);      // a host the engine does not reach, an unreadable file

struct FetchResult {
    long error = 0;     // 0, an HTTP status of 400 or more, or one of the codes above
    std::string bytes;  // the document
};

// Larger documents are cut here.
const size_t kMaxDocumentBytes = 8 * 1024 * 1024;

FetchResult Fetch(const PageAddress& address, unsigned long timeoutMs = 10000);

}  // namespace pageengine
