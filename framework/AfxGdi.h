// GDI wrappers: owning forms that free their handle in their destructor, and borrowing forms
// for what the system or a caller lends.
//   CGdiObject    base of the GDI objects, which own their handle (Attach takes ownership,
//                 Detach gives it away, DeleteObject frees it); movable, not copyable
//   CBitmap       bitmap; CRgn region; CFont font; CBrush brush; CPen pen
//   CDC           device context and the drawing functions; owns its DC (CreateCompatibleDC,
//                 or Attach) and deletes it
//   CDCHandle     a DC lent by the system or a caller (WM_DRAWITEM, WM_ERASEBKGND): drawn
//                 into, never deleted
//   CPaintDC      BeginPaint/EndPaint pair for one WM_PAINT
//   CClientDC     GetDC/ReleaseDC pair for a window's client area, or the screen
//   CSelectScope  an object selected into a DC for one scope; the old one goes back at its end
#pragma once
#include <windows.h>
#include "framework/AfxTypes.h"

class CWnd;
class CDC;

class CGdiObject {
public:
    CGdiObject() = default;
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;
    CGdiObject(CGdiObject&& other) noexcept : m_hObject(other.Detach()) {}
    CGdiObject& operator=(CGdiObject&& other) noexcept
    {
        if (this != &other)
            Attach(other.Detach());
        return *this;
    }
    virtual ~CGdiObject() { DeleteObject(); }

    HGDIOBJ m_hObject = nullptr;

    HGDIOBJ GetSafeHandle() const { return m_hObject; }
    // Takes ownership of h, deleting the object held before; TRUE when h is not null.
    BOOL Attach(HGDIOBJ h);
    // Gives the handle away: the caller (or the system) deletes it from now on.
    HGDIOBJ Detach();
    BOOL DeleteObject();
    int GetObject(int nCount, LPVOID pObject) const { return ::GetObjectW(m_hObject, nCount, pObject); }
};

class CBitmap : public CGdiObject {
public:
    operator HBITMAP() const { return (HBITMAP)m_hObject; }
    // Loads a bitmap resource from the framework's resource module.
    BOOL LoadBitmap(LPCWSTR lpszResourceName);
    BOOL LoadBitmap(UINT nIDResource) { return LoadBitmap(MAKEINTRESOURCEW(nIDResource)); }
    BOOL CreateCompatibleBitmap(CDC* pDC, int nWidth, int nHeight);
    int GetBitmap(BITMAP* pBitMap) const { return GetObject(sizeof(BITMAP), pBitMap); }
};

class CRgn : public CGdiObject {
public:
    operator HRGN() const { return (HRGN)m_hObject; }
    BOOL CreateRectRgn(int x1, int y1, int x2, int y2) { return Attach(::CreateRectRgn(x1, y1, x2, y2)); }
    BOOL CreateRectRgnIndirect(LPCRECT rc) { return Attach(::CreateRectRgnIndirect(rc)); }
    int CombineRgn(HRGN a, HRGN b, int mode) { return ::CombineRgn((HRGN)m_hObject, a, b, mode); }
    BOOL EqualRgn(HRGN other) const { return ::EqualRgn((HRGN)m_hObject, other); }
};

class CFont : public CGdiObject {
public:
    operator HFONT() const { return (HFONT)m_hObject; }
    BOOL CreateFontIndirect(const LOGFONTW* plf) { return Attach(::CreateFontIndirectW(plf)); }
    // Size in tenths of a point for the given DC, or the screen when pDC is null.
    BOOL CreatePointFont(int nPointSize, LPCWSTR lpszFaceName, CDC* pDC = nullptr);
    int GetLogFont(LOGFONTW* plf) const { return GetObject(sizeof(LOGFONTW), plf); }
};

class CBrush : public CGdiObject {
public:
    CBrush() = default;
    explicit CBrush(COLORREF cr) { CreateSolidBrush(cr); }
    operator HBRUSH() const { return (HBRUSH)m_hObject; }
    BOOL CreateSolidBrush(COLORREF cr) { return Attach(::CreateSolidBrush(cr)); }
};

class CPen : public CGdiObject {
public:
    operator HPEN() const { return (HPEN)m_hObject; }
    BOOL CreatePen(int style, int width, COLORREF cr) { return Attach(::CreatePen(style, width, cr)); }
};

class CDC {
public:
    CDC() = default;
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;
    virtual ~CDC() { DeleteDC(); }

    HDC m_hDC = nullptr;

    operator HDC() const { return m_hDC; }
    HDC GetSafeHdc() const { return m_hDC; }
    // Takes ownership of hDC, deleting the DC held before. A DC that the system or a caller
    // lends goes into a CDCHandle instead.
    BOOL Attach(HDC hDC);
    // Gives the DC away: the caller deletes it from now on.
    HDC Detach();
    // A memory DC compatible with pDC (the screen when null), owned by this object.
    BOOL CreateCompatibleDC(CDC* pDC);
    // Deletes the DC this object owns; the borrowing forms only let go of theirs.
    BOOL DeleteDC();

    HGDIOBJ SelectObject(HGDIOBJ h) { return ::SelectObject(m_hDC, h); }
    HGDIOBJ SelectObject(CGdiObject* p) { return ::SelectObject(m_hDC, p->m_hObject); }
    HGDIOBJ SelectStockObject(int nIndex) { return ::SelectObject(m_hDC, ::GetStockObject(nIndex)); }
    int SaveDC() { return ::SaveDC(m_hDC); }
    BOOL RestoreDC(int nSavedDC) { return ::RestoreDC(m_hDC, nSavedDC); }

    BOOL BitBlt(int x, int y, int w, int h, CDC* pSrc, int xSrc, int ySrc, DWORD rop)
        { return ::BitBlt(m_hDC, x, y, w, h, pSrc ? pSrc->m_hDC : nullptr, xSrc, ySrc, rop); }
    BOOL StretchBlt(int x, int y, int w, int h, CDC* pSrc, int xSrc, int ySrc, int wSrc, int hSrc, DWORD rop)
        { return ::StretchBlt(m_hDC, x, y, w, h, pSrc ? pSrc->m_hDC : nullptr, xSrc, ySrc, wSrc, hSrc, rop); }
    COLORREF GetPixel(int x, int y) const { return ::GetPixel(m_hDC, x, y); }
    COLORREF SetPixel(int x, int y, COLORREF cr) { return ::SetPixel(m_hDC, x, y, cr); }
    void FillRect(LPCRECT rc, HBRUSH hbr) { ::FillRect(m_hDC, rc, hbr); }
    void FillSolidRect(LPCRECT rc, COLORREF cr);
    BOOL Rectangle(int l, int t, int r, int b) { return ::Rectangle(m_hDC, l, t, r, b); }
    void DrawFocusRect(LPCRECT rc) { ::DrawFocusRect(m_hDC, rc); }
    BOOL DrawIcon(int x, int y, HICON hIcon) { return ::DrawIcon(m_hDC, x, y, hIcon); }

    int DrawText(LPCWSTR text, int len, LPRECT rc, UINT format) { return ::DrawTextW(m_hDC, text, len, rc, format); }
    BOOL TextOut(int x, int y, LPCWSTR text, int len) { return ::TextOutW(m_hDC, x, y, text, len); }
    int SetBkMode(int mode) { return ::SetBkMode(m_hDC, mode); }
    COLORREF SetTextColor(COLORREF cr) { return ::SetTextColor(m_hDC, cr); }
    COLORREF GetTextColor() const { return ::GetTextColor(m_hDC); }
    COLORREF SetBkColor(COLORREF cr) { return ::SetBkColor(m_hDC, cr); }
    UINT SetTextAlign(UINT flags) { return ::SetTextAlign(m_hDC, flags); }
    CPoint SetViewportOrg(int x, int y) { POINT old{}; ::SetViewportOrgEx(m_hDC, x, y, &old); return CPoint(old.x, old.y); }
    CPoint GetViewportOrg() const { POINT pt{}; ::GetViewportOrgEx(m_hDC, &pt); return CPoint(pt.x, pt.y); }
    int GetDeviceCaps(int index) const { return ::GetDeviceCaps(m_hDC, index); }

protected:
    // The borrowing forms: whatever they hold, they never delete.
    CDC(HDC hDC, bool bOwner) : m_hDC(hDC), m_bOwner(bOwner) {}

private:
    const bool m_bOwner = true;
};

// A DC that the system or a caller lends for a while: this object draws into it and never
// deletes it.
class CDCHandle : public CDC {
public:
    explicit CDCHandle(HDC hDC = nullptr) : CDC(hDC, false) {}

private:
    // Nothing to make, take over or delete.
    using CDC::Attach;
    using CDC::Detach;
    using CDC::CreateCompatibleDC;
    using CDC::DeleteDC;
};

// BeginPaint in the constructor, EndPaint in the destructor.
class CPaintDC : public CDCHandle {
public:
    explicit CPaintDC(CWnd* pWnd);
    ~CPaintDC() override;
    PAINTSTRUCT m_ps{};
private:
    HWND m_hWnd;
};

// GetDC in the constructor, ReleaseDC in the destructor; a null window gives the screen's DC.
class CClientDC : public CDCHandle {
public:
    explicit CClientDC(CWnd* pWnd);
    ~CClientDC() override;
private:
    HWND m_hWnd;
};

// Selects an object into a DC for one scope and selects the DC's previous object back at its
// end, before the object itself may be deleted. A null object, or one the DC refuses, selects
// nothing and so puts nothing back.
class CSelectScope {
public:
    CSelectScope(HDC hDC, HGDIOBJ hObject)
        : m_hDC(hDC), m_hOld(hObject ? ::SelectObject(hDC, hObject) : nullptr) {}
    ~CSelectScope()
    {
        if (m_hOld)
            ::SelectObject(m_hDC, m_hOld);
    }
    CSelectScope(const CSelectScope&) = delete;
    CSelectScope& operator=(const CSelectScope&) = delete;

private:
    HDC m_hDC;
    HGDIOBJ m_hOld;
};
