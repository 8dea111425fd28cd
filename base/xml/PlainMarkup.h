// A quick check that a text is a well-formed document of the plain kind the programs
// write themselves: elements with attributes, and nothing but white space between the
// tags. Such a text can be read straight from its markup without the parser building a
// document and freeing it again.
//
// The check is stricter than the parser: whatever it accepts the parser accepts too and
// reads as the same elements and attributes. Anything else (comments, processing
// instructions, text, CDATA, a document type, names beyond plain ASCII ones, references
// other than the five named ones and characters, deep nesting) is no plain text, and the
// caller hands it to the parser as before.
#pragma once

#include <string>

namespace vantor {
namespace xml {

// True when text is plain and well-formed; *rootHoldsElements (if given) then tells
// whether the root element holds at least one element.
bool IsPlainWellFormed(const std::wstring& text, bool* rootHoldsElements = nullptr);

}  // namespace xml
}  // namespace vantor
