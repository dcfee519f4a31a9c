#include "resource_dir.h"

#include <initializer_list>

#include "raylib.h"

bool SearchAndSetResourceDir(const char* folderName) {
    if (DirectoryExists(folderName)) {
        ChangeDirectory(TextFormat("%s/%s", GetWorkingDirectory(), folderName));
        return true;
    }
    const char* appDir = GetApplicationDirectory();
    for (const char* pattern : {"%s%s", "%s../%s", "%s../../%s", "%s../../../%s"}) {
        const char* candidate = TextFormat(pattern, appDir, folderName);
        if (DirectoryExists(candidate)) {
            ChangeDirectory(candidate);
            return true;
        }
    }
    return false;
}
