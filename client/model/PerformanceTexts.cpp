#include "PerformanceTexts.h"

#include <cstdio>

namespace {

constexpr const char* kNoRequest = "No request";

template <class... Args>
std::string Format(const char* format, Args... args) {
    char text[128];
    const int n = std::snprintf(text, sizeof text, format, args...);
    return n < 0 ? std::string() : std::string(text);
}

}  // namespace

bool PerformanceTexts::operator==(const PerformanceTexts& o) const {
    return requests == o.requests && time == o.time && requestRate == o.requestRate &&
           requestTime == o.requestTime && valueRate == o.valueRate && items == o.items && errors == o.errors;
}

PerformanceTexts NoRequestTexts() {
    PerformanceTexts texts;
    texts.requests = Format("%s %d", "Number of requests =", 0);
    texts.time = Format("%s %d", "Time =", 0);
    texts.requestRate = Format("%d %s", 0, "requests per second");
    // An integer here, unlike a run's "%3.6f": nothing was timed yet.
    texts.requestTime = Format("%s %d", "Time of 1 request =", 0);
    texts.valueRate = Format("%d %s", 0, "values per second");
    texts.items = Format("%s %d", "Number of items in request =", 0);
    texts.errors = kNoRequest;
    return texts;
}

PerformanceTexts MeasuredTexts(const ReadThroughput& measured) {
    if (measured.requests <= 0) return NoRequestTexts();
    PerformanceTexts texts;
    texts.requests = Format("%s %ld", "Number of requests =", measured.requests);
    texts.time = Format("%s %ld", "Time =", measured.elapsedMs);
    texts.requestRate = Format("%ld %s", measured.RequestsPerSecond(), "requests per second");
    texts.requestTime = Format("%s %3.6f %s", "Time of 1 request =", measured.MsPerRequest(), "ms");
    texts.valueRate = Format("%ld %s", measured.ValuesPerSecond(), "values per second");
    texts.items = Format("%s %ld", "Number of items in request =", measured.items);
    texts.errors = Format("%s %ld", "Number of errors =", measured.errors);
    return texts;
}
