// Finding the assets folder at start-up.
#pragma once

// Makes the folder `folderName` the working directory, looking for it in the
// working directory, then beside the program and up to three levels above it.
// Returns false, changing nothing, when none of those exists.
bool SearchAndSetResourceDir(const char* folderName);
