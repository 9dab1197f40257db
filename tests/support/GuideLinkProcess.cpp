#include "support/GuideLinkProcess.h"

#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#endif

namespace {

std::string contents(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

#ifdef _WIN32

struct GuideLinkProcess::Native {
    PROCESS_INFORMATION process{};
    bool running = false;
    std::string outPath;
    std::string errPath;
};

namespace {

std::string quotedForWindows(const std::string& argument)
{
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
    std::string quoted = "\"";
    for (char c : argument) {
        if (c == '"') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

// The build names the program by its host path; under Wine the host's root is drive Z:.
std::string programPath()
{
    std::string path = "Z:" GUIDE_LINK_PROGRAM;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

std::string temporaryFile(const char* prefix)
{
    char folder[MAX_PATH];
    char path[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    GetTempFileNameA(folder, prefix, 0, path);
    return path;
}

HANDLE inheritableFile(const std::string& path)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

GuideLinkProcess::GuideLinkProcess(const std::vector<std::string>& arguments) : native_(std::make_unique<Native>())
{
    native_->outPath = temporaryFile("glo");
    native_->errPath = temporaryFile("gle");
    std::string commandLine = quotedForWindows(programPath());
    for (const std::string& argument : arguments) commandLine += " " + quotedForWindows(argument);
    HANDLE out = inheritableFile(native_->outPath);
    HANDLE err = inheritableFile(native_->errPath);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    native_->running = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                      &native_->process) != 0;
    CloseHandle(out);
    CloseHandle(err);
}

GuideLinkProcess::~GuideLinkProcess()
{
    if (native_->running) {
        TerminateProcess(native_->process.hProcess, 99);
        WaitForSingleObject(native_->process.hProcess, INFINITE);
    }
    if (native_->process.hProcess) {
        CloseHandle(native_->process.hProcess);
        CloseHandle(native_->process.hThread);
    }
    DeleteFileA(native_->outPath.c_str());
    DeleteFileA(native_->errPath.c_str());
}

bool GuideLinkProcess::started() const { return native_->process.hProcess != nullptr; }

bool GuideLinkProcess::finish(int timeoutMs)
{
    if (!native_->running) return exitCode_ >= 0;
    if (WaitForSingleObject(native_->process.hProcess, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) {
        TerminateProcess(native_->process.hProcess, 99);
        WaitForSingleObject(native_->process.hProcess, INFINITE);
        native_->running = false;
        return false;
    }
    DWORD code = 0;
    GetExitCodeProcess(native_->process.hProcess, &code);
    exitCode_ = static_cast<int>(code);
    native_->running = false;
    return true;
}

std::string GuideLinkProcess::out() const { return contents(native_->outPath); }
std::string GuideLinkProcess::err() const { return contents(native_->errPath); }

void setEnvironment(const std::string& name, const std::string& value)
{
    SetEnvironmentVariableA(name.c_str(), value.c_str());
}

#else

struct GuideLinkProcess::Native {
    pid_t pid = -1;
    bool running = false;
    std::string folder;
};

GuideLinkProcess::GuideLinkProcess(const std::vector<std::string>& arguments)
    : GuideLinkProcess(GUIDE_LINK_PROGRAM, arguments)
{
}

GuideLinkProcess::GuideLinkProcess(const std::string& program, const std::vector<std::string>& arguments)
    : native_(std::make_unique<Native>())
{
    char folder[] = "/tmp/guide-link-run.XXXXXX";
    if (!::mkdtemp(folder)) return;
    native_->folder = folder;
    const std::string outPath = native_->folder + "/out";
    const std::string errPath = native_->folder + "/err";
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(&word[0]);
    argv.push_back(nullptr);

    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const pid_t pid = out >= 0 && err >= 0 ? ::fork() : -1;
    if (pid == 0) {
        // Only what is safe between fork and exec: the simulated mount's threads run on.
        if (::dup2(out, STDOUT_FILENO) < 0 || ::dup2(err, STDERR_FILENO) < 0) ::_exit(126);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    if (out >= 0) ::close(out);
    if (err >= 0) ::close(err);
    native_->pid = pid;
    native_->running = pid > 0;
}

GuideLinkProcess::~GuideLinkProcess()
{
    if (native_->running) {
        ::kill(native_->pid, SIGKILL);
        ::waitpid(native_->pid, nullptr, 0);
    }
    if (!native_->folder.empty()) {
        ::unlink((native_->folder + "/out").c_str());
        ::unlink((native_->folder + "/err").c_str());
        ::rmdir(native_->folder.c_str());
    }
}

bool GuideLinkProcess::started() const { return native_->pid > 0; }

bool GuideLinkProcess::finish(int timeoutMs)
{
    if (!native_->running) return exitCode_ >= 0;
    constexpr int kPollMs = 10;
    for (int waited = 0;; waited += kPollMs) {
        int status = 0;
        if (::waitpid(native_->pid, &status, WNOHANG) == native_->pid) {
            native_->running = false;
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return true;
        }
        if (waited >= timeoutMs) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
    ::kill(native_->pid, SIGKILL);
    ::waitpid(native_->pid, nullptr, 0);
    native_->running = false;
    return false;
}

int GuideLinkProcess::pid() const { return native_->pid; }

void GuideLinkProcess::signal(int signalNumber)
{
    if (native_->running) ::kill(native_->pid, signalNumber);
}

std::string GuideLinkProcess::out() const { return contents(native_->folder + "/out"); }
std::string GuideLinkProcess::err() const { return contents(native_->folder + "/err"); }

void setEnvironment(const std::string& name, const std::string& value) { ::setenv(name.c_str(), value.c_str(), 1); }

#endif

namespace {

GuideLinkProcess::Outcome runToItsEnd(GuideLinkProcess& process)
{
    // motion against a slow simulated mount takes about a minute; a loaded machine, more.
    constexpr int kLongestRunMs = 180000;
    const bool ended = process.started() && process.finish(kLongestRunMs);
    return {ended ? process.exitCode() : -1, process.out(), process.err()};
}

}  // namespace

GuideLinkProcess::Outcome GuideLinkProcess::run(const std::vector<std::string>& arguments)
{
    GuideLinkProcess process(arguments);
    return runToItsEnd(process);
}

#ifndef _WIN32
GuideLinkProcess::Outcome GuideLinkProcess::run(const std::string& program, const std::vector<std::string>& arguments)
{
    GuideLinkProcess process(program, arguments);
    return runToItsEnd(process);
}
#endif
