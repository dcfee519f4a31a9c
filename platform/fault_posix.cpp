// Crash reports on POSIX systems: signal handlers on an alternate stack.
//
// At the moment of the fault only async-signal-safe work is done, from fixed
// buffers filled at start-up: the message is formatted by hand and written
// with write(2); backtrace() was primed at start-up, so it loads nothing now,
// and libgcc finds unwind tables through glibc's lock-free _dl_find_object;
// which module holds an address is read from a table taken when modules were
// loaded, not from the dynamic loader (whose lock the fault may hold). The
// report process is started with _Fork, which runs no fork handlers and takes
// no malloc lock, and execve; it reads symbols, shows the box, and may
// allocate freely. Then the handler puts the default action back and raises
// the signal again.
#include "Fault.h"

#include "fault_common.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <elf.h>
#include <execinfo.h>   // Required for: backtrace()
#include <fstream>
#include <iterator>
#include <link.h>       // Required for: dl_iterate_phdr()
#include <map>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <ucontext.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace Platform {
namespace {

using FaultText::Copy;
using FaultText::Text;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
constexpr bool kSanitizer = true;
#else
constexpr bool kSanitizer = false;
#endif
#else
constexpr bool kSanitizer = false;
#endif

struct ModuleRange {
    std::uintptr_t start = 0, end = 0, base = 0;
    char path[512] = {};
    char name[64] = {};  // as a report names it
};

constexpr int kMaxModules = 256;
constexpr int kMaxFrames = 24;
const int kSignals[] = {SIGSEGV, SIGILL, SIGBUS, SIGFPE, SIGABRT};

ModuleRange modules[kMaxModules];
volatile int moduleCount = 0;
char self[512];                     // this program's file, for the report process
char caption[64];
bool dialogs = false;
bool installed = false;
const char* volatile faultCall = nullptr;
alignas(16) char alternateStack[64 * 1024];

// -- Formatting without allocating ----------------------------------------------


void WriteAll(int fd, const char* text, std::size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, text, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        text += n;
        size -= static_cast<std::size_t>(n);
    }
}

const char* BaseName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

// A private copy made for reloading (game.<pid>.<n>.dll) is still game.dll to the reader.
void DisplayName(char* to, std::size_t capacity, const char* path) {
    FaultText::DisplayName(to, capacity, BaseName(path), false);
}

int CollectModule(dl_phdr_info* info, std::size_t, void* count) {
    int& n = *static_cast<int*>(count);
    if (n >= kMaxModules) return 1;
    ModuleRange& m = modules[n];
    m.base = info->dlpi_addr;
    m.start = UINTPTR_MAX;
    m.end = 0;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_LOAD) continue;
        m.start = std::min<std::uintptr_t>(m.start, info->dlpi_addr + ph.p_vaddr);
        m.end = std::max<std::uintptr_t>(m.end, info->dlpi_addr + ph.p_vaddr + ph.p_memsz);
    }
    if (m.start >= m.end) return 0;
    const char* path = info->dlpi_name && info->dlpi_name[0] ? info->dlpi_name : self;
    Copy(m.path, sizeof m.path, path);
    DisplayName(m.name, sizeof m.name, path);
    ++n;
    return 0;
}

const ModuleRange* ModuleOf(std::uintptr_t address) {
    for (int i = 0; i < moduleCount; ++i)
        if (address >= modules[i].start && address < modules[i].end) return &modules[i];
    return nullptr;
}

const char* KindOf(int signal, const siginfo_t* info, std::uintptr_t sp, char* scratch, std::size_t capacity) {
    Text text{scratch, capacity};
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    switch (signal) {
    case SIGSEGV:
        // A push or a call just below the stack pointer: the stack ran out.
        if (address + 65536 >= sp && address <= sp + 65536) return "a stack overflow";
        return (text << "a segmentation fault (bad access at ").Hex(address) << ")", scratch;
    case SIGBUS: return (text << "a bus error (at ").Hex(address) << ")", scratch;
    case SIGILL: return "an illegal instruction";
    case SIGFPE:
        if (info->si_code == FPE_INTDIV) return "an integer division by zero";
        if (info->si_code == FPE_INTOVF) return "an integer overflow trap";
        if (info->si_code == FPE_FLTDIV) return "a floating-point division by zero";
        return "a floating-point exception";
    case SIGABRT: return "abort()";
    default: return "a fatal signal";
    }
}

// -- The handler -------------------------------------------------------------------

char message[1024];
char kind[128];
char offsets[kMaxFrames][24];
char* reportArgs[5 + 3 * kMaxFrames + 1];

// Back to the system's own action for `signal`.
void Default(int signal) {
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
}

void OnFault(int signal, siginfo_t* info, void* context) {
    static volatile std::sig_atomic_t entered = 0;
    if (entered) {  // a second fault while reporting: it ends the process as the system would
        Default(signal);
        raise(signal);
        return;
    }
    entered = 1;

    std::uintptr_t pc = 0, sp = 0;
#if defined(__x86_64__)
    const auto* uc = static_cast<const ucontext_t*>(context);
    pc = static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
    sp = static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_RSP]);
#elif defined(__aarch64__)
    const auto* uc = static_cast<const ucontext_t*>(context);
    pc = static_cast<std::uintptr_t>(uc->uc_mcontext.pc);
    sp = static_cast<std::uintptr_t>(uc->uc_mcontext.sp);
#endif

    // The frames from the faulting instruction on (the handler's own come first).
    void* raw[kMaxFrames + 8];
    int count = backtrace(raw, kMaxFrames + 8);
    int first = 0;
    while (first < count && reinterpret_cast<std::uintptr_t>(raw[first]) != pc) ++first;
    if (first == count) {  // not found by the unwinder: the faulting address alone
        raw[0] = reinterpret_cast<void*>(pc);
        first = 0;
        count = pc ? 1 : 0;
    }
    void** frames = raw + first;
    count = std::min(count - first, kMaxFrames);

    // Where it happened: the faulting instruction, or for abort() the first
    // frame outside the C library (the code that called it).
    int at = 0;
    if (signal == SIGABRT) {
        while (at + 1 < count) {
            const ModuleRange* m = ModuleOf(reinterpret_cast<std::uintptr_t>(frames[at]));
            if (m && std::strncmp(m->name, "libc.", 5) != 0) break;
            ++at;
        }
    }
    const std::uintptr_t where = count > 0 ? reinterpret_cast<std::uintptr_t>(frames[at]) : pc;
    const ModuleRange* module = ModuleOf(where);
    const bool inEngine = module && std::strcmp(module->path, self) == 0;
    Text text{message, sizeof message};
    FaultText::Message(text, faultCall, module ? module->name : nullptr, inEngine,
                       KindOf(signal, info, sp, kind, sizeof kind), module ? where - module->base : where);

    WriteAll(2, caption, std::strlen(caption));
    WriteAll(2, ": ", 2);
    WriteAll(2, message, text.size);
    WriteAll(2, "\n", 1);

    // The report process: names for the frames, and the box.
    int n = 0;
    reportArgs[n++] = self;
    reportArgs[n++] = const_cast<char*>(kFaultReportFlag);
    reportArgs[n++] = caption;
    reportArgs[n++] = message;
    reportArgs[n++] = const_cast<char*>(dialogs ? "1" : "0");
    for (int i = 0; i < count; ++i) {
        const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(frames[i]);
        const ModuleRange* m = ModuleOf(address);
        Text offset{offsets[i], sizeof offsets[i]};
        offset.Hex(m ? address - m->base : address);
        reportArgs[n++] = const_cast<char*>(m ? m->path : "?");
        reportArgs[n++] = offsets[i];
        reportArgs[n++] = const_cast<char*>(m ? m->name : "?");
    }
    reportArgs[n] = nullptr;

    pid_t child = self[0] ? _Fork() : -1;
    if (child == 0) {
        execve(self, reportArgs, environ);
        _exit(127);
    }
    int status = 0;
    bool reported = false;
    if (child > 0) {
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {}
        reported = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    if (!reported) {  // no names, but the frames still
        for (int i = 0; i < count; ++i) {
            char frame[128];
            Text f{frame, sizeof frame};
            const char number[3] = {static_cast<char>('0' + i / 10), static_cast<char>('0' + i % 10), 0};
            f << "  #" << number << " " << reportArgs[5 + 3 * i + 2] << "+" << reportArgs[5 + 3 * i + 1] << "\n";
            WriteAll(2, frame, f.size);
        }
    }

    // End by the fault itself: the default action, once this handler returns.
    Default(signal);
    raise(signal);
}

// -- The report process ----------------------------------------------------------

// Function symbols of one ELF file, looked up by offset from its load base.
class SymbolFile {
public:
    explicit SymbolFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (bytes_.size() < sizeof(Elf64_Ehdr) || std::memcmp(bytes_.data(), ELFMAG, SELFMAG) != 0 ||
            bytes_[EI_CLASS] != ELFCLASS64)
            return;
        const auto* header = At<Elf64_Ehdr>(0);
        if (!header || header->e_shentsize != sizeof(Elf64_Shdr)) return;
        // The full table when the file has one, else the exported symbols only.
        for (unsigned type : {SHT_SYMTAB, SHT_DYNSYM}) {
            for (unsigned i = 0; i < header->e_shnum && symbols_.empty(); ++i) {
                const auto* section = At<Elf64_Shdr>(header->e_shoff + i * sizeof(Elf64_Shdr));
                if (!section || section->sh_type != type || section->sh_link >= header->e_shnum) continue;
                const auto* strings = At<Elf64_Shdr>(header->e_shoff + section->sh_link * sizeof(Elf64_Shdr));
                if (!strings) continue;
                for (std::uint64_t k = 0; k + 1 <= section->sh_size / sizeof(Elf64_Sym); ++k) {
                    const auto* sym = At<Elf64_Sym>(section->sh_offset + k * sizeof(Elf64_Sym));
                    if (!sym || ELF64_ST_TYPE(sym->st_info) != STT_FUNC || sym->st_shndx == SHN_UNDEF) continue;
                    if (sym->st_name >= strings->sh_size || strings->sh_offset + sym->st_name >= bytes_.size()) continue;
                    symbols_.push_back({sym->st_value, std::max<std::uint64_t>(sym->st_size, 1),
                                        bytes_.data() + strings->sh_offset + sym->st_name});
                }
            }
            if (!symbols_.empty()) break;
        }
    }

    // The function holding `offset`, demangled, with how far into it; empty when none.
    std::string Name(std::uint64_t offset) const {
        for (const Symbol& s : symbols_) {
            if (offset < s.value || offset >= s.value + s.size) continue;
            int status = 0;
            std::unique_ptr<char, void (*)(void*)> readable(abi::__cxa_demangle(s.name, nullptr, nullptr, &status),
                                                            std::free);
            char delta[32];
            std::snprintf(delta, sizeof delta, "+0x%llx", static_cast<unsigned long long>(offset - s.value));
            return std::string(status == 0 && readable ? readable.get() : s.name) + delta;
        }
        return {};
    }

private:
    struct Symbol {
        std::uint64_t value, size;
        const char* name;
    };
    template <class T>
    const T* At(std::uint64_t offset) const {
        return offset + sizeof(T) <= bytes_.size() ? reinterpret_cast<const T*>(bytes_.data() + offset) : nullptr;
    }
    std::vector<char> bytes_;
    std::vector<Symbol> symbols_;
};

}  // namespace

void InstallFaultHandlers(const char* boxCaption, bool showBox) {
    if (kSanitizer || installed) return;  // a sanitizer's own report says more
    installed = true;
    Copy(caption, sizeof caption, boxCaption);
    dialogs = showBox;
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    self[n > 0 ? n : 0] = '\0';
    void* prime[1];
    backtrace(prime, 1);  // loads the unwinder now, not inside a handler
    NoteLoadedModules();

    stack_t stack{};
    stack.ss_sp = alternateStack;
    stack.ss_size = sizeof alternateStack;
    sigaltstack(&stack, nullptr);
    struct sigaction action {};
    action.sa_sigaction = OnFault;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int signal : kSignals) sigaction(signal, &action, nullptr);
}

void SetFaultCall(const char* call) { faultCall = call; }

void NoteLoadedModules() {
    if (!installed) return;
    int count = 0;
    dl_iterate_phdr(CollectModule, &count);
    moduleCount = count;
}

int RunFaultReport(int argc, char** argv) { return FaultText::ReportWith<SymbolFile>(argc, argv); }

}  // namespace Platform
