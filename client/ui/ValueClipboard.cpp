#include "ValueClipboard.h"

#include "GlobalMemory.h"
#include "Text.h"
#include "TextEncoding.h"

#include <cstring>
#include <memory>
#include <type_traits>

namespace {

struct MetafileDeleter {
    void operator()(HENHMETAFILE picture) const { ::DeleteEnhMetaFile(picture); }
};
using UniqueMetafile = std::unique_ptr<std::remove_pointer_t<HENHMETAFILE>, MetafileDeleter>;

class ClipboardScope {
public:
    explicit ClipboardScope(HWND owner) : open_(::OpenClipboard(owner) != FALSE) {}
    ~ClipboardScope() {
        if (open_) ::CloseClipboard();
    }
    ClipboardScope(const ClipboardScope&) = delete;
    ClipboardScope& operator=(const ClipboardScope&) = delete;
    bool open() const { return open_; }

private:
    bool open_;
};

// Empty when the block cannot be made or written.
fw::UniqueGlobal GlobalCopy(const void* bytes, size_t size) {
    fw::UniqueGlobal block(::GlobalAlloc(GMEM_MOVEABLE, size));
    if (!block) return fw::UniqueGlobal();
    {
        // Unlocked again before the clipboard takes the block over.
        const fw::GlobalLockScope target(block.get());
        if (!target.data()) return fw::UniqueGlobal();
        std::memcpy(target.data(), bytes, size);
    }
    return block;
}

// The text drawn in the system font on a white ground, as large as it needs.
UniqueMetafile TextPicture(const std::wstring& text) {
    const HDC screen = ::GetDC(nullptr);
    SIZE extent = {};
    const bool measured = screen && ::GetTextExtentPoint32W(screen, text.c_str(), static_cast<int>(text.size()), &extent);
    if (screen) ::ReleaseDC(nullptr, screen);
    if (!measured || extent.cx <= 0) extent = {8 * static_cast<LONG>(text.size() + 1), 16};

    const HDC picture = ::CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
    if (!picture) return nullptr;
    const RECT area = {0, 0, extent.cx + 4, extent.cy + 2};
    ::FillRect(picture, &area, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::SetBkMode(picture, TRANSPARENT);
    ::TextOutW(picture, 2, 1, text.c_str(), static_cast<int>(text.size()));
    return UniqueMetafile(::CloseEnhMetaFile(picture));
}

}  // namespace

bool CopyValueText(HWND owner, const std::string& valueText) {
    const std::wstring wide = fw::Widen(valueText);
    // CF_TEXT is the ANSI code page's: a program that reads only it gets
    // what the code page can show, and CF_UNICODETEXT has every character.
    const std::string ansiText = WideToAnsi(wide);
    fw::UniqueGlobal ansi = GlobalCopy(ansiText.c_str(), ansiText.size() + 1);
    fw::UniqueGlobal unicode = GlobalCopy(wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
    UniqueMetafile picture = TextPicture(wide);
    if (!ansi || !unicode || !picture) return false;

    ClipboardScope clipboard(owner);
    if (!clipboard.open() || !::EmptyClipboard()) return false;
    // The clipboard owns what it accepted.
    if (::SetClipboardData(CF_TEXT, ansi.get())) ansi.release();
    if (::SetClipboardData(CF_UNICODETEXT, unicode.get())) unicode.release();
    if (::SetClipboardData(CF_ENHMETAFILE, picture.get())) picture.release();
    return !ansi && !unicode && !picture;
}
