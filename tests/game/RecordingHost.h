// A stand-in host for unit tests of the game module: every entry of the
// catalogue is handed to the module's define_func/define_op as a recorder that
// keeps the name, the table it was reached through and the arguments, and
// answers (for an entry with a result) with a value of the entry's result
// kind, or with whatever a test put in `answers`.
#pragma once

#include <any>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Catalogue.h"

using game_func = std::function<void(std::vector<std::any>)>;
using game_op = std::function<std::any(std::vector<std::any>)>;

namespace GameTest {

using Params = std::vector<std::any>;
using DefineFunc = void (*)(std::string, game_func);
using DefineOp = void (*)(std::string, game_op);

struct Recorded {
    std::string name;
    Table table;
    Params args;
};

class RecordingHost {
public:
    // Hands every catalogue entry to the module, in catalogue order.
    void Register(DefineFunc defineFunc, DefineOp defineOp);

    std::vector<Recorded> calls;
    std::map<std::string, std::function<std::any(const Params&)>> answers;

    // Names of the calls so far, in order.
    std::vector<std::string> Names() const;
    // The calls of one entry, in order.
    std::vector<Recorded> CallsOf(const std::string& name) const;
};

// The value an entry answers with when a test does not say otherwise.
std::any DefaultAnswer(Kind kind);
// A value of the kind that differs with the position, to catch swapped arguments.
std::any ArgSample(Kind kind, int position);

// Same type and same value (floats compared exactly; lists element by element).
bool SameValue(const std::any& a, const std::any& b);
std::string Describe(const std::any& value);

// Checks one call against the catalogue: known name, right table, `count`
// arguments (all the entry takes unless given), each of exactly its kind's type.
// Returns an empty string when it matches, else what is wrong.
std::string CheckAgainstCatalogue(const Recorded& call, int count = -1);

}  // namespace GameTest
