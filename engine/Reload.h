// Changing the game while it runs. With VANTOR_RELOAD=1 the engine runs a
// private copy of game.dll and watches the original, every model file
// loaded with "LoadModel", and every font and image file. Once a watched file was rewritten and then left
// alone for a moment, the new module is bound in place of the old one (the
// scene stays), or the new model replaces the old one in its buffer. A module
// that does not load, or fails, never ends the session: the old one keeps
// running, or the game pauses until the next good build.
//
// Without VANTOR_RELOAD nothing here runs: no copies, no watching, and every
// failure of the game stays fatal.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace Reload {

bool Enabled();  // VANTOR_RELOAD=1, read once

// Finds game.dll as the loader would, makes the private copy LoadGame loads
// and starts watching the original; removes copies that dead processes left.
// Empty when game.dll was not found beside the program or in the working
// directory, or could not be copied: it is then loaded as usual, unwatched.
std::string StartModule(const char* fileName);

// A model file just loaded into `buffer` (path as given, relative to the
// working directory), watched from now on.
void WatchModel(const std::string& buffer, const std::string& path);

// Any other resource file, watched under `key` from now on (a key watched
// before is replaced). Once the file was rewritten and left alone, `reload` is
// called with its path; it returns false when the resource is gone, which ends
// the watch.
void WatchFile(const std::string& key, const std::string& path, std::function<bool(const std::string&)> reload);

// Once per frame, before drawing: binds a rebuilt game.dll, reloads rewritten
// model, font and image files.
void Poll();

// A call into the game that threw, in reload mode: the game stops getting
// ticks, the message is written once, and the frame shows it until a good
// build arrives.
void Pause(const std::string& message, bool initFailed);
bool Paused();
void DrawPauseNotice();  // inside the frame, over the scene

// Removes the private copies; the module must be unloaded first (at exit).
void Finish();

// The host's store behind Game::Keep: `size` bytes under `name`, the same
// block for every module loaded in this process. A new block (or one whose
// size changed) is zeroed and *fresh set to 1. The address stays valid until
// the process ends or the size under that name changes.
void* KeepBlock(const char* name, std::size_t size, int* fresh);

}  // namespace Reload
