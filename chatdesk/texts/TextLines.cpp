// Header and notice lines of the chat display.
#include "TextLines.h"

#include <cstdio>

namespace chatdesk {

const wchar_t kOfferLine[] =
    L"    对方可能已经不在线，您可以以留言的方式发送该消息。发送留言还是放弃留言？\n";
const wchar_t kOfferSendLink[] = L"发送留言";
const wchar_t kOfferGiveUpLink[] = L"放弃留言";

namespace {

std::wstring Format(const wchar_t* pattern, int a, int b, int c) {
    wchar_t text[32];
    std::swprintf(text, sizeof text / sizeof text[0], pattern, a, b, c);
    return text;
}

std::wstring DateText(const ImDateTime& t) { return Format(L"%04d-%02d-%02d", t.year, t.month, t.day); }

std::wstring ClockText(const ImDateTime& t) { return Format(L"%02d:%02d:%02d", t.hour, t.minute, t.second); }

}  // namespace

std::wstring SentHeader(const std::wstring& nickname, const ImDateTime& when) {
    wchar_t ms[8];
    std::swprintf(ms, sizeof ms / sizeof ms[0], L":%03d", when.millisecond);
    return L"<" + nickname + L"> <时间：" + DateText(when) + L" " + ClockText(when) + ms + L">\r\n";
}

std::wstring ReceivedHeader(const std::wstring& nickname, const ImDateTime& stamp) {
    return L"<" + nickname + L"> <时间：" + DateText(stamp) + L" " + ClockText(stamp) + L">\r\n";
}

std::wstring OfflineHeader(const std::wstring& name, const ImDateTime& stamp) {
    return L"<" + name + L"><时间：" + DateText(stamp) + L">\r\n";
}

std::wstring NoticeLine(TextNotice notice, const std::wstring& text) {
    switch (notice) {
    case TextNotice::NotSent:
        return L"    消息： \"" + text + L"\" 发送失败了！\n";
    case TextNotice::Refused:
        return L"    消息：\"" + text + L"\" 发送失败了！\n";
    case TextNotice::TimedOut:
        return L"    消息：\"" + text + L"\" 发送超时了！\n";
    case TextNotice::StoreFailed:
        return L"    留言： \"" + text + L"\" 发送失败了！\n";
    }
    return std::wstring();
}

}  // namespace chatdesk
