// Where the simulation driver reports a write.  The library shows it in a
// modal message box; keeping the box behind this seam leaves the driver's
// logic free of window calls and lets it run without a desktop.
#pragma once

#include <string>

namespace tarn {

class WriteNotifier {
public:
    virtual ~WriteNotifier() = default;
    // Shows the text of a written value and returns once the user has seen it.
    virtual void ShowWrite(const std::string& text) = 0;
};

}  // namespace tarn
