// The Configuration command.
#include "frame/ConfigurationLauncher.h"

#include "frame/MainFrame.h"

LauncherShellCalls& LauncherShell() {
    static LauncherShellCalls calls{&::GetModuleFileNameA, &::ShellExecuteA};
    return calls;
}

bool BuildSiblingPath(char (&buffer)[kPathBufferSize], UINT codePage) {
    char own[kPathBufferSize] = {};
    DWORD length = LauncherShell().getModuleFileName(nullptr, own, kPathBufferSize);
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
    LauncherShell().shellExecute(nullptr, "open", path, "", nullptr, SW_SHOWNORMAL);
}
