// Every fatal message of the host, in one table: an id and its text, with "{}"
// where a value goes. Code and tests refer to messages by id.
#pragma once

#include <sstream>
#include <string>
#include <utility>

#include "Global.h"

#define VANTOR_FATAL_MESSAGES(X)                                                                                 \
    X(NoWindow, "Could not open the game window: no display, or no OpenGL 3.3 driver (the lines above say which).") \
    X(ModuleNotFound, "game.dll not found")                                                                      \
    X(NoInitExport, "Init function not found in game.dll.")                                                      \
    X(NoTickExport, "Tick function not found in game.dll.")                                                      \
    X(NoDefineExport, "Invalid dll. You probably didn't generate this properly.")                                \
    X(ForeignRuntime, "game.dll was built for another C++ runtime than the engine's. Build it with {}.")         \
    X(InitFailed, "Init failed.")                                                                                \
    X(TickFailed, "Tick failed.")                                                                                \
    X(InvalidInstanceType, "Invalid instance type: \"{}\"")                                                      \
    X(InvalidLightType, "Invalid light type \"{}\"")                                                             \
    X(InvalidShadowUpdateMode, "Invalid shadow update mode \"{}\"")                                              \
    X(OutOfInstanceIds, "Could not create an instance because every instance id has been used.")                 \
    X(OutOfSlotMemory, "Could not reserve memory for instance variables.")                                       \
    X(OutOfBufferIndices, "Could not create buffer \"{}\" because every buffer index has been used.")            \
    X(OutOfSlotNumbers, "Could not map instance to buffer \"{}\" because every slot number has been used.")      \
    X(CreateBufferExists, "Could not create buffer \"{}\" because it already exists.")                           \
    X(RemoveBufferMissing, "Could not remove buffer \"{}\" because it does not exist.")                          \
    X(UpdateBufferMissing, "Could not update buffer \"{}\" because it does not exist.")                          \
    X(UpdateBufferFull, "Could not update buffer \"{}\" because it has reached its max capacity\nCapacity: {}/{}") \
    X(DrawBufferMissing, "Could not draw buffer \"{}\" because it does not exist.")                              \
    X(MapBufferMissing, "Could not map instance to buffer \"{}\" because the buffer does not exist.")            \
    X(UnmapBufferMissing, "Could not unmap instance to buffer \"{}\" becaues the buffer does not exist.")         \
    X(UnmapSlotMissing, "Could not unmap instance to buffer \"{}\" because the instance does not exist.")       \
    X(SoundExists, "{}: a sound named \"{}\" is already loaded.")                                              \
    X(SoundMissing, "{}: no sound named \"{}\" is loaded.")                                                    \
    X(MusicExists, "{}: a music stream named \"{}\" is already loaded.")                                       \
    X(MusicMissing, "{}: no music stream named \"{}\" is loaded.")                                            \
    X(FontExists, "{}: a font named \"{}\" is already loaded.")                                                \
    X(FontMissing, "{}: no font named \"{}\" is loaded.")                                                      \
    X(ImageExists, "{}: an image named \"{}\" is already loaded.")                                             \
    X(ImageMissing, "{}: no image named \"{}\" is loaded.")                                                   \
    X(ClipMissing, "{}: model \"{}\" has no animation clip named \"{}\".")                                       \
    X(JointMissing, "{}: model \"{}\" has no joint named \"{}\".")                                             \
    X(BodyNotModel, "{}: instance {} is not a Model, so it cannot have a body.")                               \
    X(BodyExists, "{}: instance {} already has a body.")                                                         \
    X(BodyMissing, "{}: instance {} has no body.")                                                               \
    X(BodyRefused, "{}: the body of instance {} was refused: {}.")                                               \
    X(CharacterMissing, "{}: instance {} is not a Character.")                                                   \
    X(CharacterRefused, "{}: the character was refused: {}.")

enum class Fatal {
#define VANTOR_FATAL_ID(id, text) id,
    VANTOR_FATAL_MESSAGES(VANTOR_FATAL_ID)
#undef VANTOR_FATAL_ID
};

// The message text with its "{}" placeholders still in it.
inline const char* FatalText(Fatal id) {
    switch (id) {
#define VANTOR_FATAL_CASE(name, text) \
    case Fatal::name: return text;
        VANTOR_FATAL_MESSAGES(VANTOR_FATAL_CASE)
#undef VANTOR_FATAL_CASE
    }
    return "";
}

// The message with each "{}" replaced, in order, by the next value.
template <class... Values>
std::string FormatFatal(Fatal id, const Values&... values) {
    std::string text = FatalText(id);
    std::string out;
    std::size_t from = 0;
    [[maybe_unused]] auto place = [&](const auto& value) {
        std::size_t at = text.find("{}", from);
        if (at == std::string::npos) return;
        std::ostringstream s;
        s << value;
        out.append(text, from, at - from).append(s.str());
        from = at + 2;
    };
    (place(values), ...);
    out.append(text, from, std::string::npos);
    return out;
}

// Crash with the formatted message when `condition` holds. The text is built
// only on failure: the checks sit on paths that run for every instance.
template <class... Values>
void Fail(Fatal id, bool condition, const Values&... values) {
    if (condition) Crash(FormatFatal(id, values...), true);
}
