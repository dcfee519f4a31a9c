// The host's API entries as the game module sees them: name, table, the kind
// of each argument and of the result, in the host's registration order, as the
// committed API reference (docs/api.json) gives them. Tests of the game module
// check every call it makes against this list.
#pragma once

#include <any>
#include <string>
#include <typeinfo>
#include <vector>

namespace GameTest {

enum Kind { None, Int, Float, Bool, Str, Vec2, Vec3, Mat, Handle, Children, Hit, Vec4, BodyHit, Ids, Events, Peers, Messages, Stats, Texts };
enum Table { Func, Op };

struct EntrySpec {
    std::string name;
    Table table;
    std::vector<Kind> args;
    Kind result;
};

const std::vector<EntrySpec>& Catalogue();  // throws std::runtime_error when the reference cannot be read
const EntrySpec* FindEntry(const std::string& name);  // nullptr for a name the host does not have
const std::type_info& TypeOf(Kind kind);               // the exact type a value of that kind travels as
const char* KindName(Kind kind);

}  // namespace GameTest
