#include "ErrorBox.h"

#include <windows.h>

namespace Platform {

void ShowErrorBox(const std::string& caption, const std::string& message) {
    MessageBoxA(nullptr, message.c_str(), caption.c_str(), MB_ICONERROR | MB_OK);
}

}  // namespace Platform
