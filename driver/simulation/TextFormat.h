// printf-style formatting into a std::string of exactly the needed length:
// written values and file names have no natural upper bound worth guessing.
#pragma once

#include <cstdio>
#include <string>

namespace tarn {

template <class... Args>
std::string FormatText(const char* format, Args... args) {
    const int n = std::snprintf(nullptr, 0, format, args...);
    if (n <= 0) return {};
    std::string text(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, args...);
    text.resize(static_cast<size_t>(n));
    return text;
}

}  // namespace tarn
