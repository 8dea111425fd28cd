// Turning what the user composed into the chat text that goes on the wire: emoticon
// pictures become their codes, line breaks become "^>", the text is cut to what one
// message carries without splitting a character, and the form (plain or formatted)
// follows the window's two flags.
//
// Plain C++ without Windows headers: the code page comes in as two functions.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ImMessages.h"

namespace chatdesk {

// The form of a window's next text: the first one is formatted, later ones plain until
// the user picks a font, and every one after that is formatted.
class TextFormChoice {
public:
    // The form of the text being sent now (true: formatted); clears the first-text flag.
    bool Next();
    void FontChosen() { formatChanged_ = true; }
    bool FirstText() const { return firstText_; }

private:
    bool firstText_ = true;
    bool formatChanged_ = false;
};

// An embedded object of the compose box: its character position and the user value it
// was inserted with (an emoticon's index).
struct ComposedObject {
    size_t position = 0;
    long userValue = 0;
};

// What RichEdit reports in place of an embedded object in its text.
constexpr wchar_t kObjectPlaceholder = 0xFFFC;

// The code page of the wire's text.
struct TextCodePage {
    std::function<std::string(const std::wstring&)> narrow;  // wide to ANSI
    LeadByteTest isLeadByte = nullptr;
};

// The composed text with each emoticon object replaced by its code (objects taken from
// the last to the first, so earlier positions stay right). An object whose user value
// has no code stays as it was. `codeOf` gives the code of an index, or an empty text.
std::wstring InsertEmoticonCodes(const std::wstring& text, std::vector<ComposedObject> objects,
                                 const std::function<std::wstring(long)>& codeOf);

struct ComposeRequest {
    std::wstring text;  // the compose box's text, at most 800 characters, with CR LF breaks
    std::vector<ComposedObject> objects;
    std::string ownId;
    std::string peerId;
    uint16_t ownStatus = 0;
    ImDateTime now;
    bool formatted = false;
    ChatFormat format;  // the own message format (formatted form only)
};

struct ComposedText {
    ImBytes message;        // the whole "003S"
    size_t textOffset = 0;  // 149 plain, 191 formatted
    std::string wireText;   // ANSI, "^>" breaks, at most 800 bytes: what the own display shows
};

// Builds the chat text of a request (Windows callers pass the system code page).
ComposedText ComposeChatText(const ComposeRequest& request, const TextCodePage& codePage,
                             const std::function<std::wstring(long)>& codeOf);

}  // namespace chatdesk
