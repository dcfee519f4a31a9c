// A modal error box: caption, message (line breaks kept) and an OK button.
// Returns once the user dismisses it (OK, Enter, Escape or closing it).
#pragma once

#include <string>

namespace Platform {

void ShowErrorBox(const std::string& caption, const std::string& message);

}  // namespace Platform
