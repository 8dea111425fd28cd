// Character formats on the wire and in "config\psimprof.cfg", under Wine.
#include <gtest/gtest.h>

#include <string>

#include "CharFormats.h"

using namespace chatdesk;

namespace {

CHARFORMATA Format(const char* face, LONG twips, DWORD effects, COLORREF colour) {
    CHARFORMATA f = {};
    f.cbSize = sizeof f;
    f.dwMask = CFM_FACE | CFM_SIZE | CFM_COLOR | CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT;
    lstrcpynA(f.szFaceName, face, LF_FACESIZE);
    f.yHeight = twips;
    f.dwEffects = effects;
    f.crTextColor = colour;
    return f;
}

std::string TempProfile() {
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    std::string path = std::string(folder) + "charformat_tests.cfg";
    DeleteFileA(path.c_str());
    return path;
}

}  // namespace

TEST(CharFormats, WireFormatBothWays) {
    ChatFormat wire = WireFormatOf(Format("SimSun", 180, CFE_BOLD | CFE_UNDERLINE, RGB(255, 0, 0)));
    EXPECT_EQ("SimSun", wire.face);
    EXPECT_EQ(180, wire.heightTwips);
    EXPECT_EQ('6', FormatCodeFromEffects(wire.effects));
    EXPECT_EQ(0x0000ffu, wire.colour);
    // An extra effect bit (automatic colour) travels as no effects.
    EXPECT_EQ('0', FormatCodeFromEffects(WireFormatOf(Format("A", 200, CFE_BOLD | CFE_AUTOCOLOR, 0)).effects));

    CHARFORMATA peer = Format("Old", 400, CFE_ITALIC, 0);
    peer.yOffset = 30;
    ApplyWireFormat({"KaiTi", 140, kEffectBold | kEffectStrikeOut, 0xff0000}, &peer);
    EXPECT_STREQ("KaiTi", peer.szFaceName);
    EXPECT_EQ(140, peer.yHeight);
    EXPECT_EQ(static_cast<DWORD>(CFE_BOLD | CFE_STRIKEOUT), peer.dwEffects);
    EXPECT_EQ(static_cast<DWORD>(CFM_BOLD | CFM_STRIKEOUT | CFM_SIZE | CFM_FACE | CFM_COLOR | CFM_CHARSET),
              peer.dwMask);
    EXPECT_EQ(0xff0000u, peer.crTextColor);
    EXPECT_EQ(0, peer.yOffset);
}

TEST(CharFormats, StoredPerConversationUnderBothKeys) {
    std::string profile = TempProfile();
    ChatFormatStore store(profile);
    CHARFORMATA own = Format("FangSong", 240, CFE_ITALIC, RGB(0, 0, 255));
    CHARFORMATA peer = Format("KaiTi", 180, CFE_BOLD, RGB(0, 128, 0));
    ASSERT_TRUE(store.SaveOwn("20002", "10001", own));
    ASSERT_TRUE(store.SavePeer("20002", peer));

    // A later window with the same peer finds both; another peer finds nothing.
    CHARFORMATA read = Format("Untouched", 100, 0, 0);
    ChatFormatStore again(profile);
    ASSERT_TRUE(again.LoadOwn("20002", "10001", &read));
    EXPECT_EQ(0, memcmp(&own, &read, sizeof own));
    ASSERT_TRUE(again.LoadPeer("20002", &read));
    EXPECT_EQ(0, memcmp(&peer, &read, sizeof peer));
    CHARFORMATA untouched = Format("Untouched", 100, 0, 0);
    read = untouched;
    EXPECT_FALSE(again.LoadOwn("20003", "10001", &read));
    EXPECT_FALSE(again.LoadPeer("10001", &read));
    EXPECT_EQ(0, memcmp(&untouched, &read, sizeof read));

    char line[512] = {};
    GetPrivateProfileStringA("IMChatCharFormat", "20002-10001", "", line, sizeof line, profile.c_str());
    EXPECT_EQ(2u * 60 + 2, strlen(line)) << "60 bytes as hex and a checksum";

    // A damaged entry is no format.
    WritePrivateProfileStringA("IMChatCharFormat", "20002-20002", "00FF", profile.c_str());
    EXPECT_FALSE(again.LoadPeer("20002", &read));
    EXPECT_EQ(0, memcmp(&untouched, &read, sizeof read));
    DeleteFileA(profile.c_str());
}

TEST(CharFormats, TheFontDialogStartsFromTheMasksAndGivesBackTheChoice) {
    CHARFORMATA format = {};
    format.cbSize = sizeof format;
    format.dwMask = CFM_SIZE | CFM_FACE | CFM_CHARSET | CFM_UNDERLINE;
    format.dwEffects = CFE_UNDERLINE | CFE_STRIKEOUT | CFE_BOLD;
    format.yHeight = 240;
    format.bCharSet = GB2312_CHARSET;
    format.crTextColor = RGB(1, 2, 3);
    lstrcpyA(format.szFaceName, "SimSun");
    FontChoice start = FontChoiceOf(format, 96);
    EXPECT_EQ(-16, start.font.lfHeight);
    EXPECT_TRUE(start.flags & CF_NOSTYLESEL) << "no style without both bold and italic masks";
    EXPECT_EQ(0, start.font.lfWeight);
    EXPECT_TRUE(start.flags & CF_EFFECTS);
    EXPECT_TRUE(start.font.lfUnderline);
    EXPECT_FALSE(start.font.lfStrikeOut) << "strike-out without its mask";
    EXPECT_STREQ("SimSun", start.font.lfFaceName);
    EXPECT_EQ(GB2312_CHARSET, start.font.lfCharSet);
    EXPECT_EQ(RGB(1, 2, 3), start.colour);

    // Only a colour: no effects offered, nothing underlined; the colour still goes in.
    format.dwMask = CFM_COLOR;
    start = FontChoiceOf(format, 96);
    EXPECT_FALSE(start.flags & CF_EFFECTS);
    EXPECT_FALSE(start.font.lfUnderline);
    EXPECT_EQ(0, start.font.lfHeight);
    EXPECT_EQ(RGB(1, 2, 3), start.colour);

    // The choice: bold italic 12 points in red.
    start.font.lfWeight = FW_BOLD;
    start.font.lfItalic = TRUE;
    lstrcpyA(start.font.lfFaceName, "SimHei");
    start.colour = RGB(255, 0, 0);
    CHARFORMATA chosen = FormatOfChoice(start, 120);
    EXPECT_EQ(240, chosen.yHeight);
    EXPECT_EQ(static_cast<DWORD>(CFE_BOLD | CFE_ITALIC), chosen.dwEffects);
    EXPECT_STREQ("SimHei", chosen.szFaceName);
    EXPECT_EQ(RGB(255, 0, 0), chosen.crTextColor);
    EXPECT_EQ(0, chosen.yOffset);
}
