#pragma once

#include <exception>
#include <string>

// The text of the E that `call` throws; "nothing thrown" when it returns.
template <class E = std::exception, class F>
std::string ThrownText(F&& call)
{
    try {
        call();
    } catch (const E& e) {
        return e.what();
    }
    return "nothing thrown";
}
