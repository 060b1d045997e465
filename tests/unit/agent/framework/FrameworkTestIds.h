// Ids of the test program's own resources (FrameworkTest.rc).
#pragma once

#define IDS_TEST_PLAIN 20         /* block 2, after four empty slots */
#define IDS_TEST_ABSENT 21        /* same block, no text */
#define IDS_TEST_NO_BLOCK 1000    /* no block at all */
#define IDS_TEST_GREETING 48      /* English and Japanese */
#define IDR_TEST_MENU 300
#define IDD_PROBE 400
#define IDC_PROBE_LABEL 1001
#define IDC_PROBE_BUTTON 1002
