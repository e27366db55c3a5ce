#include "ResultTable.h"

#include <algorithm>
#include <cmath>
#include <fstream>

namespace bench {
namespace {

constexpr const char* kSectionMark = "##";

std::string Printf(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

}  // namespace

const char* ThisBuild() { return sizeof(void*) == 8 ? "x86_64" : "i686"; }

void ResultTable::AddSection(const std::string& title) {
    rows_.push_back({{kSectionMark + title, "", "", "", ""}, ""});
}

void ResultTable::Add(ResultRow row) { rows_.push_back({std::move(row), ThisBuild()}); }

void ResultTable::Append(const ResultTable& other) {
    rows_.insert(rows_.end(), other.rows_.begin(), other.rows_.end());
}

void ResultTable::Print(std::FILE* out) const {
    constexpr int kColumns = 6;
    const char* headings[kColumns] = {"Figure", "Build", "Measured", "Baseline (same run)", "Ratio", "Target"};
    size_t widths[kColumns];
    for (int c = 0; c < kColumns; ++c) widths[c] = std::string(headings[c]).size();
    auto fields = [](const Entry& e) {
        const ResultRow& r = e.row;
        return std::vector<std::string>{r.figure, e.build, r.measured, r.baseline, r.ratio, r.target};
    };
    for (const Entry& entry : rows_) {
        const auto f = fields(entry);
        for (int c = 0; c < kColumns; ++c) widths[c] = std::max(widths[c], f[c].size());
    }
    auto printRow = [&](const std::vector<std::string>& f) {
        for (int c = 0; c < kColumns; ++c) std::fprintf(out, "| %-*s ", static_cast<int>(widths[c]), f[c].c_str());
        std::fprintf(out, "|\n");
    };
    printRow(std::vector<std::string>(headings, headings + kColumns));
    std::vector<std::string> rule;
    for (int c = 0; c < kColumns; ++c) rule.push_back(std::string(widths[c], '-'));
    printRow(rule);
    for (const Entry& entry : rows_) {
        auto f = fields(entry);
        if (f[0].rfind(kSectionMark, 0) == 0) f[0] = "**" + f[0].substr(2) + "**";
        printRow(f);
    }
    std::fflush(out);
}

bool ResultTable::Save(const std::string& path) const {
    std::ofstream file(path, std::ios::trunc);
    for (const Entry& e : rows_) {
        const ResultRow& r = e.row;
        file << r.figure << '\t' << r.measured << '\t' << r.baseline << '\t' << r.ratio << '\t' << r.target << '\t'
             << e.build << '\n';
    }
    return static_cast<bool>(file);
}

bool ResultTable::Load(const std::string& path) {
    std::ifstream file(path);
    if (!file) return false;
    std::string line;
    while (std::getline(file, line)) {
        std::vector<std::string> f = SplitTabs(line);
        f.resize(6);
        rows_.push_back({{f[0], f[1], f[2], f[3], f[4]}, f[5]});
    }
    return true;
}

std::string FormatDuration(double ms) {
    if (ms < 1.0) return Printf("%.1f us", ms * 1000.0);
    if (ms < 1000.0) return Printf(ms < 10.0 ? "%.2f ms" : "%.1f ms", ms);
    return Printf("%.2f s", ms / 1000.0);
}

std::string FormatPerItem(double usPerItem) {
    return Printf(usPerItem < 10.0 ? "%.3f us/item" : "%.1f us/item", usPerItem);
}

std::string FormatRatio(double ratio) { return Printf(ratio < 10.0 ? "%.2fx" : "%.0fx", ratio); }

std::string FormatCount(double count) {
    std::string digits = Printf("%.0f", std::floor(count + 0.5));
    for (int at = static_cast<int>(digits.size()) - 3; at > 0 && digits[at - 1] != '-'; at -= 3)
        digits.insert(static_cast<size_t>(at), ",");
    return digits;
}

std::string FormatRate(double perSecond, const char* unit) { return FormatCount(perSecond) + " " + unit + "/s"; }

std::string FormatPercent(double percent) { return percent < 0 ? "n/a" : Printf("%.1f %%", percent); }

std::string FormatMegabytes(double bytes) { return Printf("%.1f MB", bytes / (1024.0 * 1024.0)); }

ResultRow FailureRow(const std::string& figure, HRESULT hr) {
    char text[48];
    std::snprintf(text, sizeof text, "failed (0x%08lX)", static_cast<unsigned long>(hr));
    return {figure, text, "", "", ""};
}

}  // namespace bench
