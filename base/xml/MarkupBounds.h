// What a text holds that the parser must not be given blindly: a document type (whose
// entities can multiply a small text into minutes of parsing) and elements with more
// attributes than any document of ours carries (the parser's time grows with the square
// of their count). One linear pass over the markup, before any parsing.
#pragma once

#include <cstddef>
#include <string>

namespace vantor {
namespace xml {

// More attributes than this on one element refuse the text.
const size_t kMaxAttributesPerElement = 256;

struct MarkupFacts {
    // The document type declaration: where it starts and how long it is (0: none), and
    // whether it carries an internal subset ("[ ... ]", where entities are declared).
    size_t doctypeAt = 0;
    size_t doctypeLength = 0;
    bool doctypeHasSubset = false;
    // The largest number of attributes one start tag carries.
    size_t mostAttributes = 0;
    // Whether every attribute name is ASCII without a capital letter: then no name can be
    // spelled two ways that compare equal without regard to case.
    bool attributeNamesLowerCase = true;
};

// Scans text (markup outside comments, CDATA sections and processing instructions).
// False when the text ends inside a construct the scan cannot close; the parser then
// refuses it anyway, so the facts gathered so far stand.
bool ScanMarkupBounds(const std::wstring& text, MarkupFacts* facts);

}  // namespace xml
}  // namespace vantor
