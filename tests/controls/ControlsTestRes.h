// Resource ids of the control tests' bitmaps and strings.
#pragma once
#define IDB_TEST_NORMAL 301
#define IDB_TEST_PRESSED 302
#define IDB_TEST_HOVER 303
#define IDB_TEST_CHECKED 304
#define IDB_TEST_DISABLED 305
#define IDB_TEST_DISABLED_CHECKED 306
#define IDB_TEST_MARK 311
#define IDB_TEST_MARK_CHECKED 312
#define IDB_TEST_KEYED 320
#define IDB_TEST_MISSING 399
#define IDS_TEST_TIP 400
