#include "StartupFile.h"

#include <memory>

#include "DecimalText.h"
#include "TextFormat.h"

namespace tarn {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

std::array<std::string, 3> StartupFileNames(int32_t instance) {
    const int n = static_cast<int>(instance);
    return {FormatText("%s%02d.INT", kStartupFilePrefix, n),
            FormatText("%s%01d.INT", kStartupFilePrefix, n),
            FormatText("%s.INT", kStartupFilePrefix)};
}

int32_t StartupParameterFromFile(std::FILE* file) {
    DecimalAccumulator number;
    for (int c; (c = std::fgetc(file)) != EOF;)
        if (!number.Feed(static_cast<char>(c))) break;
    if (!number.HasDigits()) return kDefaultStartupParameter;
    const int32_t value = number.Value();
    if (value < kMinStartupParameter || value > kMaxStartupParameter) return kDefaultStartupParameter;
    return value;
}

int32_t ReadStartupParameter(int32_t instance) {
    for (const std::string& name : StartupFileNames(instance)) {
        UniqueFile file(std::fopen(name.c_str(), "r"));
        if (file) return StartupParameterFromFile(file.get());
    }
    return kDefaultStartupParameter;
}

}  // namespace tarn
