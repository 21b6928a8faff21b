#pragma once
// URL-encoded form bodies (key=value&...), as test control and the mail page receive them.
#include <cstddef>
#include <map>
#include <string>

// false with `error` set ("bad form", "value too long") when the body is malformed or a
// value is longer than maxValue; `form` is then left incomplete.
bool ParseUrlForm(const std::string& body, std::size_t maxValue, std::map<std::string, std::string>& form,
                  std::string& error);
