#include "cli_harness.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string shellQuote(const std::string& s)
{
    std::string quoted = "'";
    for (char c : s) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

std::string slurp(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

ScratchDir::ScratchDir()
{
    static int counter = 0;
    std::random_device entropy;
    root = fs::temp_directory_path() /
           ("q58-cli-" + std::to_string(entropy()) + "-" + std::to_string(++counter));
    fs::create_directories(root);
}

ScratchDir::~ScratchDir()
{
    std::error_code ignored;
    fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(root, ignored);
}

CliResult ScratchDir::runQ58(const std::vector<std::string>& arguments) const
{
    return run(Q58_EXE, arguments);
}

CliResult ScratchDir::run(const std::string& program, const std::vector<std::string>& arguments) const
{
    std::string command = "cd " + shellQuote(root.string()) + " && " + shellQuote(program);
    for (const auto& a : arguments)
        command += " " + shellQuote(a);
    const fs::path outFile = root.parent_path() / (root.filename().string() + ".stdout");
    const fs::path errFile = root.parent_path() / (root.filename().string() + ".stderr");
    command += " >" + shellQuote(outFile.string()) + " 2>" + shellQuote(errFile.string());
    const int status = std::system(command.c_str());
    CliResult result;
    result.exitStatus = (status != -1 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
    result.out = slurp(outFile);
    result.err = slurp(errFile);
    std::error_code ignored;
    fs::remove(outFile, ignored);
    fs::remove(errFile, ignored);
    return result;
}

RunningQ58::RunningQ58(const ScratchDir& dir, const std::vector<std::string>& arguments, const LaunchOptions& options)
{
    static int launches = 0;
    errPath = dir.path().parent_path() / (dir.path().filename().string() + ".stderr" + std::to_string(++launches));
    int fds[2];
    if (::pipe(fds) != 0)
        return;
    // The smallest pipe the system allows (one page): the run cannot get
    // far ahead of the test.
    ::fcntl(fds[1], F_SETPIPE_SZ, 4096);
    std::vector<std::string> argv = {options.program.empty() ? std::string(Q58_EXE) : options.program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> args;
    for (auto& a : argv)
        args.push_back(&a[0]);
    args.push_back(nullptr);
    // The environment is made before the fork: the child only calls what
    // is safe between fork and exec.
    std::vector<std::string> environment = options.environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string name = std::string(*entry).substr(0, std::string(*entry).find('='));
        const bool replaced = std::any_of(options.environment.begin(), options.environment.end(),
                                          [&](const std::string& e) { return e.compare(0, name.size() + 1, name + "=") == 0; });
        if (!replaced)
            environment.push_back(*entry);
    }
    std::vector<char*> envp;
    for (auto& e : environment)
        envp.push_back(&e[0]);
    envp.push_back(nullptr);
    const std::string cwd = dir.path().string();
    pid = ::fork();
    if (pid == 0) {
        if (::chdir(cwd.c_str()) != 0)
            ::_exit(126);
        if (options.stdoutReaderGone)
            ::close(fds[0]);
        ::dup2(fds[1], 1);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(err, 2);
        if (options.fileSizeLimit > 0) {
            const rlimit limit{options.fileSizeLimit, options.fileSizeLimit};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (options.addressSpaceLimit > 0) {
            const rlimit limit{options.addressSpaceLimit, options.addressSpaceLimit};
            ::setrlimit(RLIMIT_AS, &limit);
        }
        if (options.creationMask >= 0)
            ::umask(static_cast<mode_t>(options.creationMask));
        for (int s : options.ignoredSignals)
            ::signal(s, SIG_IGN);
        ::execve(args[0], args.data(), envp.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    if (options.stdoutReaderGone)
        ::close(fds[0]);
    else
        outFd = fds[0];
}

RunningQ58::~RunningQ58()
{
    if (pid > 0) {
        ::kill(pid, SIGKILL);
        finish();
    }
    if (outFd >= 0)
        ::close(outFd);
}

std::string RunningQ58::readLine(char end)
{
    std::string line;
    char c;
    while (outFd >= 0 && ::read(outFd, &c, 1) == 1) {
        out += c;
        line += c;
        if (c == end)
            break;
    }
    return line;
}

void RunningQ58::sendSignal(int signalNumber) const
{
    if (pid > 0)
        ::kill(pid, signalNumber);
}

CliResult RunningQ58::finish()
{
    char buffer[4096];
    ssize_t got;
    while (outFd >= 0 && (got = ::read(outFd, buffer, sizeof buffer)) > 0)
        out.append(buffer, static_cast<size_t>(got));
    CliResult result;
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid) {
        result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
        result.endingSignal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
    pid = -1;
    result.out = out;
    result.err = slurp(errPath);
    std::error_code ignored;
    fs::remove(errPath, ignored);
    return result;
}

std::vector<uint8_t> readFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void putLe32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t getLe32(const std::vector<uint8_t>& bytes, size_t offset)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | bytes[offset + i];
    return v;
}

std::vector<uint8_t> makeWav(const std::vector<int16_t>& samples, uint16_t channels, uint32_t sampleRate,
                             uint16_t bitsPerSample)
{
    const uint16_t blockAlign = static_cast<uint16_t>(channels * bitsPerSample / 8);
    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    std::vector<uint8_t> b(44);
    auto put16 = [&](size_t at, uint16_t v) {
        b[at] = static_cast<uint8_t>(v);
        b[at + 1] = static_cast<uint8_t>(v >> 8);
    };
    std::copy_n("RIFF", 4, b.begin());
    putLe32(b, 4, 36 + dataBytes);
    std::copy_n("WAVEfmt ", 8, b.begin() + 8);
    putLe32(b, 16, 16);
    put16(20, 1);
    put16(22, channels);
    putLe32(b, 24, sampleRate);
    putLe32(b, 28, sampleRate * blockAlign);
    put16(32, blockAlign);
    put16(34, bitsPerSample);
    std::copy_n("data", 4, b.begin() + 36);
    putLe32(b, 40, dataBytes);
    for (int16_t s : samples) {
        b.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s)));
        b.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8));
    }
    return b;
}

std::vector<int16_t> silence(size_t frames) { return std::vector<int16_t>(2 * frames, 0); }

std::vector<int16_t> chordSignal(size_t frames, uint32_t seed)
{
    std::vector<int16_t> s(2 * frames);
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> jitter(-1.0, 1.0);
    const double freqs[3] = {220.0 + 3.0 * seed, 277.2, 329.6};
    for (size_t n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n) / 44100.0;
        double l = 0, r = 0;
        for (int v = 0; v < 3; ++v) {
            l += std::sin(2 * 3.14159265358979323846 * freqs[v] * t) * (3000.0 + 1000.0 * v);
            r += std::sin(2 * 3.14159265358979323846 * freqs[v] * t + 0.7 * v) * (4000.0 - 800.0 * v);
        }
        l += 300.0 * jitter(random);
        r += 300.0 * jitter(random);
        s[2 * n] = static_cast<int16_t>(std::lround(l));
        s[2 * n + 1] = static_cast<int16_t>(std::lround(r));
    }
    return s;
}
