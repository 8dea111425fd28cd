// The small text fields of chat messages: stamps, status pairs, format codes, colours,
// heights, line-break marks and the cut of a text to what one message carries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace chatdesk {

constexpr size_t kImStampSize = 20;
constexpr size_t kImMaxChatText = 800;

// Effect bits of a character format, as the format code carries them.
constexpr uint32_t kEffectBold = 1;
constexpr uint32_t kEffectItalic = 2;
constexpr uint32_t kEffectUnderline = 4;
constexpr uint32_t kEffectStrikeOut = 8;

struct ImDateTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

// "yyyyMMddhhmmssmmm000": 20 characters, no terminator inside a message.
std::string MakeImStamp(const ImDateTime& when);
// Reads a stamp's date and time; false when any of its first 17 characters is no digit.
bool ReadImStamp(const char* stamp, ImDateTime* when);

// The sender's 16-bit status as two characters: one digit and "*", or the first two digits.
std::string MakeStatusPair(uint16_t status);
// The status a pair gives: the first character's digit; -1 when it is "*" or no digit.
int ReadStatusPair(const char* pair);

// '0' to 'F' for the sixteen combinations of the four effect bits; '0' when any other bit is set.
char FormatCodeFromEffects(uint32_t effects);
// The combination a code stands for; none for a character outside the table.
uint32_t EffectsFromFormatCode(char code);

// "#" and six lower-case hex digits of the colour value 0x00BBGGRR (7 characters).
std::string MakeColourField(uint32_t colour);
// The value of up to six hex digits (read to the first non-hex character).
uint32_t ReadColourDigits(const uint8_t* digits);

// Height in twips divided by 10 as decimal text, its first two characters (2 bytes; a
// one-digit value leaves the second zero).
std::string MakeHeightField(long twips);
// The two characters' number times 10, in twips.
long ReadHeightField(const uint8_t* field);

// Line breaks travel as "^>" in place of each CR LF.
std::string CrLfToMarks(const std::string& text);
std::string MarksToCrLf(const std::string& text);

// The text cut to at most `maxBytes` bytes without splitting a double-byte character;
// `isLeadByte` tells the code page's lead bytes (null: every byte stands alone).
using LeadByteTest = bool (*)(uint8_t);
std::string CutChatText(const std::string& text, LeadByteTest isLeadByte, size_t maxBytes = kImMaxChatText);

// An account id the client accepts from a peer: non-empty, terminated inside its field,
// not "." or "..", and without \ / : * ? " < > | = [ ] or control characters (it names
// windows and record files). `field` is `size` bytes; the id goes to `id` when valid.
bool ReadImId(const uint8_t* field, size_t size, std::string* id);
bool IsAcceptableImId(const std::string& id);

// Bounded text of a zero-filled field: up to the first zero or the field's end.
std::string ReadTextField(const uint8_t* field, size_t size);

}  // namespace chatdesk
