// q58info's report on arbitrary names and contents, in text and in JSON.
// The input is a name, the bytes before the first NUL (quotes, backslashes,
// control characters, bytes that are not UTF-8, anything a command line can
// carry), and the file's contents, every byte after it (a WAV file, a
// container or garbage). Whatever the name, the two reports must hold:
// - JSON: one line that a strict RFC 8259 parser takes as one object, with
//   strings of valid UTF-8, legal escapes only, no raw control character
//   and no key twice in an object; a name that is valid UTF-8 comes back as
//   "file" byte for byte;
// - text: valid UTF-8 with one line per fact (a line for each value and for
//   each heading of a nested object or list) and no control character but
//   the line feeds.

#include <cstdint>
#include <cstring>
#include <set>
#include <sstream>
#include <string>

#include "facts.h"
#include "fuzz_support.h"
#include "report.h"

namespace {

// The code point of the UTF-8 sequence at text[at], advancing at past it;
// false (at unchanged) for a byte that does not start a well-formed sequence
// (stray continuation, overlong form, surrogate, beyond U+10FFFF, cut short).
bool nextCodePoint(const std::string& text, size_t& at, uint32_t& codePoint)
{
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(at);
    size_t length = 0;
    uint32_t value = 0, smallest = 0;
    if (lead < 0x80) {
        codePoint = lead;
        ++at;
        return true;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1Fu, smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0Fu, smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07u, smallest = 0x10000;
    } else {
        return false;
    }
    if (at + length > text.size())
        return false;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return false;
        value = value << 6 | (byte(at + i) & 0x3Fu);
    }
    if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return false;
    codePoint = value;
    at += length;
    return true;
}

bool validUtf8(const std::string& text)
{
    uint32_t codePoint = 0;
    for (size_t at = 0; at < text.size();)
        if (!nextCodePoint(text, at, codePoint))
            return false;
    return true;
}

void appendUtf8(std::string& out, uint32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// A strict RFC 8259 parser that keeps nothing but the decoded string value
// of the top-level "file" key. Every failure aborts through FUZZ_CHECK, so
// the saved input names the rule that broke.
class JsonChecker {
public:
    explicit JsonChecker(const std::string& json) : s(json) {}

    // The whole text is one object and nothing else.
    void checkDocument()
    {
        skipSpace();
        FUZZ_CHECK(peek() == '{');
        value(0);
        skipSpace();
        FUZZ_CHECK(at == s.size());
    }

    bool hasFile = false;
    std::string file;

private:
    const std::string& s;
    size_t at = 0;

    int peek() const { return at < s.size() ? static_cast<uint8_t>(s[at]) : -1; }
    void expect(char c)
    {
        FUZZ_CHECK(peek() == static_cast<uint8_t>(c));
        ++at;
    }
    void skipSpace()
    {
        while (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r')
            ++at;
    }
    void literal(const char* word)
    {
        FUZZ_CHECK(s.compare(at, std::strlen(word), word) == 0);
        at += std::strlen(word);
    }
    bool digit() const { return peek() >= '0' && peek() <= '9'; }
    void digits()
    {
        FUZZ_CHECK(digit());
        while (digit())
            ++at;
    }

    void value(int depth)
    {
        FUZZ_CHECK(depth < 64);
        skipSpace();
        switch (peek()) {
        case '{': object(depth); break;
        case '[': array(depth); break;
        case '"': string(); break;
        case 't': literal("true"); break;
        case 'f': literal("false"); break;
        case 'n': literal("null"); break;
        default: number(); break;
        }
        skipSpace();
    }

    void object(int depth)
    {
        expect('{');
        skipSpace();
        std::set<std::string> keys;
        if (peek() == '}') {
            ++at;
            return;
        }
        for (;;) {
            skipSpace();
            const std::string key = string();
            FUZZ_CHECK(keys.insert(key).second);
            skipSpace();
            expect(':');
            if (depth == 0 && key == "file") {
                skipSpace();
                FUZZ_CHECK(peek() == '"');
                file = string();
                hasFile = true;
                skipSpace();
            } else {
                value(depth + 1);
            }
            if (peek() == '}') {
                ++at;
                return;
            }
            expect(',');
        }
    }

    void array(int depth)
    {
        expect('[');
        skipSpace();
        if (peek() == ']') {
            ++at;
            return;
        }
        for (;;) {
            value(depth + 1);
            if (peek() == ']') {
                ++at;
                return;
            }
            expect(',');
        }
    }

    void number()
    {
        if (peek() == '-')
            ++at;
        if (peek() == '0')
            ++at;
        else
            digits();
        if (peek() == '.') {
            ++at;
            digits();
        }
        if (peek() == 'e' || peek() == 'E') {
            ++at;
            if (peek() == '+' || peek() == '-')
                ++at;
            digits();
        }
    }

    uint32_t hex4()
    {
        FUZZ_CHECK(at + 4 <= s.size());
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = s[at++];
            const char* digitsText = "0123456789abcdef0123456789ABCDEF";
            const char* found = c ? std::strchr(digitsText, c) : nullptr;
            FUZZ_CHECK(found);
            value = value << 4 | static_cast<uint32_t>((found - digitsText) % 16);
        }
        return value;
    }

    // A string token, decoded.
    std::string string()
    {
        expect('"');
        std::string out;
        for (;;) {
            FUZZ_CHECK(at < s.size());
            const uint8_t c = static_cast<uint8_t>(s[at]);
            if (c == '"') {
                ++at;
                return out;
            }
            FUZZ_CHECK(c >= 0x20);
            if (c != '\\') {
                uint32_t codePoint = 0;
                FUZZ_CHECK(nextCodePoint(s, at, codePoint));
                appendUtf8(out, codePoint);
                continue;
            }
            ++at;
            FUZZ_CHECK(at < s.size());
            const char e = s[at++];
            static const char escapes[] = "\"\\/bfnrt";
            static const char meanings[] = "\"\\/\b\f\n\r\t";
            const char* simple = e ? std::strchr(escapes, e) : nullptr;
            if (simple) {
                out += meanings[simple - escapes];
                continue;
            }
            FUZZ_CHECK(e == 'u');
            uint32_t unit = hex4();
            // Surrogates only as a high-low pair: anything else is no character.
            FUZZ_CHECK(unit < 0xDC00 || unit > 0xDFFF);
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                literal("\\u");
                const uint32_t low = hex4();
                FUZZ_CHECK(low >= 0xDC00 && low <= 0xDFFF);
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            }
            appendUtf8(out, unit);
        }
    }
};

// Lines the text report gives these facts: one per value and one per
// heading of a nested object or list.
size_t textLines(const Fact& fact)
{
    size_t lines = 0;
    if (fact.kind == Fact::Kind::list)
        return fact.items.size();
    for (const auto& field : fact.fields) {
        const Fact::Kind kind = field.second.kind;
        lines += 1 + (kind == Fact::Kind::object || kind == Fact::Kind::list ? textLines(field.second) : 0);
    }
    return lines;
}

void checkText(const std::string& text, const Fact& facts)
{
    FUZZ_CHECK(!text.empty() && text.back() == '\n');
    size_t lineFeeds = 0;
    uint32_t c = 0;
    for (size_t at = 0; at < text.size();) {
        FUZZ_CHECK(nextCodePoint(text, at, c));
        lineFeeds += c == '\n';
        FUZZ_CHECK(c == '\n' || (c >= 0x20 && c != 0x7F && (c < 0x80 || c > 0x9F)));
    }
    FUZZ_CHECK(lineFeeds == textLines(facts));
}

std::string scratchFile()
{
    static const std::string path = fuzz::scratchDirectory() + "/input";
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const uint8_t* end = data + size;
    const uint8_t* split = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    const std::string name(data, split ? split : end);
    const uint8_t* contents = split ? split + 1 : end;
    fuzz::writeFile(scratchFile(), contents, static_cast<size_t>(end - contents));

    const FileReport report = reportFile(name, scratchFile());

    std::ostringstream jsonStream;
    printJson(jsonStream, report.facts);
    const std::string json = jsonStream.str();
    FUZZ_CHECK(json.find('\n') == std::string::npos);
    JsonChecker checker(json);
    checker.checkDocument();
    FUZZ_CHECK(checker.hasFile);
    if (validUtf8(name))
        FUZZ_CHECK(checker.file == name);

    std::ostringstream text;
    printText(text, report.facts, 0);
    checkText(text.str(), report.facts);
    return 0;
}
