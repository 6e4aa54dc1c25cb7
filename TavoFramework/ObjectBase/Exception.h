#pragma once

#include "ObjectBase/Result.h"

#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

namespace Tavo {

// Marks an exception as the framework's own; What() reads the text of the
// std::exception that the same object also is.
struct ExceptionBase
{
    virtual ~ExceptionBase() = default;
    virtual const char* What() const;
};

// Carries a failed result; the code itself lives only in the text.
class FailedResultException : public std::exception
{
public:
    explicit FailedResultException(const std::string& message) : mMessage(message) {}
    const char* what() const noexcept override { return mMessage.c_str(); }

private:
    std::string mMessage;
};

template <class E>
class Exception : public E, public ExceptionBase
{
public:
    explicit Exception(const char* message) : E(message) {}
    explicit Exception(const std::string& message) : E(message) {}
    Exception(const Exception&) = default;
    ~Exception() override = default;
};

// An allocation failure reads "bad allocation" whatever the message; the
// library's own text for bad_alloc differs between runtimes.
template <>
class Exception<std::bad_alloc> : public std::bad_alloc, public ExceptionBase
{
public:
    Exception() = default;
    explicit Exception(const char*) {}
    explicit Exception(const std::string&) {}
    Exception(const Exception&) = default;
    ~Exception() override = default;
    const char* what() const noexcept override { return "bad allocation"; }
};

// The kind that starts every message of an exception class.
template <class E>
struct ExceptionKind;
template <>
struct ExceptionKind<std::logic_error>
{
    static constexpr const char* kPrefix = "Logic Error : ";
};
template <>
struct ExceptionKind<std::runtime_error>
{
    static constexpr const char* kPrefix = "Runtime Error : ";
};
template <>
struct ExceptionKind<std::out_of_range>
{
    static constexpr const char* kPrefix = "Out of Range : ";
};
template <>
struct ExceptionKind<std::domain_error>
{
    static constexpr const char* kPrefix = "Domain Error : ";
};
template <>
struct ExceptionKind<std::invalid_argument>
{
    static constexpr const char* kPrefix = "Invalid Argument : ";
};
template <>
struct ExceptionKind<FailedResultException>
{
    static constexpr const char* kPrefix = "Failed Result : ";
};

// "TAVORESULT = " and the code in upper-case hexadecimal without leading zeros.
std::string FormatResultCode(TavoResult result);

// Joins "<kind><detail> : <function> : <file> : Line <line>"; an empty detail
// is left out with its separator.
std::string ComposeExceptionMessage(std::string_view kind, std::string_view detail, std::string_view function,
                                    std::string_view file, int line);

template <class E>
[[noreturn]] void ThrowException(std::string_view detail, std::string_view function, std::string_view file,
                                 int line)
{
    throw Exception<E>(ComposeExceptionMessage(ExceptionKind<E>::kPrefix, detail, function, file, line));
}

// Throws "Failed Result : TAVORESULT = ..." for a negative result; other
// results return.
void ThrowIfFailed(TavoResult result, std::string_view function, std::string_view file, int line);

}  // namespace Tavo

// TAVO_THROW(std::runtime_error, "Null Pointer", "Tavo::LFoo::Bar", "ControlBase\\Foo", 42)
// The function, file and line are the texts the message must carry, not the
// compiler's, so each thrower states them.
#define TAVO_THROW(kind, detail, function, file, line)                                                       \
    ::Tavo::ThrowException<kind>((detail), (function), (file), (line))

#define TAVO_THROW_IF_FAILED(result, function, file, line)                                                   \
    ::Tavo::ThrowIfFailed((result), (function), (file), (line))
