#include "ContactNode.h"

namespace rostview {

WORD KindFormat(Kind kind) {
    static const char* const kNames[] = {
        "Vantor Dosk Core RostLedger Drag Drop Object of Telephone Group",
        "Vantor Dosk Core RostLedger Drag Drop Object of Network Group",
        "Vantor Dosk Core RostLedger Drag Drop Object of Telephone Friend",
        "Vantor Dosk Core RostLedger Drag Drop Object of Network Friend",
        "Vantor Dosk Core RostLedger Drag Drop Object of Black User",
        "Vantor Dosk Core RostLedger Drag Drop Object of Stranger User",
    };
    // Registering a name again gives the same value, so a race here is harmless.
    static WORD formats[6] = {};
    int index = static_cast<int>(kind);
    if (!formats[index]) formats[index] = static_cast<WORD>(RegisterClipboardFormatA(kNames[index]));
    return formats[index];
}

}  // namespace rostview
