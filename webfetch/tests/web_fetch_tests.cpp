// CWebFetch over a real socket: the fake server for pages and hostile replies, tinyproxy
// as the browser proxy a failed direct connect falls back to.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ShortLimit.h"
#include "WebFetch.h"
#include "WebServers.h"

namespace {

class WebFetchSocket : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    void SetUp() override {
        servers = &WebServers::Get();
        ASSERT_TRUE(servers->loaded);
    }
    // Sends a GET for path to the fake server and reads the header; a receive timeout
    // other than 0 is set on the new socket first.
    bool Get(CWebFetch& fetch, const std::string& path, int timeoutMs = 0) {
        char header[4096] = "";
        fetch.FormatRequestHeader(header, "127.0.0.1", path.c_str(), 0, "GET", nullptr, 0, nullptr, 0, 0, 0, false);
        if (!fetch.Socket()) return false;
        if (timeoutMs) fetch.SetTimeout(timeoutMs, 0);
        return fetch.Connect("127.0.0.1", servers->fake, nullptr) && fetch.SendRequest(header, nullptr, nullptr, nullptr);
    }
    static std::string Body(CWebFetch& fetch) {
        while (fetch.Receive()) {
        }
        return fetch.GetResponseBody();
    }
    const WebServers* servers = nullptr;
};

TEST_F(WebFetchSocket, FetchesAPageAndReadsItsHeader) {
    char header[4096] = "";
    const char* cookies[] = {"a=1", "b=2"};
    ASSERT_TRUE(CWebFetch().FormatRequestHeader(header, "127.0.0.1", "/page?body=hello-page", 0, "GET", cookies, 2,
                                                "http://ref/", 0, 0, 0, false));
    EXPECT_STREQ("GET /page?body=hello-page HTTP/1.0\r\nHost: 127.0.0.1\r\nReferer:http://ref/\r\nAccept:*/*\r\n"
                 "User-Agent:Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\nConnection:Keep-Alive\r\n"
                 "Content-Type: application/x-www-form-urlencoded\r\nCache-Control: no-cache\r\n"
                 "Cookie: a=1;b=2\r\n\r\n",
                 header);
    char ranged[4096] = "";
    CWebFetch().FormatRequestHeader(ranged, "h", "/", 5, "POST", nullptr, 0, nullptr, 100, 50, 0, true);
    std::string text = ranged;
    EXPECT_NE(std::string::npos, text.find("\r\nRange: bytes=100-\r\nContent-Length: 5\r\n"));
    EXPECT_NE(std::string::npos, text.find("\r\nProxy-Connection: Keep-Alive\r\n\r\n"));
    ranged[0] = '\0';
    CWebFetch().FormatRequestHeader(ranged, "h", "/", 0, "GET", nullptr, 0, nullptr, 100, 200, 0, false);
    EXPECT_NE(std::string::npos, std::string(ranged).find("\r\nRange: bytes=100-200\r\n"));

    CWebFetch fetch;
    ASSERT_TRUE(fetch.Socket());
    ASSERT_TRUE(fetch.Connect("127.0.0.1", servers->fake, nullptr));
    ASSERT_TRUE(fetch.SendRequest(header, nullptr, nullptr, nullptr));
    EXPECT_EQ(200, fetch.GetWebState());
    EXPECT_EQ("hello-page", Body(fetch));
    EXPECT_EQ(10, fetch.GetBodyActualLength());
    std::string seen = servers->LastRequest("/page");
    EXPECT_EQ("a=1;b=2", RequestHeader(seen, "Cookie"));
    EXPECT_EQ("http://ref/", RequestHeader(seen, "Referer"));
    EXPECT_TRUE(fetch.CloseSocket());
    EXPECT_TRUE(fetch.CloseSocket());

    // A post on the same object after a new socket.
    char post[4096] = "";
    fetch.FormatRequestHeader(post, "127.0.0.1", "/form?body=posted", 7, "POST", nullptr, 0, nullptr, 0, 0, 0, false);
    ASSERT_TRUE(fetch.Socket() && fetch.Connect("127.0.0.1", servers->fake, nullptr));
    ASSERT_TRUE(fetch.SendRequest(post, "x=1&y=2", nullptr, nullptr));
    EXPECT_EQ("posted", Body(fetch));
    EXPECT_EQ("x=1&y=2", RequestBody(servers->LastRequest("/form")));

    // Header fields and lines.
    CWebFetch fields;
    ASSERT_TRUE(Get(fields, "/raw/server-field"));
    char value[64] = {};
    EXPECT_EQ(5, fields.GetFileValue("Server:", value, sizeof(value)));
    EXPECT_STREQ(" fake", value);
    EXPECT_EQ(5, fields.GetFileValue("server:", value, sizeof(value)));
    EXPECT_EQ(2, fields.GetFileValue("Server:", value, 3));
    EXPECT_STREQ(" f", value);
    EXPECT_EQ(-1, fields.GetFileValue("X-Missing:", value, sizeof(value)));
    std::vector<std::string> lines;
    char line[256];
    while (fields.GetResponseLine(line, sizeof(line)) == 0) lines.push_back(line);
    ASSERT_EQ(4u, lines.size());
    EXPECT_EQ("HTTP/1.0 200 OK\r\n", lines[0]);
    EXPECT_EQ("\r\n", lines[3]);
    // The cursor starts over, and a line longer than the buffer comes in terminated pieces.
    char piece[6];
    ASSERT_EQ(0, fields.GetResponseLine(piece, sizeof(piece)));
    EXPECT_STREQ("HTTP/", piece);
    ASSERT_EQ(0, fields.GetResponseLine(piece, sizeof(piece)));
    EXPECT_STREQ("1.0 2", piece);
    int length = 0;
    long third = 7;
    std::string whole = fields.GetResponseHeader(length, nullptr, &third);
    EXPECT_EQ(static_cast<int>(whole.size()), length);
    EXPECT_EQ(0, third);
    EXPECT_EQ("hello", Body(fields));
    EXPECT_TRUE(fields.SetTimeout(2000, 0));
    EXPECT_TRUE(fields.SetTimeout(2000, 1));

    // Filter keeps the XML between its declaration and the end tag.
    CWebFetch xml;
    ASSERT_TRUE(Get(xml, "/xml?body=junk%3C%3Fxml%20version%3D%221.0%22%3F%3E%3Ca%3E%3Cb%2F%3E%3C%2Fa%3Etail"));
    Body(xml);
    xml.Filter("</A>");
    EXPECT_STREQ("<?xml version=\"1.0\"?><a><b/></a>", xml.GetResponseBody());
}

TEST_F(WebFetchSocket, SurvivesHostileReplies) {
    CWebFetch none;
    char buffer[16];
    EXPECT_EQ(-1, none.Receive(buffer, sizeof(buffer)));
    EXPECT_FALSE(none.Receive());
    EXPECT_EQ(-1, none.GetWebState());
    EXPECT_FALSE(none.SendRequest("GET / HTTP/1.0\r\n\r\n", nullptr, nullptr, nullptr));

    // A lower-case Content-Length still bounds the body; what follows it is cut.
    CWebFetch counted;
    ASSERT_TRUE(Get(counted, "/raw/lower-length"));
    EXPECT_EQ(10, counted.GetBodyActualLength());
    EXPECT_EQ("0123456789", Body(counted));

    // Full 1024-byte pieces with no NUL anywhere and no length: read until the close.
    CWebFetch chunks;
    ASSERT_TRUE(Get(chunks, "/raw/chunks1024"));
    std::string expected = std::string(1024, 'A') + std::string(1024, 'B') + std::string(1024, 'C') + std::string(1024, 'D');
    EXPECT_EQ(expected, Body(chunks));
    EXPECT_EQ(-1, chunks.GetBodyActualLength());

    CWebFetch missing;
    ASSERT_TRUE(Get(missing, "/raw/status404"));
    EXPECT_EQ(404, missing.GetWebState());

    // A header that is only its blank line is complete but has no status.
    CWebFetch blank;
    ASSERT_TRUE(Get(blank, "/raw/blank"));
    EXPECT_EQ(-1, blank.GetWebState());
    char line[16];
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(0, blank.GetResponseLine(line, sizeof(line)));
        EXPECT_STREQ("\r\n", line);
    }
    EXPECT_EQ(-1, blank.GetResponseLine(line, sizeof(line)));

    // A header without end stops growing and stays incomplete.
    CWebFetch endless;
    ASSERT_TRUE(Get(endless, "/raw/endless-header"));
    int length = -5;
    std::string header = endless.GetResponseHeader(length, nullptr, nullptr);
    EXPECT_LE(header.size(), 64u * 1024);
    EXPECT_GT(header.size(), 1000u);
    EXPECT_EQ(-5, length);
    EXPECT_EQ(-1, endless.GetWebState());
    EXPECT_EQ(-1, endless.GetFileValue("X-Pad:", line, sizeof(line)));
    EXPECT_TRUE(endless.CloseSocket());
}

// The hostile modes of the fake server, with the transfer limit shortened.
using hostile::kShortLimitMs;
using hostile::kSlackMs;
using hostile::ShortLimit;
using hostile::Since;

TEST_F(WebFetchSocket, AHeaderReadEndsInTimeWhetherThePeerIsSilentOrSlow) {
    {
        // Without SetTimeout the socket has the transfer limit.
        ShortLimit limit;
        for (const char* path : {"/hostile/silent", "/hostile/drip-header?every=0.2"}) {
            CWebFetch fetch;
            ULONGLONG start = GetTickCount64();
            ASSERT_TRUE(Get(fetch, path)) << path;
            EXPECT_LT(Since(start), kShortLimitMs + kSlackMs) << path;
            EXPECT_EQ(-1, fetch.GetWebState()) << path;
            EXPECT_FALSE(fetch.Receive()) << path;
        }
    }
    // The caller's own receive timeout bounds the whole header read.
    CWebFetch own;
    ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(Get(own, "/hostile/drip-header?every=0.2", 1000));
    EXPECT_LT(Since(start), 1000 + kSlackMs);
    EXPECT_EQ(-1, own.GetWebState());
}

TEST_F(WebFetchSocket, AStatusIsThreeDigitsOfARealStatusAndABodyHasTheTransferDeadline) {
    for (const char* line : {"4294967296", "0200", "%2B200", "20", "2000", "099", "600"}) {
        CWebFetch fetch;
        ASSERT_TRUE(Get(fetch, std::string("/hostile/status?line=") + line)) << line;
        EXPECT_EQ(-1, fetch.GetWebState()) << line;
    }
    CWebFetch fine;
    ASSERT_TRUE(Get(fine, "/hostile/status?line=599"));
    EXPECT_EQ(599, fine.GetWebState());

    // A body of a byte every 0.1 s: each read is quick, the whole transfer is not.
    ShortLimit limit;
    CWebFetch drip;
    ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(Get(drip, "/hostile/drip-body?every=0.1"));
    while (drip.Receive() && Since(start) < 10000) {
    }
    EXPECT_LT(Since(start), kShortLimitMs + kSlackMs);
}

TEST_F(WebFetchSocket, ContentLengthIsAnUnsignedNumberOrTheHeaderIsRefused) {
    CWebFetch huge;
    ASSERT_TRUE(Get(huge, "/hostile/length?value=99999999999"));
    EXPECT_EQ(200, huge.GetWebState());
    EXPECT_EQ(0x7FFFFFFF, huge.GetBodyActualLength());
    while (huge.Receive()) {
    }
    EXPECT_STREQ("hello", huge.GetResponseBody());

    for (const char* bad : {"/hostile/length?value=12abc", "/hostile/length?value=-5", "/hostile/length?value=",
                            "/hostile/length?value=99999999999999999999999"}) {
        CWebFetch fetch;
        ASSERT_TRUE(Get(fetch, bad)) << bad;
        EXPECT_EQ(-1, fetch.GetWebState()) << bad;
    }
    CWebFetch spaced;
    ASSERT_TRUE(Get(spaced, "/hostile/length?value=%203%20"));
    EXPECT_EQ(3, spaced.GetBodyActualLength());
    while (spaced.Receive()) {
    }
    EXPECT_STREQ("hel", spaced.GetResponseBody());
}

TEST_F(WebFetchSocket, AnEndlessBodyStopsAtItsCeiling) {
    // The ceiling is 65,536 reads of 1,024 bytes: on a busy machine they can take longer
    // than the usual limit of the whole transfer.
    ShortLimit limit(240000);
    CWebFetch fetch;
    ASSERT_TRUE(Get(fetch, "/hostile/endless"));
    EXPECT_EQ(200, fetch.GetWebState());
    while (fetch.Receive()) {
    }
    size_t held = strlen(fetch.GetResponseBody());
    EXPECT_LE(held, webfetch::kMaxReplyBytes + 1024);
    EXPECT_GE(held, webfetch::kMaxReplyBytes);
}

// The current user's browser proxy, as WinHTTP reads it from the registry; the old
// value comes back when the test ends.
class BrowserProxy {
public:
    BrowserProxy() {
        RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
        DWORD size = 0;
        if (RegQueryValueExW(key_, kValue, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
            saved_.resize(size);
            RegQueryValueExW(key_, kValue, nullptr, nullptr, saved_.data(), &size);
            hadValue_ = true;
        }
    }
    ~BrowserProxy() {
        if (hadValue_) {
            RegSetValueExW(key_, kValue, 0, REG_BINARY, saved_.data(), static_cast<DWORD>(saved_.size()));
        } else {
            RegDeleteValueW(key_, kValue);
        }
        RegCloseKey(key_);
    }
    void Set(const std::string& server) {
        std::vector<BYTE> blob;
        auto put = [&blob](DWORD v) { blob.insert(blob.end(), reinterpret_cast<BYTE*>(&v), reinterpret_cast<BYTE*>(&v) + 4); };
        put(0x46);   // settings of this layout
        put(0);
        put(3);      // direct connections and a named proxy
        put(static_cast<DWORD>(server.size()));
        blob.insert(blob.end(), server.begin(), server.end());
        put(0);      // no bypass list
        put(0);      // no script
        blob.resize(blob.size() + 32);
        RegSetValueExW(key_, kValue, 0, REG_BINARY, blob.data(), static_cast<DWORD>(blob.size()));
    }

private:
    static constexpr const wchar_t* kKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
    static constexpr const wchar_t* kValue = L"DefaultConnectionSettings";
    HKEY key_ = nullptr;
    std::vector<BYTE> saved_;
    bool hadValue_ = false;
};

TEST_F(WebFetchSocket, ConnectFallsBackToTheBrowserProxy) {
    ASSERT_NE(0, servers->proxy);
    BrowserProxy browser;

    // A proxy that refuses the tunnel: no connection.
    browser.Set("127.0.0.1:" + std::to_string(servers->strictProxy));
    CWebFetch refused;
    ASSERT_TRUE(refused.Socket());
    char proxyOut[WEBFETCH_UNSIZED_OUT_CHARS] = "untouched";
    EXPECT_FALSE(refused.Connect("nohost.invalid", servers->nginx, proxyOut));
    EXPECT_STREQ("untouched", proxyOut);
    EXPECT_EQ(-1, refused.Receive(proxyOut, 4));

    // An open proxy: the tunnel names the server asked for, and the page comes through it.
    std::string proxy = "127.0.0.1:" + std::to_string(servers->proxy);
    browser.Set(proxy);
    CWebFetch tunnel;
    ASSERT_TRUE(tunnel.Socket());
    ASSERT_TRUE(tunnel.Connect("nohost.invalid", servers->nginx, proxyOut));
    EXPECT_EQ(proxy, proxyOut);
    EXPECT_EQ(0u, servers->LastRequest("/_connect").find("CONNECT nohost.invalid:" + std::to_string(servers->nginx)));
    char header[4096] = "";
    tunnel.FormatRequestHeader(header, "nohost.invalid", "/hello.txt", 0, "GET", nullptr, 0, nullptr, 0, 0, 0, true);
    ASSERT_TRUE(tunnel.SendRequest(header, nullptr, nullptr, nullptr));
    EXPECT_EQ(200, tunnel.GetWebState());
    EXPECT_EQ("hello through the tunnel\r\n", Body(tunnel));
}

}  // namespace
