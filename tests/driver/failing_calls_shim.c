/* A preload library that makes one system call fail for chosen files, so
 * that the tests can see what q58 and libq58 do when the disk or the kernel
 * refuses to complete an output.
 *
 *   Q58_FAIL_CALL   fsync, fdatasync, close, fclose or rename
 *   Q58_FAIL_PATH   a substring of the file names concerned (for rename:
 *                   of either name); nothing fails when unset or empty
 *   Q58_FAIL_ERRNO  EIO (the default) or ENOSPC
 *
 * Descriptors are matched to names by following open, openat and fopen, so
 * that the descriptor calls fail only for the files named. A failing close
 * or fclose still releases the descriptor, as the kernel does. The calls
 * the process makes for other files pass through unchanged.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum { trackedDescriptors = 4096 };

/* Nonzero for a descriptor opened on a name holding Q58_FAIL_PATH. */
static unsigned char chosen[trackedDescriptors];

static const char* failingPath(void)
{
    const char* path = getenv("Q58_FAIL_PATH");
    return path != NULL && path[0] != '\0' ? path : NULL;
}

static int isChosenName(const char* name)
{
    const char* path = failingPath();
    return path != NULL && name != NULL && strstr(name, path) != NULL;
}

static int failsCall(const char* call)
{
    const char* wanted = getenv("Q58_FAIL_CALL");
    return wanted != NULL && strcmp(wanted, call) == 0;
}

static int failureErrno(void)
{
    const char* name = getenv("Q58_FAIL_ERRNO");
    return name != NULL && strcmp(name, "ENOSPC") == 0 ? ENOSPC : EIO;
}

static void note(int fd, const char* name)
{
    if (fd >= 0 && fd < trackedDescriptors)
        chosen[fd] = (unsigned char)isChosenName(name);
}

/* True (and the descriptor forgotten when closing) for a descriptor of a
 * chosen file. */
static int wasChosen(int fd, int closing)
{
    if (fd < 0 || fd >= trackedDescriptors)
        return 0;
    const int was = chosen[fd];
    if (closing)
        chosen[fd] = 0;
    return was;
}

static int fail(void)
{
    errno = failureErrno();
    return -1;
}

static void* next(const char* symbol) { return dlsym(RTLD_NEXT, symbol); }

/* open and openat take a mode only when they may create the file. */
static mode_t modeArgument(int flags, va_list arguments)
{
    return (flags & O_CREAT) || (flags & __O_TMPFILE) == __O_TMPFILE ? (mode_t)va_arg(arguments, int) : 0;
}

int open(const char* name, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    int (*real)(const char*, int, ...) = (int (*)(const char*, int, ...))next("open");
    const int fd = real(name, flags, mode);
    note(fd, name);
    return fd;
}

int open64(const char* name, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    int (*real)(const char*, int, ...) = (int (*)(const char*, int, ...))next("open64");
    const int fd = real(name, flags, mode);
    note(fd, name);
    return fd;
}

int openat(int directory, const char* name, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    int (*real)(int, const char*, int, ...) = (int (*)(int, const char*, int, ...))next("openat");
    const int fd = real(directory, name, flags, mode);
    note(fd, name);
    return fd;
}

FILE* fopen(const char* name, const char* mode)
{
    FILE* (*real)(const char*, const char*) = (FILE * (*)(const char*, const char*)) next("fopen");
    FILE* file = real(name, mode);
    if (file != NULL)
        note(fileno(file), name);
    return file;
}

FILE* fopen64(const char* name, const char* mode)
{
    FILE* (*real)(const char*, const char*) = (FILE * (*)(const char*, const char*)) next("fopen64");
    FILE* file = real(name, mode);
    if (file != NULL)
        note(fileno(file), name);
    return file;
}

int fsync(int fd)
{
    if (wasChosen(fd, 0) && failsCall("fsync"))
        return fail();
    int (*real)(int) = (int (*)(int))next("fsync");
    return real(fd);
}

int fdatasync(int fd)
{
    if (wasChosen(fd, 0) && failsCall("fdatasync"))
        return fail();
    int (*real)(int) = (int (*)(int))next("fdatasync");
    return real(fd);
}

int close(int fd)
{
    const int failing = wasChosen(fd, 1) && failsCall("close");
    int (*real)(int) = (int (*)(int))next("close");
    const int result = real(fd);
    return failing ? fail() : result;
}

int fclose(FILE* file)
{
    /* The C library closes the descriptor inside, not through close(). */
    const int failing = file != NULL && wasChosen(fileno(file), 1) && failsCall("fclose");
    int (*real)(FILE*) = (int (*)(FILE*))next("fclose");
    const int result = real(file);
    if (failing) {
        errno = failureErrno();
        return EOF;
    }
    return result;
}

int rename(const char* from, const char* to)
{
    if ((isChosenName(from) || isChosenName(to)) && failsCall("rename"))
        return fail();
    int (*real)(const char*, const char*) = (int (*)(const char*, const char*))next("rename");
    return real(from, to);
}
