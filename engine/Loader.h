// Binding the game module.
#pragma once

// Loads "game.dll", prints the loader's error number on stdout, binds the four
// exports (a missing one is fatal), registers the API with the module, records
// AssetPath and sets the camera's start values.
void LoadGame();

// Unloads the game module; nothing in it may be called afterwards.
void UnloadGame();
