#pragma once

// Input files arrive as Windows-1251 from the engineers' older tools, but a
// modern editor saves UTF-8 (sometimes with a byte-order mark) or UTF-16.
// Every input is turned into UTF-8 here, once, by looking at its bytes and
// never at the process locale, so that the loads see one form of text.

#include <string>
#include <string_view>

namespace relan::text {

enum class Encoding { Cp1251, Utf8, Utf8Bom, Utf16LE, Utf16BE };

struct Decoded {
    std::string utf8; // lines end with LF or CR LF
    Encoding encoding = Encoding::Cp1251;
};

// A byte-order mark decides; without one, text that is valid UTF-8 and has
// letters beyond ASCII is UTF-8 (Russian Windows-1251 text is practically
// never valid UTF-8), anything else is Windows-1251. A text whose lines end
// with CR alone gets LF line ends. Raises relan::Error naming fileName when a
// marked UTF-8 or UTF-16 text does not decode.
Decoded decodeInput(std::string_view bytes, const std::string& fileName);

// The text of an input file as decodeInput finds it, without the decoded
// copy: a failure file of a large fleet is tens of megabytes, and its reader
// needs one line at a time. UTF-8 is used where it lies, Windows-1251 is left
// for the reader to decode piece by piece (codes 0..127, line breaks, tabs
// and blanks included, are the same bytes in both), and only UTF-16 is
// converted whole.
struct InputText {
    Encoding encoding = Encoding::Cp1251;
    std::string_view bytes; // the input after its byte-order mark; not read for UTF-16
    std::string converted;  // the UTF-8 form of a UTF-16 text
    char lineEnd = '\n';    // '\r' for a text whose lines end with CR alone

    // UTF-8, or the Windows-1251 bytes.
    std::string_view text() const {
        return encoding == Encoding::Utf16LE || encoding == Encoding::Utf16BE ? std::string_view(converted)
                                                                              : bytes;
    }
};
// Refuses what decodeInput refuses; `bytes` must outlive the result.
InputText inputText(std::string_view bytes, const std::string& fileName);

// Appends the UTF-8 form of a code point.
void appendUtf8(std::string& out, char32_t c);

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::string_view bytes);
// Unmarked bytes that are read as UTF-8 rather than Windows-1251: valid
// UTF-8 with at least one byte beyond ASCII.
bool readsAsUtf8(std::string_view bytes);
// Unmarked bytes as UTF-8, by readsAsUtf8; never raises.
std::string unmarkedToUtf8(std::string_view bytes);

// C0 controls, DEL or C1 controls (U+0080..U+009F) in a UTF-8 text: nothing
// a person typed as a name or a path.
bool hasControlCharacters(std::string_view utf8);

// Lower case of Latin, Latin-1 and Cyrillic letters; other characters stay.
std::string lowerUtf8(std::string_view utf8);
// The same in place of what `out` held, so that one buffer serves every line
// of a file.
void lowerUtf8(std::string_view utf8, std::string& out);

// The text for a message: control characters (a NUL, a tab, byte 0x98 of
// Windows-1251, which has no letter) and bytes that are not UTF-8 are shown
// as \xNN, and a long text is cut after maxChars characters with "…".
std::string visible(std::string_view utf8, std::size_t maxChars = 80);
// visible() in Russian quotes: «…».
std::string quoted(std::string_view utf8, std::size_t maxChars = 80);

} // namespace relan::text
