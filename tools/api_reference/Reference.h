// The API reference of every entry, generated from the host's own
// catalogue: names, kinds and argument types come from the typed functions the
// entries are made of, so the reference cannot drift from what the host reads.
#pragma once

#include <string>
#include <vector>

namespace ApiReference {

// What the catalogue cannot know: one line on what an entry does and what its
// arguments mean, by position.
struct Summary {
    const char* name;
    const char* line;
    std::vector<const char*> argNames;
};
const std::vector<Summary>& Summaries();

// Throws std::runtime_error naming the entry when the summaries and the
// catalogue disagree (an entry without a line, a line without an entry, or a
// different number of arguments).
std::string Markdown();
std::string Json();

}  // namespace ApiReference
