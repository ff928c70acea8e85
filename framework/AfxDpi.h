// Screen resolution: the dpi a window is shown at and the system functions that follow it.
// The functions newer than Windows XP are looked up at run time; where they are missing the
// answers are those of the system resolution (96 dpi on Windows XP).
//   AfxScaleForDpi              a length at 96 dpi scaled to another resolution, rounded
//   AfxGetWindowDpi             the resolution of a window (its monitor's, where the system
//                               scales per monitor)
//   AfxGetSystemMetricsForDpi   GetSystemMetrics at a given resolution
//   AfxKeepDialogUnscaled       stops the system's own rescaling of a dialog on a dpi change
#pragma once
#include <windows.h>

constexpr UINT AFX_DEFAULT_DPI = 96;

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

inline int AfxScaleForDpi(int n, UINT nDpi)
{
    return nDpi == AFX_DEFAULT_DPI ? n : ::MulDiv(n, (int)nDpi, (int)AFX_DEFAULT_DPI);
}

UINT AfxGetWindowDpi(HWND hWnd);
int AfxGetSystemMetricsForDpi(int nIndex, UINT nDpi);
// A dialog that rescales itself on WM_DPICHANGED: the system keeps its fonts and controls as
// they are (Windows 10 from 1703 would otherwise scale them as well).
void AfxKeepDialogUnscaled(HWND hDlg);
