// The report q58info gives on one file: a look at the contents (a .q58
// container's survey or a WAV file's), gathered into facts.
#pragma once

#include <string>

#include "facts.h"

struct FileReport {
    Fact facts;
    bool good = false;  // an intact container, or a WAV file q58 accepts
};

// Looks at the file at path and reports on it under name: the name shown in
// the report and in the suggested commands, whose suffix decides what the
// file is when its contents say nothing. q58info passes the same string
// twice; the fuzz target shows arbitrary names over a scratch file.
FileReport reportFile(const std::string& name, const std::string& path);
