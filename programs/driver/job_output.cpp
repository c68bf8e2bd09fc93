#include "driver/job_output.h"

#include <csignal>
#include <cstring>

#ifdef _WIN32
#include <cstdlib>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

// The temporary file an interruption removes. Written only while the
// interrupting signals are blocked; the handler reads it, so it is a plain
// character array and a flag of the type signal handlers may test.
char trackedName[8192];
volatile std::sig_atomic_t tracking = 0;

void track(const std::string& name)
{
    if (name.size() >= sizeof trackedName)
        return;  // longer than any path the system accepts
    std::memcpy(trackedName, name.c_str(), name.size() + 1);
    tracking = 1;
}

void untrack() { tracking = 0; }

#ifdef _WIN32

// Ctrl+C and Ctrl+Break arrive on a thread of their own; the file may still
// be open there, in which case it cannot be removed.
void onInterruption(int signalNumber)
{
    if (tracking)
        DeleteFileA(trackedName);
    std::_Exit(128 + signalNumber);
}

#else

// Only async-signal-safe calls: unlink, then the default action of the same
// signal, which ends the process as the caller expects.
extern "C" void onInterruption(int signalNumber)
{
    if (tracking)
        ::unlink(trackedName);
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

constexpr int interruptions[] = {SIGINT, SIGTERM, SIGHUP};

sigset_t interruptionSet()
{
    sigset_t set;
    sigemptyset(&set);
    for (int s : interruptions)
        sigaddset(&set, s);
    return set;
}

#endif

}  // namespace

#ifdef _WIN32

void installSignalHandling()
{
    for (int s : {SIGINT, SIGBREAK, SIGTERM})
        std::signal(s, onInterruption);
}

JobOutput::HeldSignals::HeldSignals() {}
void JobOutput::HeldSignals::release() {}

#else

void installSignalHandling()
{
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onInterruption;
    action.sa_mask = interruptionSet();  // one handler at a time
    for (int s : interruptions) {
        struct sigaction before;
        if (sigaction(s, nullptr, &before) == 0 && before.sa_handler != SIG_IGN)
            sigaction(s, &action, nullptr);
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

JobOutput::HeldSignals::HeldSignals()
{
    const sigset_t set = interruptionSet();
    held = sigprocmask(SIG_BLOCK, &set, &previous) == 0;
}

void JobOutput::HeldSignals::release()
{
    if (held)
        sigprocmask(SIG_SETMASK, &previous, nullptr);
    held = false;
}

#endif

JobOutput::JobOutput(const std::string& finalName) : file(finalName)
{
    if (file.ok())
        track(file.temporaryName());
    creating.release();
}

JobOutput::~JobOutput() { abandon(); }

bool JobOutput::commit()
{
    // A signal after the rename finds the temporary name gone: harmless.
    const bool done = file.commit();
    untrack();
    return done;
}

void JobOutput::abandon()
{
    HeldSignals removing;
    file.abandon();
    untrack();
}
