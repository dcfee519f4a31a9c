#include "GameCall.h"

#include <cstdlib>
#include <cxxabi.h>     // Required for: naming the type of an exception that escaped the game
#include <exception>
#include <memory>
#include <typeinfo>

namespace {

std::string Demangle(const char* name) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> readable(abi::__cxa_demangle(name, nullptr, nullptr, &status), std::free);
    return status == 0 && readable ? readable.get() : name;
}

}  // namespace

std::string DescribeCurrentException() {
    try {
        throw;
    } catch (const std::exception& e) {
        return Demangle(typeid(e).name()) + ": " + e.what();
    } catch (...) {
        const std::type_info* type = abi::__cxa_current_exception_type();
        return std::string("exception of type ") + (type ? Demangle(type->name()) : "unknown");
    }
}
