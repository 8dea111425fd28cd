#include "BenchBook.h"

namespace testkit {

std::wstring BenchmarkBook(int friends) {
    const int perGroup = friends / 50;
    const wchar_t* surnames = L"张王李赵刘陈杨黄周吴";
    std::wstring text = L"<AddressList version=\"1.0\"><FriendList id=\"1\">";
    int n = 0;
    for (int root = 0; root < 2; ++root) {
        text += root ? L"<Group id=\"11\" name=\"网上好友\">" : L"<Group id=\"10\" name=\"电话好友\">";
        for (int g = 0; g < 25; ++g) {
            text += L"<Group id=\"" + std::to_wstring(root * 100 + g + 100) + L"\" name=\"分组" + std::to_wstring(g) + L"\">";
            for (int f = 0; f < perGroup; ++f, ++n) {
                std::wstring id = std::to_wstring(13900000000LL + n);
                std::wstring who = std::wstring(1, surnames[n % 10]) + L"先生" + std::to_wstring(n);
                text += L"<Friend id=\"" + id + L"\" nickname=\"" + who + L"\" name=\"" + who +
                        L"\" sex=\"1\" birthday=\"19800101\" email=\"u" + std::to_wstring(n) +
                        L"@mail.cn\" voip=\"8" + std::to_wstring(n) + L"\" phone=\"010" + std::to_wstring(n) +
                        L"\" mobile=\"" + id + L"\" xlt=\"x" + std::to_wstring(n) +
                        L"\" province=\"11\" city=\"北京市海淀区\" age=\"35\"><ServicePolicy id=\"9\" name=\"在线服务\" "
                        L"code0=\"key=value\" status=\"1\"/></Friend>";
            }
            text += L"</Group>";
        }
        text += L"</Group>";
    }
    return text + L"</FriendList><BlackList id=\"0\"/></AddressList>";
}

}  // namespace testkit
