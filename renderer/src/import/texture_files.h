// Where a texture named in a model file really is. Files made on another
// machine name their textures with backslashes (".\wall.jpg"), with a path on
// the author's disk ("D:\art\wall.jpg"), or in another case than the file on
// disk: the loader looks where the file most likely is instead of only where
// the name points.
#pragma once

#include <string>

namespace r3d {

// The texture `written` in a model file whose folder is `modelDir` ("" for the
// working directory), tried in this order:
//   1. as written, relative to the model's folder;
//   2. with '\' read as a folder separator;
//   3. its file name alone, in the model's folder and its subfolders;
//   4. its file name alone, in `assetsDir` and its subfolders.
// At each step a name that is not there exactly may match ignoring case.
// Returns the file's path, or "" when it is nowhere.
std::string FindTextureFile(const std::string& modelDir, const std::string& written,
                            const std::string& assetsDir = ".");

}  // namespace r3d
