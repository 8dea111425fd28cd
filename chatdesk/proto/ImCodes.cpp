#include "ImCodes.h"

namespace chatdesk {

namespace {

struct CodeLength {
    const char* code;
    size_t fixed;
};

// Searched in order, first match wins; "001S" is listed with 0 on purpose: a client never
// receives it, and a receiver consumes only its header.
const CodeLength kCodeTable[] = {
    {"001S", 0},  {"001B", 3},  {"002S", 62}, {"002B", 63},   {"003S", 81}, {"003B", 83},
    {"004S", 346}, {"004B", 87}, {"005S", 4187}, {"005B", 63}, {"006S", 22}, {"007S", 12},
    {"007B", 12}, {"008S", 22}, {"009S", 12}, {"010S", 22},   {"011S", 22}, {"012S", 63},
    {"013S", 22}, {"014S", 61}, {"014B", 63}, {"015S", 22},   {"015B", 61}, {"020S", 42},
    {"021S", 42},
};

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool SameImCode(const void* code, const char* expected) {
    const char* c = static_cast<const char*>(code);
    for (size_t i = 0; i < kImCodeSize; ++i) {
        if (Lower(c[i]) != Lower(expected[i])) return false;
    }
    return true;
}

size_t ImFixedLength(const void* code) {
    for (const CodeLength& entry : kCodeTable) {
        if (SameImCode(code, entry.code)) return entry.fixed;
    }
    return 0;
}

size_t ImVariableLength(const uint8_t* message) {
    const uint8_t* code = message + kImCodeOffset;
    if (SameImCode(code, "003S")) return message[144] == '0' ? 4 : 46;
    if (SameImCode(code, "014S") || SameImCode(code, "015B")) return message[124] == '0' ? 806 : 836;
    return 0;
}

size_t ImWireShortfall(const void* code) { return SameImCode(code, "015B") ? 2 : 0; }

uint32_t ReadDecimalField(const uint8_t* field, size_t count) {
    uint32_t value = 0;
    for (size_t i = 0; i < count && field[i] >= '0' && field[i] <= '9'; ++i) {
        value = value * 10 + static_cast<uint32_t>(field[i] - '0');
    }
    return value;
}

}  // namespace chatdesk
