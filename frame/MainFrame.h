// The agent window: never shown, it owns the agent's run-time state, carries
// the one-second timer and the title by which a second start finds the
// running agent, and receives the tray icon's callbacks and the tray menu's
// commands. Everything it holds is its own; the shell, the menu and tests
// reach it through messages.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include "contract/AgentContract.h"
#include "contract/StatusBlock.h"
#include "frame/ExitDeferral.h"
#include "frame/StatusPoll.h"
#include "frame/TrayIndicator.h"
#include "framework/FrameWnd.h"
#include "framework/Menu.h"

class CCmdUI;

// The id of the one timer, and its period.
UINT_PTR const kPollTimerId = 0;
UINT const kPollPeriodMs = 1000;

class CMainFrame : public CFrameWnd {
public:
    CMainFrame();

protected:
    BOOL PreCreateWindow(CREATESTRUCTA& cs) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    CMenu trayMenu;             // menu 131; its first popup is the tray menu
    int agentRunning = 0;       // the monitoring service is taken to be running
    int iconAdded = 0;          // the tray icon has been added successfully
    StatusFollower status_;     // the words the tray shows

    // Reads the shared status block and refreshes the tray, unless the tick
    // leaves it as it is. Returns true (block missing) when the block or its
    // mutex could not be opened.
    bool PollStatus();

    // Adds, modifies or deletes the tray icon (NIM_ADD, NIM_MODIFY,
    // NIM_DELETE). Returns the shell's result, or 0 when nothing was sent.
    BOOL UpdateTrayIcon(DWORD action);

    // Adds the icon the first time (and again after the shell restarted),
    // modifies it after that.
    void RefreshTray();

    // Makes the next tick add the icon anew, after the shell restarted.
    void ForgetTrayIcon();

    // Stops polling, removes the icon and queues the end of the message loop.
    void BeginExit();

    // Pops up the tray menu at the cursor.
    void OnTrayNotify();

    afx_msg int OnCreate(LPCREATESTRUCTA lpCreateStruct);
    afx_msg void OnClose();
    afx_msg void OnConfiguration();
    afx_msg void OnTrayClose();
    afx_msg void OnVersionInformation();
    afx_msg void OnAgentStart();
    afx_msg void OnAgentStop();
    afx_msg void OnUpdateAgentStart(CCmdUI* pCmdUI);
    afx_msg void OnUpdateAgentStop(CCmdUI* pCmdUI);

    // Marks a nested message loop or cross-process send: an exit trigger
    // that arrives inside one is held and posted again once the outermost
    // has ended.
    class NestedScope {
    public:
        explicit NestedScope(CMainFrame& frame) : frame_(frame) { frame_.exitDeferral_.Enter(); }
        ~NestedScope();
        NestedScope(NestedScope const&) = delete;
        NestedScope& operator=(NestedScope const&) = delete;

    private:
        CMainFrame& frame_;
    };

    ExitDeferral exitDeferral_;

    DECLARE_MESSAGE_MAP()
};
