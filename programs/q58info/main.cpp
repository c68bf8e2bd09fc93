// q58info [--json] FILE...: describes .q58 containers and WAV files: what
// they hold, whether they are intact, and whether q58 takes them.

#include <iostream>
#include <string>
#include <vector>

#include "report.h"
#include "q58_version.h"

namespace {

const char usage[] =
    "Usage: q58 NAME.wav|NAME.q58 ...\n"
    "       q58info [--json] FILE ...\n"
    "       q58info --help | --version\n"
    "\n"
    "q58 converts each name in the order given: NAME.wav (16-bit PCM stereo,\n"
    "44100 Hz) is encoded into NAME.q58, and NAME.q58 is decoded into\n"
    "NAME.q58.wav. It has no options and prints no usage text; names with any\n"
    "other suffix are passed over. A .wav or .q58 name that is not converted\n"
    "gets one line on standard error with the reason (and, for a WAV in\n"
    "another layout or format, commands that make a copy q58 accepts).\n"
    "Exit status 1 when something named was not converted or was damaged.\n"
    "\n"
    "q58info describes each FILE. For a .q58 container: every header field,\n"
    "frame count, duration, file size, average and peak bitrate, smallest and\n"
    "largest packet, and whether every packet is intact (else where the damage\n"
    "starts). For a WAV file: its chunks, its format and whether q58 accepts\n"
    "it (else why, and the commands that make an accepted copy).\n"
    "Exit status 1 when a file is damaged, unusable or refused by q58.\n"
    "\n"
    "  --json     one JSON object per file, one per line\n"
    "  --help     this text\n"
    "  --version  the version\n"
    "\n"
    "Manual pages: q58(1), q58info(1).\n";

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> names;
    bool json = false;
    bool optionsDone = false;
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        if (optionsDone || arg.empty() || arg[0] != '-' || arg == "-") {
            names.push_back(arg);
        } else if (arg == "--") {
            optionsDone = true;
        } else if (arg == "--json") {
            json = true;
        } else if (arg == "--help" || arg == "-h") {
            std::cout << usage;
            return 0;
        } else if (arg == "--version") {
            std::cout << "q58 " << Q58_VERSION_STRING << '\n';
            return 0;
        } else {
            std::cerr << "q58info: unknown option '" << arg << "' (see q58info --help)\n";
            return 1;
        }
    }
    if (names.empty()) {
        std::cerr << usage;
        return 1;
    }

    bool allGood = true;
    for (size_t i = 0; i < names.size(); ++i) {
        const FileReport report = reportFile(names[i], names[i]);
        allGood = allGood && report.good;
        if (json) {
            printJson(std::cout, report.facts);
            std::cout << '\n';
        } else {
            std::cout << (i ? "\n" : "");
            printText(std::cout, report.facts, 0);
        }
    }
    std::cout.flush();
    return allGood && std::cout ? 0 : 1;
}
