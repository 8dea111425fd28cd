// The test pages of testkit/pages, staged as "<program folder>\testpages\<set>", and their
// copies in the root of the loopback nginx (the web_servers CTest fixture).
#pragma once

#include <string>

namespace testkit {

// "<program folder>\testpages\<set>\" (the staged pages, for local-file navigations).
std::wstring PagesDir(const std::wstring& set);

// Copies the set's pages into "<nginx root>\<set>\" and answers the URL of that folder
// ("http://127.0.0.1:<port>/<set>/"); "" with a test failure when the servers are not
// running or a page could not be copied.
std::string PublishPages(const std::wstring& set);

}  // namespace testkit
