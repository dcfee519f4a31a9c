// Calls into the game module, with whatever escapes them caught and described.
#pragma once

#include <optional>
#include <string>

// What the exception being handled is: "<type>: <what()>" for a standard
// exception, "exception of type <type>" for anything else. Call inside a catch.
std::string DescribeCurrentException();

// Runs one call into the game; empty when it returned, else what escaped it.
template <class Fn>
std::optional<std::string> CatchGame(Fn call) {
    try {
        call();
    } catch (...) {
        return DescribeCurrentException();
    }
    return std::nullopt;
}
