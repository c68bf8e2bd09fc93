// Windows only: while q58 runs, the console shows its output as UTF-8, the
// code page the manifest gives the process, so names echoed in the
// "encoding" and "decoding" lines appear as typed. The console's previous
// output code page is restored at exit, since the console outlives q58.
// Output to a pipe or file is unaffected: the bytes are written as they are.

#include <windows.h>

namespace {

class ConsoleOutputUtf8 {
public:
    ConsoleOutputUtf8() : previous(GetConsoleOutputCP())
    {
        if (previous != 0 && previous != CP_UTF8)
            changed = SetConsoleOutputCP(CP_UTF8) != 0;
    }
    ~ConsoleOutputUtf8()
    {
        if (changed)
            SetConsoleOutputCP(previous);
    }
    ConsoleOutputUtf8(const ConsoleOutputUtf8&) = delete;
    ConsoleOutputUtf8& operator=(const ConsoleOutputUtf8&) = delete;

private:
    UINT previous;  // 0 when the process has no console
    bool changed = false;
};

const ConsoleOutputUtf8 consoleOutputUtf8;

}  // namespace
