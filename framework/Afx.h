// The framework: a small layer over Win32 that gives the program the application, dialog,
// window, control and GDI classes it is written against.
//   AfxTypes.h   CPoint, CSize, CRect
//   AfxString.h  CString
//   AfxGdi.h     CGdiObject, CBitmap, CRgn, CFont, CBrush, CPen (owning); CDC (owning), CDCHandle
//                (borrowing), CPaintDC, CClientDC; CSelectScope
//   AfxWnd.h     message maps, CCmdTarget, CWnd, CDataExchange, DDX_Control; the exception
//                barrier of the window procedure (CWnd::OnHandlerException)
//   AfxCtrls.h   CButton, CStatic, CProgressCtrl, CToolTipCtrl
//   AfxDialog.h  CDialog
//   AfxApp.h     CWinApp, CCommandLineInfo, AfxMessageBox, AfxGetApp, AfxGetResourceHandle
//   AfxDll.h     AfxRestrictDllSearch, AfxLoadSystemLibrary, AfxInitCommonControls
//   AfxDpi.h     AfxScaleForDpi, AfxGetWindowDpi, AfxGetSystemMetricsForDpi, AfxKeepDialogUnscaled
//   AfxHandle.h  owned kernel, file, find, registry, service and library handles; CComScope
#pragma once
#include "framework/AfxTypes.h"
#include "framework/AfxString.h"
#include "framework/AfxGdi.h"
#include "framework/AfxWnd.h"
#include "framework/AfxCtrls.h"
#include "framework/AfxDialog.h"
#include "framework/AfxApp.h"
#include "framework/AfxDll.h"
#include "framework/AfxDpi.h"
#include "framework/AfxHandle.h"
