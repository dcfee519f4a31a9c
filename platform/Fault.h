// Reporting a crash (a segmentation fault, an illegal instruction, a bus error,
// a division trap, abort(), a stack overflow) the way the host reports an
// exception: one "<caption>: <message>" line on stderr naming the call that
// was running, the kind of fault and where it happened as module + offset
// ("game.dll+0x1a2b"), then a short backtrace with function names where the
// module has symbols, and the error box. Then the process ends by the fault
// itself, so core dumps, debuggers and supervisors still see it.
//
// What runs at the moment of the fault allocates nothing and takes no lock:
// it writes with write(2) from fixed buffers, and the symbol look-up and the
// box run in a separate process (the program itself, started with
// kFaultReportFlag), which may do anything.
#pragma once

namespace Platform {

// Installs the handlers (once, at start-up). `caption` is the prefix of the
// stderr line and the title of the box; `dialogs` says whether to show it.
void InstallFaultHandlers(const char* caption, bool dialogs);

// The call into the game running now ("init", "tick", "reload"), named in a
// report; null while the engine runs its own code.
void SetFaultCall(const char* call);

// Takes note of the modules loaded now, whose names and offsets a report
// gives. Module loading and unloading here call it themselves.
void NoteLoadedModules();

// The program started as the report process: argv[1] is kFaultReportFlag.
inline constexpr const char* kFaultReportFlag = "--fault-report";
int RunFaultReport(int argc, char** argv);

}  // namespace Platform
