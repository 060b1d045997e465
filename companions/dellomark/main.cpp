// Dellomark: stand-in for the product's configuration program. For now it
// only shows how it was started (its arguments and current directory), which
// is what the agent's launcher needs checked.
#include <windows.h>

#include <string>

namespace {

char const kClassName[] = "DellomarkWindow";
char const kTitle[] = "Dellomark";
int const kInfoTextId = 1000;
int const kWindowWidth = 520;
int const kWindowHeight = 160;
int const kMargin = 10;

// The command line after the program name, as the C runtime splits it: a
// quoted name ends at the closing quote, an unquoted one at the first blank.
char const* CommandTail(char const* commandLine) {
    char const* p = commandLine;
    if (*p == '"') {
        ++p;
        while (*p != '\0' && *p != '"') ++p;
        if (*p == '"') ++p;
    } else {
        while (*p != '\0' && *p != ' ' && *p != '\t') ++p;
    }
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

std::string DescribeStart() {
    char const* tail = CommandTail(::GetCommandLineA());
    std::string text = "Arguments: ";
    text += *tail != '\0' ? tail : "(none)";
    text += "\r\nCurrent directory: ";
    char directory[MAX_PATH * 2] = {};
    DWORD const length = ::GetCurrentDirectoryA(sizeof directory, directory);
    text += length != 0 && length < sizeof directory ? directory : "(unknown)";
    return text;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: {
        HWND const text = ::CreateWindowExA(0, "STATIC", DescribeStart().c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT,
                                            kMargin, kMargin, 0, 0, window,
                                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kInfoTextId)),
                                            reinterpret_cast<CREATESTRUCTA*>(lParam)->hInstance, nullptr);
        if (text == nullptr) return -1;
        ::SendMessageA(text, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
        return 0;
    }
    case WM_SIZE:
        ::MoveWindow(::GetDlgItem(window, kInfoTextId), kMargin, kMargin, LOWORD(lParam) - 2 * kMargin,
                     HIWORD(lParam) - 2 * kMargin, TRUE);
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hIcon = ::LoadIconA(nullptr, IDI_APPLICATION);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    if (!::RegisterClassA(&windowClass)) return 1;

    HWND const window = ::CreateWindowExA(0, kClassName, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                          kWindowWidth, kWindowHeight, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return 1;
    ::ShowWindow(window, showCommand);
    ::UpdateWindow(window);

    MSG message;
    while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
