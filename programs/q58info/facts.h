// Fact: one value in the tree of facts q58info gathers about a file and prints
// for people or as JSON.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

// The facts about one file as a small ordered tree, gathered once and then
// printed either for people (indented lines) or for scripts (one JSON
// object per line).
struct Fact {
    enum class Kind { null, integer, number, text, boolean, object, list };
    Kind kind = Kind::null;
    int64_t integer = 0;
    double number = 0.0;
    std::string text;
    bool boolean = false;
    std::vector<std::pair<std::string, Fact>> fields;  // object, in order
    std::vector<Fact> items;                           // list

    static Fact of(int64_t value);
    static Fact of(double value);
    static Fact of(const std::string& value);
    static Fact of(bool value);
    static Fact object();
    static Fact list();

    // Appends a field to an object; returns the new field's value.
    Fact& add(const std::string& key, Fact value);
};

// {"key": value, ...} on one line, no trailing newline.
void printJson(std::ostream& out, const Fact& fact);

// "key  value" lines, nested objects and lists indented beneath their key.
void printText(std::ostream& out, const Fact& fact, int indent);
