// Texts that read the same under every user interface. Each language's
// script takes them from here so the copies cannot drift apart.
#ifndef PERIMAND_RES_LANG_INVARIANT_H
#define PERIMAND_RES_LANG_INVARIANT_H

#define PERIMAND_TITLE          "Perimand"
#define PERIMAND_VERSION_LINE   "Vandrel 2.0 (Release Date:2009-03-31)"
#define PERIMAND_LEGAL_NOTICE   "Copyright (C) 2009 Vandrel Power Systems. All rights reserved."
#define PERIMAND_TRAY_POPUP     "Pop_up Tray"
#define PERIMAND_OK             "OK"

#endif
