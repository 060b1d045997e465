// The application: decides at start whether this process tells a running
// agent to quit, ends beside one, or becomes the agent.
#pragma once

#include "framework/WinApp.h"

class CPerimandApp : public CWinApp {
public:
    CPerimandApp() = default;

    BOOL InitInstance() override;

    DECLARE_MESSAGE_MAP()
};
