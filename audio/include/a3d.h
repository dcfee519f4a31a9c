/**********************************************************************************************
*
*   a3d - Vantor's audio layer: sounds, music streams and sounds placed in 3D, on raylib's
*   audio device
*
*   What it does:
*     - reads a file whole (1 GiB at most) and decodes WAV, OGG (Vorbis), MP3 and FLAC,
*       told apart by their first bytes
*     - sounds: decoded whole at load (10 minutes at most); every play is a voice of its
*       own, so one sound can overlap itself (footsteps, shots); volume, pitch and pan per sound
*     - music: streamed from the file's bytes, decoded two seconds and more ahead on a thread
*       of its own, so it never waits for the game's frame; loops or not, seeks, reports its
*       time played and length
*     - emitters: a sound at a position, heard from a listener: loudness falls between a
*       near and a far distance, and it pans by where it lies relative to the listener's view
*     - one mixer for all of it, fed to raylib's device through one stream; volumes and
*       pans glide over each block, so changes made once per frame never click
*
*   Voices: up to A3D_MAX_HEARD voices are mixed at once, the loudest; the quieter ones (and
*   emitters out of range) keep their place in time silently and are heard again when there
*   is room. Up to A3D_MAX_PLAYING voices play at once, heard or not; starting one more ends
*   the quietest of them, the oldest among equals.
*
*   Without an audio device (a server, a machine without sound) everything works the same
*   against a clock: voices end when they would have ended, music reports its time.
*
*   A file that cannot be used (missing, empty, unreadable, over 1 GiB, truncated, another
*   format, absurd sizes) loads as an empty sound or music with one warning on stderr naming
*   it; playing it plays nothing.
*
*   Handles come from the base library's pools (base/Handles.h): a slot index, the slot's
*   generation and the kind of handle. A handle whose sound, music or emitter was unloaded
*   or destroyed (or any handle after A3D_Close), or one of another kind, finds nothing:
*   the call does nothing (or answers 0 / false) and warns "A3D: <call>: <noun> <handle>
*   <why>". A zero handle means none and is ignored without a warning.
*
*   Threads: every function is meant to be called from one thread (the game's). The layer
*   runs two of its own: raylib's device thread, which mixes every block, and the music
*   feeder. The device thread asks to run ahead of ordinary programs (a real-time policy,
*   else a lower nice value, as far as the process's rights and limits allow; with neither
*   it runs as any thread and everything works the same), so that music and sounds go on
*   while other programs keep every core busy; A3D_GetStats() says what it got. The one
*   lock they share hands a waiting device thread's priority to whoever holds it.
*
*   What it does not do: effects (reverb, filters), Doppler shift, occlusion, more than
*   two output channels.
*
*   It knows nothing of the scene: callers hand it positions.
*
*   Usage:
*     InitAudioDevice();                              // raylib
*     A3D_Init();
*     A3D_Sound step = A3D_LoadSound("step.wav");
*     A3D_PlaySound(step);
*     A3D_Emitter hum = A3D_CreateEmitter(A3D_LoadSound("hum.wav"));
*     A3D_SetEmitterPosition(hum, (Vector3){4, 1, 0});
*     A3D_SetEmitterLooping(hum, true);
*     A3D_PlayEmitter(hum);
*     ... every frame: A3D_SetListener(camera.position, forward, up);
*     A3D_Close();
*     CloseAudioDevice();                             // raylib
*
**********************************************************************************************/
#ifndef A3D_H
#define A3D_H

#include <stdbool.h>
#include "raylib.h"     // Required for: Vector3

#ifdef __cplusplus
extern "C" {
#endif

#define A3D_MAX_HEARD    64     // voices mixed at once (the loudest)
#define A3D_MAX_PLAYING 256     // voices playing at once, heard or not
#define A3D_OUTPUT_RATE 48000   // frames per second the mixer makes

// Handles: a pool slot's index, its generation and the kind of handle, never 0 and
// never issued twice. A stale or foreign handle is refused with a warning; 0 is "none".
typedef struct A3D_Sound { unsigned int id; } A3D_Sound;
typedef struct A3D_Music { unsigned int id; } A3D_Music;
typedef struct A3D_Emitter { unsigned int id; } A3D_Emitter;

// What the mixer has done, for tests and benchmarks.
typedef struct A3D_Stats {
    int voicesPlaying;              // voices playing now, heard or not
    int voicesHeard;                // voices mixed in the last block
    unsigned long long framesMixed; // output frames made since A3D_Init
    unsigned long long underruns;   // output frames of music left silent because its decoder was late
    double mixSeconds;              // time spent mixing since A3D_Init (thread CPU time where the system has it)
    int devicePriority;             // how the thread that feeds the device runs: 2 real-time, 1 above
                                    // ordinary programs, 0 as any (or no block asked for yet)
    double longestDeviceWait;       // the longest time between two blocks the device asked for, in
                                    // seconds: far over a block's length, the device thread was held up
} A3D_Stats;

//----------------------------------------------------------------------------------
// Start and stop
//----------------------------------------------------------------------------------
void A3D_Init(void);               // after raylib's InitAudioDevice(), ready or not
void A3D_Close(void);              // before raylib's CloseAudioDevice(); unloads everything
bool A3D_HasDevice(void);          // false: playing silently against a clock
void A3D_SetMasterVolume(float volume);  // every voice and music, 1 by default
float A3D_GetMasterVolume(void);
A3D_Stats A3D_GetStats(void);

//----------------------------------------------------------------------------------
// Sounds: decoded whole at load
//----------------------------------------------------------------------------------
A3D_Sound A3D_LoadSound(const char *fileName);  // never fails: a bad file gives an empty sound and a warning
void A3D_UnloadSound(A3D_Sound sound);          // its voices stop; emitters of it fall silent
float A3D_GetSoundLength(A3D_Sound sound);      // seconds (0 for an empty sound)
void A3D_PlaySound(A3D_Sound sound);            // starts a new voice with the sound's volume, pitch and pan
void A3D_StopSound(A3D_Sound sound);            // stops its voices (not those of emitters)
void A3D_PauseSound(A3D_Sound sound);
void A3D_ResumeSound(A3D_Sound sound);
bool A3D_IsSoundPlaying(A3D_Sound sound);       // a voice of it is playing and not paused
void A3D_SetSoundVolume(A3D_Sound sound, float volume);  // 1 = as recorded; also its voices playing now
void A3D_SetSoundPitch(A3D_Sound sound, float pitch);    // 1 = as recorded, 2 = an octave up (and twice as fast)
void A3D_SetSoundPan(A3D_Sound sound, float pan);        // -1 left, 0 centre, 1 right

//----------------------------------------------------------------------------------
// Music: streamed from the file's bytes, decoded ahead on the layer's own thread
//----------------------------------------------------------------------------------
A3D_Music A3D_LoadMusic(const char *fileName);  // never fails: a bad file gives an empty music and a warning
void A3D_UnloadMusic(A3D_Music music);
void A3D_PlayMusic(A3D_Music music);            // from where it stands (the start after loading or stopping)
void A3D_StopMusic(A3D_Music music);            // and back to the start
void A3D_PauseMusic(A3D_Music music);
void A3D_ResumeMusic(A3D_Music music);
bool A3D_IsMusicPlaying(A3D_Music music);       // playing and not paused; false once a music that does not loop ended
void A3D_SeekMusic(A3D_Music music, float seconds);
float A3D_GetMusicTimePlayed(A3D_Music music);  // seconds into the file
float A3D_GetMusicTimeLength(A3D_Music music);  // seconds
void A3D_SetMusicLooping(A3D_Music music, bool looping);  // loops by default
void A3D_SetMusicVolume(A3D_Music music, float volume);
void A3D_SetMusicPitch(A3D_Music music, float pitch);
void A3D_SetMusicPan(A3D_Music music, float pan);

//----------------------------------------------------------------------------------
// Emitters: a sound at a position in the world, heard from the listener
//----------------------------------------------------------------------------------
A3D_Emitter A3D_CreateEmitter(A3D_Sound sound);  // of a stale sound: none (0), with a warning
void A3D_DestroyEmitter(A3D_Emitter emitter);   // stops it
void A3D_SetEmitterPosition(A3D_Emitter emitter, Vector3 position);
// Full loudness within `nearDistance`, silent beyond `farDistance`; in between the
// loudness falls as 1/distance does, lowered so that it reaches 0 at `farDistance`.
void A3D_SetEmitterRange(A3D_Emitter emitter, float nearDistance, float farDistance);
void A3D_SetEmitterVolume(A3D_Emitter emitter, float volume);
void A3D_SetEmitterPitch(A3D_Emitter emitter, float pitch);
void A3D_SetEmitterLooping(A3D_Emitter emitter, bool looping);
void A3D_PlayEmitter(A3D_Emitter emitter);      // from the start (again, when it plays already)
void A3D_StopEmitter(A3D_Emitter emitter);
bool A3D_IsEmitterPlaying(A3D_Emitter emitter);
// What an emitter was set to (for tools that show it); false, and nothing written, for none.
bool A3D_GetEmitterSettings(A3D_Emitter emitter, float* nearDistance, float* farDistance, float* volume);
// The listener: where the emitters are heard from, and which way is right.
void A3D_SetListener(Vector3 position, Vector3 forward, Vector3 up);

#ifdef __cplusplus
}
#endif

#endif // A3D_H
