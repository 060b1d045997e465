// The Configuration command.
#include "frame/ConfigurationLauncher.h"

#include "frame/MainFrame.h"

namespace {

class LiveLauncherShell final : public LauncherShellApi {
public:
    DWORD ModuleFileName(HMODULE module, LPSTR buffer, DWORD size) override {
        return ::GetModuleFileNameA(module, buffer, size);
    }
    HINSTANCE Execute(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                           INT show) override {
        return ::ShellExecuteA(owner, verb, file, parameters, directory, show);
    }
};
LiveLauncherShell g_liveLauncherShell;

}  // namespace

template <>
LauncherShellApi* Seam<LauncherShellApi>::current_ = &g_liveLauncherShell;

bool BuildSiblingPath(char (&buffer)[kPathBufferSize], UINT codePage) {
    char own[kPathBufferSize] = {};
    DWORD length = Seam<LauncherShellApi>::Current().ModuleFileName(nullptr, own, kPathBufferSize);
    // A result that fills the buffer means the path was cut (and, on older
    // systems, left unterminated).
    if (length == 0 || length >= kPathBufferSize) return false;
    return ComposeSiblingPath(own, kConfigurationProgram, codePage, buffer);
}

void CMainFrame::OnConfiguration() {
    char path[kPathBufferSize] = {};
    // Asking the shell to open an empty or cut path could open something
    // else entirely, so nothing is opened without a whole path.
    if (!BuildSiblingPath(path)) return;
    // Whether it started is not our business; nothing is shown either way.
    Seam<LauncherShellApi>::Current().Execute(nullptr, "open", path, "", nullptr, SW_SHOWNORMAL);
}
