// Character formats of chat texts and their storage.
#include "CharFormats.h"

#include <algorithm>
#include <cstring>

#include "ProgramFolder.h"

namespace chatdesk {

namespace {

const char kSection[] = "IMChatCharFormat";

uint32_t EffectBits(DWORD effects) {
    uint32_t bits = 0;
    if (effects & CFE_BOLD) bits |= kEffectBold;
    if (effects & CFE_ITALIC) bits |= kEffectItalic;
    if (effects & CFE_UNDERLINE) bits |= kEffectUnderline;
    if (effects & CFE_STRIKEOUT) bits |= kEffectStrikeOut;
    // Any other effect (automatic colour, protection, a link) travels as no effects.
    if (effects & ~static_cast<DWORD>(CFE_BOLD | CFE_ITALIC | CFE_UNDERLINE | CFE_STRIKEOUT)) bits |= 0x10;
    return bits;
}

DWORD RichEditEffects(uint32_t bits) {
    DWORD effects = 0;
    if (bits & kEffectBold) effects |= CFE_BOLD;
    if (bits & kEffectItalic) effects |= CFE_ITALIC;
    if (bits & kEffectUnderline) effects |= CFE_UNDERLINE;
    if (bits & kEffectStrikeOut) effects |= CFE_STRIKEOUT;
    return effects;
}

}  // namespace

ChatFormat WireFormatOf(const CHARFORMATA& format) {
    ChatFormat wire;
    wire.face.assign(format.szFaceName, strnlen(format.szFaceName, LF_FACESIZE));
    wire.heightTwips = format.yHeight;
    wire.effects = EffectBits(format.dwEffects);
    wire.colour = format.crTextColor;
    return wire;
}

void ApplyWireFormat(const ChatFormat& wire, CHARFORMATA* format) {
    std::memset(format->szFaceName, 0, sizeof format->szFaceName);
    std::memcpy(format->szFaceName, wire.face.data(), std::min<size_t>(wire.face.size(), LF_FACESIZE - 1));
    format->yHeight = wire.heightTwips;
    format->crTextColor = wire.colour;
    DWORD effects = RichEditEffects(wire.effects & 0xFu);
    format->dwEffects = effects;
    format->dwMask = effects | CFM_SIZE | CFM_FACE | CFM_COLOR | CFM_CHARSET;
    format->yOffset = 0;
}

FontChoice FontChoiceOf(const CHARFORMATA& format, int pixelsPerInch) {
    FontChoice choice;
    LOGFONTA& font = choice.font;
    choice.flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT;
    if (format.dwMask & CFM_SIZE) font.lfHeight = -MulDiv(format.yHeight, pixelsPerInch, 1440);
    if ((format.dwMask & (CFM_BOLD | CFM_ITALIC)) == (CFM_BOLD | CFM_ITALIC)) {
        font.lfWeight = (format.dwEffects & CFE_BOLD) ? FW_BOLD : FW_NORMAL;
        font.lfItalic = (format.dwEffects & CFE_ITALIC) ? TRUE : FALSE;
    } else {
        choice.flags |= CF_NOSTYLESEL;
    }
    if (format.dwMask & CFM_UNDERLINE) font.lfUnderline = (format.dwEffects & CFE_UNDERLINE) ? TRUE : FALSE;
    if (format.dwMask & CFM_STRIKEOUT) font.lfStrikeOut = (format.dwEffects & CFE_STRIKEOUT) ? TRUE : FALSE;
    if (format.dwMask & (CFM_UNDERLINE | CFM_STRIKEOUT)) choice.flags |= CF_EFFECTS;
    if (format.dwMask & CFM_FACE) lstrcpynA(font.lfFaceName, format.szFaceName, LF_FACESIZE);
    if (format.dwMask & CFM_CHARSET) font.lfCharSet = format.bCharSet;
    choice.colour = format.crTextColor;
    return choice;
}

CHARFORMATA FormatOfChoice(const FontChoice& choice, int pointTenths) {
    const LOGFONTA& font = choice.font;
    CHARFORMATA chosen = {};
    chosen.cbSize = sizeof chosen;
    chosen.dwMask = CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT | CFM_SIZE | CFM_FACE | CFM_CHARSET |
                    CFM_COLOR | CFM_OFFSET;
    if (font.lfWeight >= FW_BOLD) chosen.dwEffects |= CFE_BOLD;
    if (font.lfItalic) chosen.dwEffects |= CFE_ITALIC;
    if (font.lfUnderline) chosen.dwEffects |= CFE_UNDERLINE;
    if (font.lfStrikeOut) chosen.dwEffects |= CFE_STRIKEOUT;
    chosen.yHeight = pointTenths * 2;
    lstrcpynA(chosen.szFaceName, font.lfFaceName, LF_FACESIZE);
    chosen.bCharSet = font.lfCharSet;
    chosen.bPitchAndFamily = font.lfPitchAndFamily;
    chosen.crTextColor = choice.colour;
    return chosen;
}

ChatFormatStore ChatFormatStore::InProgramFolder() {
    return ChatFormatStore(vantor::imkit::ProgramFolderA() + "\\config\\psimprof.cfg");
}

bool ChatFormatStore::Load(const std::string& key, CHARFORMATA* format) const {
    CHARFORMATA read = {};
    if (!GetPrivateProfileStructA(kSection, key.c_str(), &read, sizeof read, profile_.c_str())) return false;
    *format = read;
    return true;
}

bool ChatFormatStore::Save(const std::string& key, const CHARFORMATA& format) const {
    CHARFORMATA copy = format;
    return WritePrivateProfileStructA(kSection, key.c_str(), &copy, sizeof copy, profile_.c_str()) != FALSE;
}

bool ChatFormatStore::LoadOwn(const std::string& peerId, const std::string& ownId, CHARFORMATA* format) const {
    return Load(peerId + "-" + ownId, format);
}

bool ChatFormatStore::LoadPeer(const std::string& peerId, CHARFORMATA* format) const {
    return Load(peerId + "-" + peerId, format);
}

bool ChatFormatStore::SaveOwn(const std::string& peerId, const std::string& ownId, const CHARFORMATA& format) const {
    return Save(peerId + "-" + ownId, format);
}

bool ChatFormatStore::SavePeer(const std::string& peerId, const CHARFORMATA& format) const {
    return Save(peerId + "-" + peerId, format);
}

}  // namespace chatdesk
