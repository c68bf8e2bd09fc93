// The C API's version and status strings.

#include "q58_version.h"

// The header states the version for users; it must be the one the CMake
// project declares, which q58_version.h carries.
namespace {
constexpr int builtMajor = Q58_VERSION_MAJOR;
constexpr int builtMinor = Q58_VERSION_MINOR;
constexpr int builtPatch = Q58_VERSION_PATCH;
constexpr const char* builtVersion = Q58_VERSION_STRING;
}  // namespace
#undef Q58_VERSION_MAJOR
#undef Q58_VERSION_MINOR
#undef Q58_VERSION_PATCH
#undef Q58_VERSION_STRING

#include "q58.h"

static_assert(builtMajor == Q58_VERSION_MAJOR && builtMinor == Q58_VERSION_MINOR &&
                  builtPatch == Q58_VERSION_PATCH,
              "include/q58.h states another version than project(VERSION) in CMakeLists.txt");

const char* q58_version_string(void)
{
    return builtVersion;
}

const char* q58_status_string(int status)
{
    switch (status) {
        case Q58_OK: return "ok";
        case Q58_END_OF_STREAM: return "end of stream";
        case Q58_ERROR_INVALID_ARGUMENT: return "invalid argument";
        case Q58_ERROR_IO: return "input or output failed";
        case Q58_ERROR_NOT_Q58: return "not a q58 file";
        case Q58_ERROR_DAMAGED: return "damaged or incomplete q58 data";
        case Q58_ERROR_UNSUPPORTED: return "codec parameters this decoder cannot use";
        case Q58_ERROR_OUT_OF_MEMORY: return "out of memory";
        case Q58_ERROR_UNSEEKABLE: return "the input cannot seek";
        case Q58_ERROR_TOO_LONG: return "too many packets for a q58 file";
        case Q58_NEED_MORE_DATA: return "the data ends inside a packet";
    }
    return "unknown status";
}
