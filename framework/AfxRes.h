// Resource ids the framework itself looks up in every program. Plain
// defines, so resource scripts can include this file too.
#pragma once

// The application's name, read at start-up when none was given.
#define AFX_IDS_APP_TITLE 57344
