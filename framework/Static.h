// A static text control of a dialog.
#pragma once

#include "Wnd.h"

class CStatic : public CWnd {};
