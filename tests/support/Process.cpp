#include "Process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace TestSupport {
namespace {

using Clock = std::chrono::steady_clock;

bool Drain(int& fd, std::string& into) {
    if (fd < 0) return false;
    char buffer[4096];
    ssize_t n = read(fd, buffer, sizeof(buffer));
    if (n > 0) {
        into.append(buffer, static_cast<size_t>(n));
        return true;
    }
    if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        close(fd);
        fd = -1;
    }
    return false;
}

}  // namespace

Process::Process(const std::string& program, const std::vector<std::string>& args, const RunOptions& options)
    : timeoutMs_(options.timeoutMs) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        setpgid(0, 0);  // its own group, so a timeout kills everything it started
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(out[0]); close(out[1]); close(err[0]); close(err[1]);
        int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0) dup2(devnull, 0);
        if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(126);
        for (const std::string& kv : options.env) putenv(strdup(kv.c_str()));
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        std::fprintf(stderr, "exec %s: %s\n", program.c_str(), std::strerror(errno));
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    outFd_ = out[0];
    errFd_ = err[0];
    fcntl(outFd_, F_SETFL, O_NONBLOCK);
    fcntl(errFd_, F_SETFL, O_NONBLOCK);
}

Process::~Process() {
    if (!reaped_) {
        Kill(SIGKILL);
        Wait();
    }
    if (outFd_ >= 0) close(outFd_);
    if (errFd_ >= 0) close(errFd_);
}

void Process::Pump(int waitMs) {
    pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
    if (outFd_ < 0 && errFd_ < 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
        return;
    }
    poll(fds, 2, waitMs);
    while (Drain(outFd_, result_.out)) {}
    while (Drain(errFd_, result_.err)) {}
}

bool Process::Running() {
    if (reaped_) return false;
    Pump(0);
    int status = 0;
    pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
        reaped_ = true;
        if (WIFEXITED(status)) result_.exitCode = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) result_.signal = WTERMSIG(status);
        return false;
    }
    return true;
}

bool Process::WaitForStderr(const std::string& text, int timeoutMs, std::size_t from) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < deadline) {
        if (result_.err.find(text, from) != std::string::npos) return true;
        if (!Running()) return result_.err.find(text, from) != std::string::npos;
        Pump(20);
    }
    return false;
}

void Process::Kill(int signal) {
    if (!reaped_ && pid_ > 0) kill(-pid_, signal);
}

RunResult Process::Wait() {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs_);
    while (Running()) {
        if (Clock::now() > deadline) {
            result_.timedOut = true;
            Kill(SIGKILL);
            deadline = Clock::now() + std::chrono::hours(1);
        }
        Pump(20);
    }
    // Whatever is still in the pipes after the exit.
    while (outFd_ >= 0 || errFd_ >= 0) Pump(10);
    return result_;
}

RunResult Run(const std::string& program, const std::vector<std::string>& args, const RunOptions& options) {
    Process p(program, args, options);
    return p.Wait();
}

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "vantor-test.XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = fs::canonical(pattern).string();
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

EngineInstall::EngineInstall(const std::string& engine, const std::string& module, const std::string& binDir,
                             bool withAssets)
    : bin(root / binDir), assets(bin + "/assets") {
    MakeDirs(withAssets ? assets : bin);
    CopyFile(engine, bin + "/engine");
    if (!module.empty()) CopyFile(module, bin + "/game.dll");
}

void CopyFile(const std::string& from, const std::string& to) {
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

void MakeDirs(const std::string& path) { fs::create_directories(path); }

void CopyFolder(const std::string& from, const std::string& to) {
    fs::create_directories(to);
    fs::copy(from, to, fs::copy_options::overwrite_existing | fs::copy_options::recursive);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<double> LastNumbersPrecise(const std::string& text, const std::string& label) {
    std::vector<double> out;
    const std::size_t at = text.rfind("\n" + label + " ");
    if (at == std::string::npos) return out;
    const std::size_t from = at + 1 + label.size();
    std::istringstream line(text.substr(from, text.find('\n', from) - from));
    for (std::string word; line >> word;) {
        char* end = nullptr;
        const double v = std::strtod(word.c_str(), &end);
        if (end && *end == '\0') out.push_back(v);
    }
    return out;
}

std::vector<float> LastNumbers(const std::string& text, const std::string& label) {
    const std::vector<double> precise = LastNumbersPrecise(text, label);
    return std::vector<float>(precise.begin(), precise.end());
}

std::string Shell(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return output;
    char buffer[512];
    while (fgets(buffer, sizeof(buffer), pipe)) output += buffer;
    pclose(pipe);
    while (!output.empty() && (output.back() == '\n' || output.back() == ' ')) output.pop_back();
    return output;
}

std::string WaitForWindow(const std::string& title, int timeoutMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < deadline) {
        std::string id = Shell("xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null | head -n1");
        if (!id.empty()) return id;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return {};
}

}  // namespace TestSupport
