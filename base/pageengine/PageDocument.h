// A loaded page as the engine sees it: its text for the screen and what its declarations
// say in place of script ("<!--surf ...-->" comments, see include/outside/SurfView.h).
#pragma once

#include <string>
#include <vector>

namespace pageengine {

struct PageFunction {
    enum class Result { None, Text, Number };
    std::wstring name;
    Result result = Result::None;
    std::wstring text;
    long number = 0;
};

struct PageDocument {
    std::wstring url;
    std::wstring title;
    std::wstring text;  // what the page shows, tags removed, blanks collapsed
    bool hasSize = false;
    long width = 0;
    long height = 0;
    std::vector<PageFunction> functions;
    std::vector<std::wstring> frames;   // as written in the page
    std::vector<std::wstring> onload;   // navigations once the page is complete
    bool closes = false;
    long error = 0;                     // non-zero: the page stands for a failed load

    // The declared function of that name (compared exactly), or null.
    const PageFunction* Function(const std::wstring& name) const;
};

// Page bytes as text: the charset the page names (GB2312, GBK, GB18030 and UTF-8 are
// known), else UTF-8 when the bytes are valid UTF-8, else the ANSI code page.
std::wstring DecodePage(const std::string& bytes);

// Reads a page's text and declarations.
PageDocument ParsePage(const std::wstring& url, const std::wstring& html);

// The page shown for a failed load.
PageDocument ErrorPage(const std::wstring& url, long status);

}  // namespace pageengine
