// A static text control of a dialog.
#pragma once

#include "framework/Wnd.h"

class CStatic : public CWnd {};
