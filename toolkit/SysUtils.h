// The run-time layer the library is written against: the exception root and
// the framework's own exception classes, the contract assertion and small
// string helpers. Portable: no platform header is included here.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

// Root of every exception the library and the program raise. Message() is the
// text a user sees; ClassName() names the class, as error reports print it.
class Exception : public std::exception {
public:
  explicit Exception(std::string message) : FMessage(std::move(message)) {}
  const std::string &Message() const noexcept { return FMessage; }
  const char *what() const noexcept override { return FMessage.c_str(); }
  virtual const char *ClassName() const noexcept { return "Exception"; }

private:
  std::string FMessage;
};

// Declares an exception class with its name; the class is its own ClassName.
#define VM_DECLARE_EXCEPTION(Name, Base)                                       \
  class Name : public Base {                                                   \
  public:                                                                      \
    using Base::Base;                                                          \
    const char *ClassName() const noexcept override { return #Name; }          \
  }

VM_DECLARE_EXCEPTION(EStreamError, Exception);
VM_DECLARE_EXCEPTION(EFCreateError, EStreamError);
VM_DECLARE_EXCEPTION(EFOpenError, EStreamError);
VM_DECLARE_EXCEPTION(EReadError, EStreamError);
VM_DECLARE_EXCEPTION(EWriteError, EStreamError);
VM_DECLARE_EXCEPTION(EListError, Exception);
VM_DECLARE_EXCEPTION(EInvalidPointer, Exception);
VM_DECLARE_EXCEPTION(EAssertionFailed, Exception);
VM_DECLARE_EXCEPTION(EConvertError, Exception);
VM_DECLARE_EXCEPTION(EOSError, Exception);
VM_DECLARE_EXCEPTION(EAbort, Exception);

// Contract assertion. The report text is "%s (%s, line %d)": the message, the
// unit's source name (for example "VmLib\VmDynamicLists") and the line that
// the unit's contract names.
[[noreturn]] void AssertionFailed(const std::string &message, const char *unit, int line);

// The message is a literal: a std::string parameter would build one (on the
// heap, past the short-string size) on every call, also when the condition
// holds, and Assert sits on hot paths such as a surface's row access.
inline void Assert(bool condition, const char *message, const char *unit, int line) {
  if (!condition)
    AssertionFailed(message, unit, line);
}

// printf-style formatting into a string.
std::string Format(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

std::string IntToStr(int64_t value);
std::string IntToHex(uint64_t value, int digits);
std::string UpperCase(const std::string &s);  // ASCII letters only
std::string LowerCase(const std::string &s);  // ASCII letters only
bool SameText(const std::string &a, const std::string &b);
std::string Trim(const std::string &s);
// Adds a trailing backslash unless the path already ends in one.
std::string IncludeTrailingPathDelimiter(const std::string &path);
std::string ExcludeTrailingPathDelimiter(const std::string &path);
