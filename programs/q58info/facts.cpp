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

void printJsonString(std::ostream& out, const std::string& text)
{
    out << '"';
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out << '\\' << c;
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out << escaped;
        } else {
            out << c;  // bytes of names pass through as they are
        }
    }
    out << '"';
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
            out << fact.text;
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
