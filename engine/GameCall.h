// Calls into the game module, with whatever escapes them caught and described.
#pragma once

#include <optional>
#include <string>

#include "Fault.h"

// What the exception being handled is: "<type>: <what()>" for a standard
// exception, "exception of type <type>" for anything else. Call inside a catch.
std::string DescribeCurrentException();

// Runs one call into the game, named `call` ("init", "tick", "reload") in a
// crash report; empty when it returned, else what escaped it.
template <class Fn>
std::optional<std::string> CatchGame(const char* call, Fn run) {
    Platform::SetFaultCall(call);
    try {
        run();
    } catch (...) {
        Platform::SetFaultCall(nullptr);
        return DescribeCurrentException();
    }
    Platform::SetFaultCall(nullptr);
    return std::nullopt;
}
