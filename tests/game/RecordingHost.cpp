#include "RecordingHost.h"

#include <sstream>
#include <unordered_map>

namespace GameTest {

namespace {
// The variable slot every recorded "Instance.Get" points at; it holds a value,
// as a transform slot of the right kind of instance does.
std::any handleSlot = 0;
}

void RecordingHost::Register(DefineFunc defineFunc, DefineOp defineOp) {
    for (const EntrySpec& entry : Catalogue()) {
        std::string name = entry.name;
        if (entry.table == Op) {
            Kind result = entry.result;
            defineOp(name, [this, name, result](Params params) -> std::any {
                calls.push_back({name, Op, params});
                auto answer = answers.find(name);
                return answer != answers.end() ? answer->second(params) : DefaultAnswer(result);
            });
        } else {
            defineFunc(name, [this, name](Params params) { calls.push_back({name, Func, std::move(params)}); });
        }
    }
}

std::vector<std::string> RecordingHost::Names() const {
    std::vector<std::string> names;
    for (const Recorded& c : calls) names.push_back(c.name);
    return names;
}

std::vector<Recorded> RecordingHost::CallsOf(const std::string& name) const {
    std::vector<Recorded> found;
    for (const Recorded& c : calls)
        if (c.name == name) found.push_back(c);
    return found;
}

std::any DefaultAnswer(Kind kind) {
    switch (kind) {
        case Int: return 42;
        case Float: return 2.5f;
        case Bool: return true;
        case Str: return std::string("answer");
        case Vec2: return std::vector<float>{1.5f, -2.0f};
        case Vec3: return std::vector<float>{1.0f, 2.0f, 3.0f};
        case Vec4: return std::vector<float>{1.0f, 2.0f, 30.0f, 40.0f};
        case Mat: {
            std::vector<float> m(16);
            for (int i = 0; i < 16; ++i) m[i] = 100.0f + i;
            return m;
        }
        case Handle: return &handleSlot;
        case Children: return std::unordered_map<std::string, int>{{"child", 2}};
        case Hit: return std::vector<std::any>{true, 0.75f, std::vector<float>{1, 2, 3}, std::vector<float>{0, 1, 0}};
        case BodyHit: return std::vector<std::any>{true, 0.75f, std::vector<float>{1, 2, 3}, std::vector<float>{0, 1, 0}, 5};
        case Ids: return std::vector<int>{3, 5};
        case Events: return std::vector<std::any>{};
        case Peers: return std::vector<int>{2, 4};
        case Messages: return std::vector<std::any>{};
        case Stats: return std::vector<std::any>{12.5f, 300.0f, 200.0f, 1.0f};
        case Texts: return std::vector<std::any>{};
        case None: break;
    }
    return {};
}

std::any ArgSample(Kind kind, int position) {
    float p = static_cast<float>(position);
    switch (kind) {
        case Int: return 10 + position;
        case Float: return 0.25f + p;
        case Bool: return position % 2 == 0;
        case Str: return "arg" + std::to_string(position);
        case Vec2: return std::vector<float>{p + 0.5f, p + 1.5f};
        case Vec3: return std::vector<float>{p, p + 0.5f, p + 1.0f};
        case Vec4: return std::vector<float>{p, p + 0.25f, p + 10.0f, p + 20.0f};
        case Mat: {
            std::vector<float> m(16);
            for (int i = 0; i < 16; ++i) m[i] = p * 100 + i;
            return m;
        }
        case Handle: return &handleSlot;
        default: break;
    }
    return {};
}

bool SameValue(const std::any& a, const std::any& b) {
    if (a.type() != b.type()) return false;
    if (!a.has_value()) return true;
    if (a.type() == typeid(int)) return std::any_cast<int>(a) == std::any_cast<int>(b);
    if (a.type() == typeid(float)) return std::any_cast<float>(a) == std::any_cast<float>(b);
    if (a.type() == typeid(bool)) return std::any_cast<bool>(a) == std::any_cast<bool>(b);
    if (a.type() == typeid(std::string)) return std::any_cast<std::string>(a) == std::any_cast<std::string>(b);
    if (a.type() == typeid(std::vector<float>)) return std::any_cast<std::vector<float>>(a) == std::any_cast<std::vector<float>>(b);
    if (a.type() == typeid(std::any*)) return std::any_cast<std::any*>(a) == std::any_cast<std::any*>(b);
    if (a.type() == typeid(std::vector<int>)) return std::any_cast<std::vector<int>>(a) == std::any_cast<std::vector<int>>(b);
    using NameToIndex = std::unordered_map<std::string, int>;
    if (a.type() == typeid(NameToIndex)) return std::any_cast<NameToIndex>(a) == std::any_cast<NameToIndex>(b);
    return false;
}

std::string Describe(const std::any& value) {
    std::ostringstream out;
    if (!value.has_value()) return "(nothing)";
    if (value.type() == typeid(int)) out << "int " << std::any_cast<int>(value);
    else if (value.type() == typeid(float)) out << "float " << std::any_cast<float>(value);
    else if (value.type() == typeid(bool)) out << "bool " << std::any_cast<bool>(value);
    else if (value.type() == typeid(std::string)) out << "string \"" << std::any_cast<std::string>(value) << "\"";
    else if (value.type() == typeid(std::vector<float>)) {
        out << "floats [";
        for (float f : std::any_cast<std::vector<float>>(value)) out << " " << f;
        out << " ]";
    } else if (value.type() == typeid(std::any*)) out << "handle";
    else out << "value of type " << value.type().name();
    return out.str();
}

std::string CheckAgainstCatalogue(const Recorded& call, int count) {
    const EntrySpec* entry = FindEntry(call.name);
    if (!entry) return "\"" + call.name + "\" is no host entry";
    if (entry->table != call.table) return "\"" + call.name + "\" reached through the wrong table";
    size_t expected = count < 0 ? entry->args.size() : static_cast<size_t>(count);
    if (call.args.size() != expected)
        return "\"" + call.name + "\" got " + std::to_string(call.args.size()) + " arguments, expected " + std::to_string(expected);
    for (size_t i = 0; i < call.args.size(); ++i) {
        if (call.args[i].type() != TypeOf(entry->args[i]))
            return "\"" + call.name + "\" argument " + std::to_string(i) + " is " + Describe(call.args[i]) + ", expected " +
                   KindName(entry->args[i]);
    }
    return {};
}

}  // namespace GameTest
