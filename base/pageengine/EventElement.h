// The page-event element of the browser library: after percent-decoding,
//   <element id="N" a1="..." ... a6="..."/>   or   <element id="N">text</element>
#pragma once

#include <string>
#include <vector>

namespace pageengine {

struct EventElement {
    int id = 0;
    std::vector<std::string> texts;  // one to six, in order
};

// False (and nothing filled in) for anything that is not such an element: no id, a
// non-decimal id, no text, more than six texts, a gap in a1..a6, or a broken element.
bool ParseEventElement(const std::string& element, EventElement* out);

}  // namespace pageengine
