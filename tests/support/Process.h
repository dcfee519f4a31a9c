// Running the real engine (or any program) from a test: arguments, working
// directory, extra environment, captured stdout/stderr, exit status, timeout.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace TestSupport {

struct RunOptions {
    std::string cwd;                       // empty: the test's own working directory
    std::vector<std::string> env;          // "NAME=value" added to the environment
    int timeoutMs = 30000;
};

struct RunResult {
    int exitCode = -1;      // exit status, or -1 when killed by a signal
    int signal = 0;         // the signal that ended it, if any
    bool timedOut = false;  // killed because it ran past the timeout
    std::string out;        // everything it wrote on stdout
    std::string err;        // everything it wrote on stderr
};

// A program started in the background; Wait() collects it.
class Process {
public:
    Process(const std::string& program, const std::vector<std::string>& args, const RunOptions& options = {});
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t Pid() const { return pid_; }
    bool Running();
    // Waits until stderr holds `text` past its first `from` characters (true),
    // or the process ends or time runs out (false).
    bool WaitForStderr(const std::string& text, int timeoutMs, std::size_t from = 0);
    const std::string& Stderr() const { return result_.err; }  // what it wrote so far
    RunResult Wait();          // waits up to the timeout, then kills
    void Kill(int signal);

private:
    void Pump(int waitMs);
    pid_t pid_ = -1;
    int outFd_ = -1, errFd_ = -1;
    int timeoutMs_;
    RunResult result_;
    bool reaped_ = false;
};

RunResult Run(const std::string& program, const std::vector<std::string>& args, const RunOptions& options = {});

// A fresh temporary directory, removed with its contents when the object dies.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The engine and a game module copied into a fresh folder, so that the
// game.dll beside the build's own engine is not the one found.
struct EngineInstall {
    TempDir root;
    std::string bin;     // root/<binDir>: engine and game.dll
    std::string assets;  // bin/assets, made only when asked for

    // An empty `module` leaves game.dll out.
    EngineInstall(const std::string& engine, const std::string& module, const std::string& binDir = "bin",
                  bool withAssets = true);
};

void CopyFile(const std::string& from, const std::string& to);  // keeps the mode bits
void CopyFolder(const std::string& from, const std::string& to);  // its files and folders into `to`
void MakeDirs(const std::string& path);
std::vector<std::string> Lines(const std::string& text);
// The numbers on the last line of `text` that starts with `label` and a space
// (what a test game reported last under that label); empty when there is none.
std::vector<float> LastNumbers(const std::string& text, const std::string& label);
// The same in double precision, for clock readings.
std::vector<double> LastNumbersPrecise(const std::string& text, const std::string& label);

// Runs a shell command under the test's DISPLAY and returns its stdout (trimmed).
std::string Shell(const std::string& command);

// Waits until a window with this exact title is mapped; returns its X window id or "".
std::string WaitForWindow(const std::string& title, int timeoutMs = 15000);

}  // namespace TestSupport
