// The character formats of a chat window: the wire's format block to and from a RichEdit
// CHARFORMATA, and the stored formats of each conversation in "config\psimprof.cfg"
// [IMChatCharFormat] (the own format under "<peer>-<own>", the peer's under "<peer>-<peer>").
#pragma once

#include <windows.h>
#include <commdlg.h>
#include <richedit.h>

#include <string>

#include "ImMessages.h"

namespace chatdesk {

static_assert(sizeof(CHARFORMATA) == 60, "the stored format is a 60-byte CHARFORMATA");

// The format block a formatted text carries for a character format.
ChatFormat WireFormatOf(const CHARFORMATA& format);
// A received format block laid over `format`: face, height, colour and effects (mask and
// effects both the code's combination), with size, face, colour and character set in the
// mask and no vertical offset.
void ApplyWireFormat(const ChatFormat& wire, CHARFORMATA* format);

// What the font dialog starts from for a character format, and what the user chose in it.
struct FontChoice {
    LOGFONTA font = {};
    DWORD flags = 0;  // CHOOSEFONT flags
    COLORREF colour = 0;
};
// Size at `pixelsPerInch` when the format has one; weight and italic only with both their
// masks (else no style choice); underline and strike-out each with its mask (effects then
// offered); face and character set with theirs; the colour always.
FontChoice FontChoiceOf(const CHARFORMATA& format, int pixelsPerInch);
// The format the dialog's choice makes (`pointTenths`: the chosen size in tenths of a point).
CHARFORMATA FormatOfChoice(const FontChoice& choice, int pointTenths);

class ChatFormatStore {
public:
    // `profile`: the full path of "config\psimprof.cfg".
    explicit ChatFormatStore(std::string profile) : profile_(std::move(profile)) {}
    // "<program folder>\config\psimprof.cfg".
    static ChatFormatStore InProgramFolder();

    // A missing or damaged entry leaves the format as it was (false).
    bool LoadOwn(const std::string& peerId, const std::string& ownId, CHARFORMATA* format) const;
    bool LoadPeer(const std::string& peerId, CHARFORMATA* format) const;
    bool SaveOwn(const std::string& peerId, const std::string& ownId, const CHARFORMATA& format) const;
    bool SavePeer(const std::string& peerId, const CHARFORMATA& format) const;

private:
    bool Load(const std::string& key, CHARFORMATA* format) const;
    bool Save(const std::string& key, const CHARFORMATA& format) const;
    std::string profile_;
};

}  // namespace chatdesk
