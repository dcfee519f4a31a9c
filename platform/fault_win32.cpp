// Crash reports on Windows: the unhandled-exception filter, and abort()'s
// SIGABRT.
//
// The filter runs on the faulting thread, whose heap lock the fault may hold:
// it formats into fixed buffers, writes with WriteFile, walks the stack with
// RtlVirtualUnwind over the exception's own context, and names modules from a
// table taken when they were loaded. Starting the report process (which
// allocates) is left to a thread made at start-up for that alone; the filter
// waits for it a bounded time, so a lock held by the fault cannot hang the
// process. Then the filter lets the system end the process by the exception.
// The thread keeps 64 KB of stack in reserve, so a stack overflow can still
// be reported.
#include "Fault.h"

#include "fault_common.h"

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Platform {
namespace {

using FaultText::Copy;
using FaultText::Text;

struct ModuleRange {
    std::uintptr_t start = 0, end = 0;
    char path[MAX_PATH] = {};
    char name[64] = {};
};

constexpr int kMaxModules = 256;
constexpr int kMaxFrames = 24;

ModuleRange modules[kMaxModules];
volatile LONG moduleCount = 0;
char self[MAX_PATH];
char caption[64];
bool dialogs = false;
bool installed = false;
const char* volatile faultCall = nullptr;
HANDLE reportAsked = nullptr, reportStarted = nullptr, reportDone = nullptr;
char message[1024];
char commandLine[16384];


void WriteError(const char* text, std::size_t size) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(size), &written, nullptr);
}

const char* BaseName(const char* path) {
    const char* cut = path;
    for (const char* p = path; *p; ++p)
        if (*p == '\\' || *p == '/') cut = p + 1;
    return cut;
}

// A private copy made for reloading (game.<pid>.<n>.dll) is still game.dll to the reader.
void DisplayName(char* to, std::size_t capacity, const char* path) {
    FaultText::DisplayName(to, capacity, BaseName(path), true);
}

const ModuleRange* ModuleOf(std::uintptr_t address) {
    for (LONG i = 0; i < moduleCount; ++i)
        if (address >= modules[i].start && address < modules[i].end) return &modules[i];
    return nullptr;
}

const char* KindOf(const EXCEPTION_RECORD& record, char* scratch, std::size_t capacity) {
    Text text{scratch, capacity};
    switch (record.ExceptionCode) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_IN_PAGE_ERROR:
        return (text << "a segmentation fault (bad access at ")
                   .Hex(record.NumberParameters > 1 ? record.ExceptionInformation[1] : 0)
               << ")", scratch;
    case EXCEPTION_STACK_OVERFLOW: return "a stack overflow";
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION: return "an illegal instruction";
    case EXCEPTION_DATATYPE_MISALIGNMENT: return "a bus error (misaligned access)";
    case EXCEPTION_INT_DIVIDE_BY_ZERO: return "an integer division by zero";
    case EXCEPTION_INT_OVERFLOW: return "an integer overflow trap";
    case EXCEPTION_FLT_DIVIDE_BY_ZERO: return "a floating-point division by zero";
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_UNDERFLOW:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_STACK_CHECK: return "a floating-point exception";
    default: return (text << "exception ").Hex(record.ExceptionCode), scratch;
    }
}

// The report's message, and the report process's command line with the frames.
void Compose(const char* kind, std::uintptr_t where, const std::uintptr_t* frames, int count) {
    const ModuleRange* module = ModuleOf(where);
    const bool inEngine = module && _stricmp(module->path, self) == 0;
    Text text{message, sizeof message};
    FaultText::Message(text, faultCall, module ? module->name : nullptr, inEngine, kind,
                       module ? where - module->start : where);

    Text line{commandLine, sizeof commandLine};
    line << "\"" << self << "\" " << kFaultReportFlag << " \"" << caption << "\" \"";
    for (const char* c = message; *c; ++c) {
        const char quoted[2] = {*c == '"' ? '\'' : *c, 0};
        line << quoted;
    }
    line << "\" " << (dialogs ? "1" : "0");
    for (int i = 0; i < count; ++i) {
        const ModuleRange* m = ModuleOf(frames[i]);
        line << " \"" << (m ? m->path : "?") << "\" ";
        line.Hex(m ? frames[i] - m->start : frames[i]) << " \"" << (m ? m->name : "?") << "\"";
    }
}

// Runs the report process when asked; made at start-up, so the faulting
// thread never has to allocate.
DWORD WINAPI ReportThread(void*) {
    WaitForSingleObject(reportAsked, INFINITE);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const BOOL started =
        CreateProcessA(nullptr, commandLine, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    SetEvent(reportStarted);
    if (started) {
        WaitForSingleObject(process.hProcess, INFINITE);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    SetEvent(reportDone);
    return 0;
}

void Report(const char* kind, std::uintptr_t where, const std::uintptr_t* frames, int count) {
    static volatile LONG entered = 0;
    if (InterlockedExchange(&entered, 1)) return;
    Compose(kind, where, frames, count);
    WriteError(caption, std::strlen(caption));
    WriteError(": ", 2);
    WriteError(message, std::strlen(message));
    WriteError("\n", 1);
    if (!reportAsked) return;
    SetEvent(reportAsked);
    // A report process that cannot start within seconds will not: go on ending.
    if (WaitForSingleObject(reportStarted, 5000) == WAIT_OBJECT_0) WaitForSingleObject(reportDone, INFINITE);
}

bool Fatal(DWORD code) {
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION: case EXCEPTION_IN_PAGE_ERROR: case EXCEPTION_STACK_OVERFLOW:
    case EXCEPTION_ILLEGAL_INSTRUCTION: case EXCEPTION_PRIV_INSTRUCTION: case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_INT_DIVIDE_BY_ZERO: case EXCEPTION_INT_OVERFLOW: case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INVALID_OPERATION: case EXCEPTION_FLT_OVERFLOW: case EXCEPTION_FLT_UNDERFLOW:
    case EXCEPTION_FLT_INEXACT_RESULT: case EXCEPTION_FLT_DENORMAL_OPERAND: case EXCEPTION_FLT_STACK_CHECK:
        return true;
    default:
        return false;
    }
}

// Frames from the faulting instruction on, unwound from the exception's context.
int Unwind(const CONTEXT& faulting, std::uintptr_t* frames) {
    int count = 0;
#if defined(_M_X64) || defined(__x86_64__)
    CONTEXT context = faulting;
    while (count < kMaxFrames && context.Rip) {
        frames[count++] = context.Rip;
        DWORD64 base = 0;
        RUNTIME_FUNCTION* function = RtlLookupFunctionEntry(context.Rip, &base, nullptr);
        if (!function) {  // a leaf function: the return address is on top of the stack
            context.Rip = *reinterpret_cast<DWORD64*>(context.Rsp);
            context.Rsp += 8;
            continue;
        }
        void* handlerData = nullptr;
        DWORD64 frame = 0;
        RtlVirtualUnwind(UNW_FLAG_NHANDLER, base, context.Rip, function, &context, &handlerData, &frame, nullptr);
    }
#else
    frames[count++] = faulting.Eip;
#endif
    return count;
}

LONG WINAPI OnUnhandled(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
    if (!Fatal(record.ExceptionCode)) return EXCEPTION_CONTINUE_SEARCH;
    static std::uintptr_t frames[kMaxFrames];
    static char kind[128];
    const int count = Unwind(*pointers->ContextRecord, frames);
    const auto where = reinterpret_cast<std::uintptr_t>(record.ExceptionAddress);
    Report(KindOf(record, kind, sizeof kind), where, frames, count);
    return EXCEPTION_CONTINUE_SEARCH;  // the system ends the process by the exception
}

void OnAbort(int) {
    static std::uintptr_t frames[kMaxFrames];
    CONTEXT context{};
    RtlCaptureContext(&context);
    int count = Unwind(context, frames);
    // Past the C runtime's abort() and raise(): the code that called abort().
    int at = 0;
    while (at + 1 < count) {
        const ModuleRange* m = ModuleOf(frames[at]);
        if (m && _stricmp(m->name, "msvcrt.dll") != 0 && _stricmp(m->path, self) != 0) break;
        ++at;
    }
    Report("abort()", count ? frames[at] : 0, frames + at, count - at);
    // abort() goes on to end the process with its own status.
}

// Function symbols of a PE file's COFF symbol table, looked up by RVA.
class SymbolFile {
public:
    explicit SymbolFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        auto at = [&bytes](std::size_t offset, std::size_t size) {
            return offset + size <= bytes.size() ? bytes.data() + offset : nullptr;
        };
        const char* dos = at(0, sizeof(IMAGE_DOS_HEADER));
        if (!dos) return;
        const auto peOffset = reinterpret_cast<const IMAGE_DOS_HEADER*>(dos)->e_lfanew;
        const char* nt = at(peOffset, sizeof(IMAGE_NT_HEADERS64));
        if (!nt) return;
        const IMAGE_FILE_HEADER& file = reinterpret_cast<const IMAGE_NT_HEADERS64*>(nt)->FileHeader;
        const std::size_t sectionsAt = peOffset + 4 + sizeof(IMAGE_FILE_HEADER) + file.SizeOfOptionalHeader;
        const char* sections = at(sectionsAt, file.NumberOfSections * sizeof(IMAGE_SECTION_HEADER));
        const char* symbols = at(file.PointerToSymbolTable, file.NumberOfSymbols * 18);
        if (!sections || !symbols || file.NumberOfSymbols == 0) return;
        const std::size_t stringsAt = file.PointerToSymbolTable + file.NumberOfSymbols * 18;
        for (DWORD i = 0; i < file.NumberOfSymbols; ++i) {
            const auto* sym = reinterpret_cast<const IMAGE_SYMBOL*>(symbols + i * 18);
            const int section = sym->SectionNumber;
            if (section > 0 && section <= file.NumberOfSections && ISFCN(sym->Type)) {
                const auto* header = reinterpret_cast<const IMAGE_SECTION_HEADER*>(sections) + (section - 1);
                std::string name;
                if (sym->N.Name.Short) {
                    name.assign(reinterpret_cast<const char*>(sym->N.ShortName),
                                strnlen(reinterpret_cast<const char*>(sym->N.ShortName), 8));
                } else if (const char* s = at(stringsAt + sym->N.Name.Long, 1)) {
                    name = std::string(s, strnlen(s, bytes.size() - (stringsAt + sym->N.Name.Long)));
                }
                functions_[header->VirtualAddress + sym->Value] = name;
            }
            i += sym->NumberOfAuxSymbols;
        }
    }

    std::string Name(std::uint64_t rva) const {
        auto it = functions_.upper_bound(rva);
        if (it == functions_.begin()) return {};
        --it;
        int status = 0;
        std::unique_ptr<char, void (*)(void*)> readable(abi::__cxa_demangle(it->second.c_str(), nullptr, nullptr, &status),
                                                        std::free);
        char delta[32];
        std::snprintf(delta, sizeof delta, "+0x%llx", static_cast<unsigned long long>(rva - it->first));
        return (status == 0 && readable ? std::string(readable.get()) : it->second) + delta;
    }

private:
    std::map<std::uint64_t, std::string> functions_;
};

}  // namespace

void InstallFaultHandlers(const char* boxCaption, bool showBox) {
    if (installed) return;
    installed = true;
    Copy(caption, sizeof caption, boxCaption);
    dialogs = showBox;
    GetModuleFileNameA(nullptr, self, sizeof self);
    NoteLoadedModules();
    ULONG reserve = 64 * 1024;
    SetThreadStackGuarantee(&reserve);
    reportAsked = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    reportStarted = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    reportDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 256 * 1024, ReportThread, nullptr, 0, nullptr);
    if (thread) CloseHandle(thread);
    else reportAsked = nullptr;
    SetUnhandledExceptionFilter(OnUnhandled);
    std::signal(SIGABRT, OnAbort);
}

void SetFaultCall(const char* call) { faultCall = call; }

void NoteLoadedModules() {
    if (!installed) return;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, GetCurrentProcessId());
    if (snapshot == INVALID_HANDLE_VALUE) return;
    MODULEENTRY32 entry{};
    entry.dwSize = sizeof entry;
    LONG count = 0;
    for (BOOL more = Module32First(snapshot, &entry); more && count < kMaxModules; more = Module32Next(snapshot, &entry)) {
        ModuleRange& m = modules[count++];
        m.start = reinterpret_cast<std::uintptr_t>(entry.modBaseAddr);
        m.end = m.start + entry.modBaseSize;
        Copy(m.path, sizeof m.path, entry.szExePath);
        DisplayName(m.name, sizeof m.name, entry.szExePath);
    }
    CloseHandle(snapshot);
    moduleCount = count;
}

int RunFaultReport(int argc, char** argv) { return FaultText::ReportWith<SymbolFile>(argc, argv); }

}  // namespace Platform
