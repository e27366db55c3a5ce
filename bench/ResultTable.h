// The one table `make bench` prints: a row per figure with the baseline it is
// read against (measured in the same run), their ratio and the target.
// Helper programs hand their rows to the main program through a file.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace bench {

struct ResultRow {
    std::string figure;
    std::string measured;
    std::string baseline;  // what the figure is read against, with its value
    std::string ratio;     // measured / baseline, where that means something
    std::string target;
};

class ResultTable {
public:
    // A heading row that opens a group of figures.
    void AddSection(const std::string& title);
    void Add(ResultRow row);
    void Append(const ResultTable& other);

    // Markdown, so that the table can go into the README as printed.
    void Print(std::FILE* out) const;

    // One row per line, fields separated by tabs.
    bool Save(const std::string& path) const;
    bool Load(const std::string& path);

private:
    // Each row keeps the build of the program that measured it: helper
    // programs hand theirs over through the file.
    struct Entry {
        ResultRow row;
        std::string build;
    };
    std::vector<Entry> rows_;
};

// "i686" or "x86_64": the build this program is.
const char* ThisBuild();

// Texts of the figures.
std::string FormatDuration(double ms);                       // "85.3 us", "12.4 ms", "1.52 s"
std::string FormatPerItem(double usPerItem);                 // "0.042 us/item"
std::string FormatRatio(double ratio);                       // "1.07x"
std::string FormatCount(double count);                       // "12,345"
std::string FormatRate(double perSecond, const char* unit);  // "1,234 callbacks/s"
std::string FormatPercent(double percent);                   // "3.2 %"; "n/a" when negative
std::string FormatMegabytes(double bytes);                   // "123.4 MB"

// A row that reports a failed step instead of a figure.
ResultRow FailureRow(const std::string& figure, HRESULT hr);

}  // namespace bench
