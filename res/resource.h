// Resource ids of the setup program's own resources: the wizard's dialog template and its
// controls, the skin bitmaps and the icon. The wizard's texts (ids 1-20) are named in
// lang/Languages.h. Plain #defines: the resource compiler reads this header too.
#ifndef SETUP_RES_RESOURCE_H
#define SETUP_RES_RESOURCE_H

#define IDD_SETUP_DIALOG        102     // the wizard window

#define IDR_MAINFRAME           128     // program icon
// The package's catalogue (RCDATA): reserved at link time, filled before signing by
// release/catalogue.py, read by engine/PackageCatalogue.cpp.
#define IDR_CATALOGUE           150

// Skin bitmaps.
#define IDB_BACKGROUND          130     // whole window, 584 x 411; magenta pixels lie outside
#define IDB_BUTTON_NORMAL       131     // large button, 111 x 22
#define IDB_BUTTON_PRESSED      132
#define IDB_BUTTON_HOVER        133
#define IDB_CLOSE_NORMAL        134     // close button, 20 x 17 (also its pressed look)
#define IDB_CLOSE_HOVER         135
#define IDB_CLOSE_DISABLED      136
#define IDB_RADIO_OFF           139     // radio mark, 23 x 28 (carried, not used by the wizard)
#define IDB_RADIO_ON            140
#define IDB_CHECK_OFF           142     // check box mark, 21 x 24
#define IDB_CHECK_ON            143

// Controls of the wizard window.
#define IDC_ACTION              1000    // Install or Remove
#define IDC_HEADING             1001    // heading text (status)
#define IDC_INFO                1002    // lower text (instructions)
#define IDC_PROGRESS            1003
#define IDC_CLOSE               1004    // small close button, top right
#define IDC_TITLE               1005    // title line
#define IDC_LAUNCH              1008    // "start the application" check box

#endif // SETUP_RES_RESOURCE_H
