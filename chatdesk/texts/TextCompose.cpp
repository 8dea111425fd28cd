// Composition of outgoing chat texts.
#include "TextCompose.h"

#include <algorithm>

namespace chatdesk {

bool TextFormChoice::Next() {
    bool formatted = firstText_ || formatChanged_;
    firstText_ = false;
    return formatted;
}

std::wstring InsertEmoticonCodes(const std::wstring& text, std::vector<ComposedObject> objects,
                                 const std::function<std::wstring(long)>& codeOf) {
    std::wstring result = text;
    // From the last object to the first: an insertion moves only what follows it.
    std::stable_sort(objects.begin(), objects.end(),
                     [](const ComposedObject& a, const ComposedObject& b) { return a.position > b.position; });
    for (const ComposedObject& object : objects) {
        if (object.position > result.size()) continue;
        std::wstring code = codeOf ? codeOf(object.userValue) : std::wstring();
        if (code.empty()) continue;
        // The object's own place holder gives way to the code; any other character stays.
        if (object.position < result.size() && result[object.position] == kObjectPlaceholder) {
            result.replace(object.position, 1, code);
        } else {
            result.insert(object.position, code);
        }
    }
    return result;
}

ComposedText ComposeChatText(const ComposeRequest& request, const TextCodePage& codePage,
                             const std::function<std::wstring(long)>& codeOf) {
    std::wstring wide = InsertEmoticonCodes(request.text.substr(0, kImMaxChatText), request.objects, codeOf);
    std::string ansi = codePage.narrow ? codePage.narrow(wide) : std::string(wide.begin(), wide.end());

    ChatText text;
    text.stamp = MakeImStamp(request.now);
    text.senderId = request.ownId;
    text.receiverId = request.peerId;
    text.formatted = request.formatted;
    text.format = request.format;
    // The cut keeps whole characters: a lead byte is never left without its trail byte.
    text.text = CutChatText(CrLfToMarks(ansi), codePage.isLeadByte);
    text.status = MakeStatusPair(request.ownStatus);

    ComposedText out;
    out.message = BuildChatText(text);
    out.textOffset = request.formatted ? kChatTextFormattedOffset : kChatTextPlainOffset;
    out.wireText = text.text;
    return out;
}

}  // namespace chatdesk
