// Languages.h - ids of the wizard's texts.
//
// lang/ holds the wizard's string table in each shipped language and builds
// the resource-only language libraries setupENU.dll, setupCHT.dll, ...
// (string tables and version information, no code).  strings_CHT.rc is
// also compiled into the program's own resources.  Every library carries
// all the ids below; the wizard loads them with LoadStringW.
//
// Plain #defines: the resource compiler reads this header too.

#ifndef SETUP_LANG_LANGUAGES_H
#define SETUP_LANG_LANGUAGES_H

// Button captions.
#define IDS_INSTALL                 1   // action button, install mode
#define IDS_CANCEL                  2   // Cancel button
#define IDS_FINISH                  3   // Finish button

// Install mode: heading and lower text per wizard state.
#define IDS_INSTALL_READY_INFO      4   // names the IDS_INSTALL and IDS_CANCEL captions
#define IDS_INSTALL_READY           5
#define IDS_INSTALL_RUNNING_INFO    6
#define IDS_INSTALL_DONE            7
#define IDS_FINISH_INFO             8   // both modes; names the IDS_FINISH caption
#define IDS_INSTALL_FAILED          9

// Uninstall mode.
#define IDS_REMOVE                  10  // action button, uninstall mode
#define IDS_REMOVE_READY            11
#define IDS_REMOVE_READY_INFO       12  // names the IDS_REMOVE and IDS_CANCEL captions
#define IDS_REMOVE_RUNNING_INFO     13
#define IDS_REMOVE_FAILED           14
#define IDS_REMOVE_DONE             15
#define IDS_INSTALL_RUNNING         16
#define IDS_REMOVE_RUNNING          17

// Restart choices: carried by every table, not shown by the wizard.
#define IDS_RESTART_NOW             18
#define IDS_RESTART_LATER           19

// Check box offered after a successful install.
#define IDS_LAUNCH_APP              20

// Accessible name of the small close button, which shows no text. Libraries made before it
// lack it: the wizard then names the button in English.
#define IDS_CLOSE                   21

#define IDS_FIRST_TEXT              IDS_INSTALL
#define IDS_LAST_TEXT               IDS_CLOSE

#endif // SETUP_LANG_LANGUAGES_H
