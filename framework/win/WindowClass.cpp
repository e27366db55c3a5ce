#include "WindowClass.h"

#include "Application.h"
#include "Window.h"

#include <set>
#include <string>

namespace fw {

HINSTANCE ResourceInstance() {
    if (Application* app = Application::Current())
        if (app->Instance()) return app->Instance();
    return ::GetModuleHandleW(nullptr);
}

const wchar_t* WindowClass::Get(const wchar_t* kind, UINT iconId, UINT style, HBRUSH background) {
    // Node-based, so the names handed out stay valid as more are added.
    static std::set<std::wstring> registered;
    std::wstring name = L"Velmora.";
    name += kind;
    if (iconId) name += L"." + std::to_wstring(iconId);
    auto found = registered.find(name);
    if (found != registered.end()) return found->c_str();

    const HINSTANCE instance = ResourceInstance();
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = style;
    wc.lpfnWndProc = &Window::StaticProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = background;
    wc.lpszClassName = name.c_str();
    if (iconId) {
        wc.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(iconId));
        wc.hIconSm = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(iconId), IMAGE_ICON,
                                                     ::GetSystemMetrics(SM_CXSMICON),
                                                     ::GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    }
    if (!::RegisterClassExW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
    return registered.insert(std::move(name)).first->c_str();
}

}  // namespace fw
