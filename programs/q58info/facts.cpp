#include "facts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

Fact Fact::of(int64_t value)
{
    Fact f;
    f.kind = Kind::integer;
    f.integer = value;
    return f;
}

Fact Fact::of(double value)
{
    Fact f;
    f.kind = Kind::number;
    f.number = value;
    return f;
}

Fact Fact::of(const std::string& value)
{
    Fact f;
    f.kind = Kind::text;
    f.text = value;
    return f;
}

Fact Fact::of(bool value)
{
    Fact f;
    f.kind = Kind::boolean;
    f.boolean = value;
    return f;
}

Fact Fact::object()
{
    Fact f;
    f.kind = Kind::object;
    return f;
}

Fact Fact::list()
{
    Fact f;
    f.kind = Kind::list;
    return f;
}

Fact& Fact::add(const std::string& key, Fact value)
{
    fields.emplace_back(key, std::move(value));
    return fields.back().second;
}

namespace {

// One piece of UTF-8 text at text[at]: a well-formed sequence, or the
// longest start of one that goes wrong (a stray byte, an overlong form, a
// surrogate, beyond U+10FFFF, cut short), which stands for one replacement
// character as Unicode recommends. Returns the piece's length (at least 1).
size_t utf8Piece(const std::string& text, size_t at, uint32_t& codePoint, bool& wellFormed)
{
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(at);
    codePoint = lead;
    wellFormed = lead < 0x80;
    size_t length = 1;
    uint8_t low = 0x80, high = 0xBF;  // the second byte's range; the others are always 80..BF
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, codePoint = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, codePoint = lead & 0x0Fu;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, codePoint = lead & 0x07u;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    }
    if (length == 1)
        return 1;
    size_t n = 1;
    for (; n < length && at + n < text.size(); ++n) {
        const uint8_t next = byte(at + n);
        if (next < (n == 1 ? low : 0x80) || next > (n == 1 ? high : 0xBF))
            break;
        codePoint = codePoint << 6 | (next & 0x3Fu);
    }
    wellFormed = n == length;
    return n;
}

// C0 controls, DEL and the C1 controls: a terminal acts on them.
bool isControl(uint32_t codePoint) { return codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F); }

// Text from outside (names above all) may hold any bytes: the JSON string
// is valid UTF-8 whatever they are, with U+FFFD for each piece that is not
// UTF-8 and control characters escaped.
void printJsonString(std::ostream& out, const std::string& text)
{
    out << '"';
    for (size_t at = 0; at < text.size();) {
        uint32_t c = 0;
        bool wellFormed = false;
        const size_t length = utf8Piece(text, at, c, wellFormed);
        if (!wellFormed) {
            out << "\\ufffd";
        } else if (c == '"' || c == '\\') {
            out << '\\' << static_cast<char>(c);
        } else if (isControl(c)) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out << escaped;
        } else {
            out.write(text.data() + at, static_cast<std::streamsize>(length));
        }
        at += length;
    }
    out << '"';
}

// The text report keeps one line per fact: control characters and pieces
// that are not UTF-8 show as '?', as in chunk identifiers.
void printShownText(std::ostream& out, const std::string& text)
{
    for (size_t at = 0; at < text.size();) {
        uint32_t c = 0;
        bool wellFormed = false;
        const size_t length = utf8Piece(text, at, c, wellFormed);
        if (!wellFormed || isControl(c))
            out << '?';
        else
            out.write(text.data() + at, static_cast<std::streamsize>(length));
        at += length;
    }
}

std::string formatNumber(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

void printScalar(std::ostream& out, const Fact& fact, bool json)
{
    switch (fact.kind) {
    case Fact::Kind::null: out << (json ? "null" : "-"); break;
    case Fact::Kind::integer: out << fact.integer; break;
    case Fact::Kind::number:
        // JSON has no NaN or infinity; a hostile header may hold them.
        if (json && !std::isfinite(fact.number))
            out << "null";
        else
            out << formatNumber(fact.number);
        break;
    case Fact::Kind::boolean: out << (fact.boolean ? (json ? "true" : "yes") : (json ? "false" : "no")); break;
    case Fact::Kind::text:
        if (json)
            printJsonString(out, fact.text);
        else
            printShownText(out, fact.text);
        break;
    default: break;
    }
}

bool nested(const Fact& fact) { return fact.kind == Fact::Kind::object || fact.kind == Fact::Kind::list; }

}  // namespace

void printJson(std::ostream& out, const Fact& fact)
{
    if (fact.kind == Fact::Kind::object) {
        out << '{';
        for (size_t i = 0; i < fact.fields.size(); ++i) {
            out << (i ? ", " : "");
            printJsonString(out, fact.fields[i].first);
            out << ": ";
            printJson(out, fact.fields[i].second);
        }
        out << '}';
    } else if (fact.kind == Fact::Kind::list) {
        out << '[';
        for (size_t i = 0; i < fact.items.size(); ++i) {
            out << (i ? ", " : "");
            printJson(out, fact.items[i]);
        }
        out << ']';
    } else {
        printScalar(out, fact, true);
    }
}

void printText(std::ostream& out, const Fact& fact, int indent)
{
    const std::string pad(static_cast<size_t>(indent), ' ');
    if (fact.kind == Fact::Kind::list) {
        for (const Fact& item : fact.items) {
            if (item.kind == Fact::Kind::object) {
                // A list of records prints one record per line.
                out << pad;
                for (size_t i = 0; i < item.fields.size(); ++i) {
                    out << (i ? "  " : "") << item.fields[i].first << ' ';
                    printScalar(out, item.fields[i].second, false);
                }
                out << '\n';
            } else {
                out << pad;
                printScalar(out, item, false);
                out << '\n';
            }
        }
        return;
    }
    size_t width = 0;
    for (const auto& field : fact.fields)
        width = std::max(width, field.first.size());
    for (const auto& field : fact.fields) {
        out << pad << field.first;
        if (nested(field.second)) {
            out << ":\n";
            printText(out, field.second, indent + 2);
        } else {
            out << std::string(width - field.first.size() + 2, ' ');
            printScalar(out, field.second, false);
            out << '\n';
        }
    }
}
