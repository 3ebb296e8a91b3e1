#include "SysUtils.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <vector>

void AssertionFailed(const std::string &message, const char *unit, int line) {
  throw EAssertionFailed(Format("%s (%s, line %d)", message.c_str(), unit, line));
}

std::string Format(const char *format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string result;
  if (length > 0) {
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    result.assign(buffer.data(), static_cast<size_t>(length));
  }
  va_end(args);
  return result;
}

std::string IntToStr(int64_t value) { return std::to_string(value); }

std::string IntToHex(uint64_t value, int digits) {
  static const char hex[] = "0123456789ABCDEF";
  std::string result;
  do {
    result.insert(result.begin(), hex[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  if (static_cast<int>(result.size()) < digits)
    result.insert(0, static_cast<size_t>(digits) - result.size(), '0');
  return result;
}

static char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
static char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

std::string UpperCase(const std::string &s) {
  std::string r(s);
  std::transform(r.begin(), r.end(), r.begin(), AsciiUpper);
  return r;
}

std::string LowerCase(const std::string &s) {
  std::string r(s);
  std::transform(r.begin(), r.end(), r.begin(), AsciiLower);
  return r;
}

bool SameText(const std::string &a, const std::string &b) { return UpperCase(a) == UpperCase(b); }

std::string Trim(const std::string &s) {
  size_t first = 0, last = s.size();
  while (first < last && static_cast<unsigned char>(s[first]) <= ' ')
    ++first;
  while (last > first && static_cast<unsigned char>(s[last - 1]) <= ' ')
    --last;
  return s.substr(first, last - first);
}

std::string IncludeTrailingPathDelimiter(const std::string &path) {
  if (!path.empty() && path.back() == '\\')
    return path;
  return path + '\\';
}

std::string ExcludeTrailingPathDelimiter(const std::string &path) {
  if (!path.empty() && path.back() == '\\')
    return path.substr(0, path.size() - 1);
  return path;
}
