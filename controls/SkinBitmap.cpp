// CSkinBitmap: a resource bitmap with its size, its drawing and its window region.
#include "controls/SkinBitmap.h"

CSkinBitmap::CSkinBitmap(LPCWSTR lpszResourceName)
{
    LoadBitmap(lpszResourceName);
}

CSkinBitmap::CSkinBitmap(UINT nIDResource)
{
    LoadBitmap(nIDResource);
}

BOOL CSkinBitmap::LoadScaledBitmap(UINT nIDResource, UINT nDpi)
{
    DeleteObject();
    if (!LoadBitmap(nIDResource))
        return FALSE;
    if (nDpi == AFX_DEFAULT_DPI)
        return TRUE;
    const CSize size = GetSize();
    // Without memory for the copy the button keeps the 1x look rather than none.
    if (HBITMAP hScaled = ScaleBitmapSmooth((HBITMAP)m_hObject, AfxScaleForDpi(size.cx, nDpi),
                                            AfxScaleForDpi(size.cy, nDpi)))
        Attach(hScaled);
    return TRUE;
}

CSkinBitmap::~CSkinBitmap() = default;

CSize CSkinBitmap::GetSize() const
{
    BITMAP bm{};
    if (!m_hObject || !GetBitmap(&bm))
        return CSize(0, 0);
    return CSize(bm.bmWidth, bm.bmHeight);
}

BOOL CSkinBitmap::Draw(CDC* pDC, int x, int y)
{
    CSize size = GetSize();
    CDC mem;
    if (!mem.CreateCompatibleDC(pDC))
        return FALSE;
    CSelectScope select(mem, m_hObject);
    return pDC->BitBlt(x, y, size.cx, size.cy, &mem, 0, 0, SRCCOPY);
}

BOOL CSkinBitmap::StretchDraw(CDC* pDC, LPCRECT lpDest)
{
    CSize size = GetSize();
    CDC mem;
    if (mem.CreateCompatibleDC(pDC)) {
        CSelectScope select(mem, m_hObject);
        pDC->StretchBlt(lpDest->left, lpDest->top, lpDest->right - lpDest->left, lpDest->bottom - lpDest->top,
                        &mem, 0, 0, size.cx, size.cy, SRCCOPY);
    }
    return TRUE;
}

BOOL CSkinBitmap::DrawWithBorders(CDC* pDC, LPCRECT lpDest, CSize border)
{
    const int W = lpDest->right - lpDest->left, H = lpDest->bottom - lpDest->top;
    const CSize bmp = GetSize();
    const int cx = border.cx, cy = border.cy;
    if (W <= 2 * cx || H <= 2 * cy || bmp.cx <= 2 * cx || bmp.cy <= 2 * cy)
        return FALSE;

    CDC a, s;
    a.CreateCompatibleDC(pDC);
    s.CreateCompatibleDC(pDC);
    CBitmap t1, t2;
    t1.CreateCompatibleBitmap(pDC, W, bmp.cy);
    t2.CreateCompatibleBitmap(pDC, W, H);

    {
        // Across: left border, stretched middle, right border, into T1 (W x bitmap height).
        CSelectScope intoA(a, t1), fromS(s, m_hObject);
        a.BitBlt(0, 0, cx, bmp.cy, &s, 0, 0, SRCCOPY);
        a.StretchBlt(cx, 0, W - 2 * cx, bmp.cy, &s, cx, 0, bmp.cx - 2 * cx, bmp.cy, SRCCOPY);
        a.BitBlt(W - cx, 0, cx, bmp.cy, &s, bmp.cx - cx, 0, SRCCOPY);
    }
    // Down: top border, stretched middle, bottom border, from T1 into T2 (W x H). T1 has left
    // A, as a bitmap lies in one DC at a time.
    CSelectScope intoA(a, t2), fromS(s, t1);
    a.BitBlt(0, 0, W, cy, &s, 0, 0, SRCCOPY);
    a.StretchBlt(0, cy, W, H - 2 * cy, &s, 0, cy, W, bmp.cy - 2 * cy, SRCCOPY);
    a.BitBlt(0, H - cy, W, cy, &s, 0, bmp.cy - cy, SRCCOPY);

    pDC->BitBlt(lpDest->left, lpDest->top, W, H, &a, 0, 0, SRCCOPY);
    return TRUE;
}

HRGN CSkinBitmap::CreateRegionFromBitmap(COLORREF crKey, LPCRECT lpInner)
{
    m_rgn.Attach(CreateBitmapRegion((HBITMAP)m_hObject, crKey, lpInner));
    return (HRGN)m_rgn.GetSafeHandle();
}

HRGN CSkinBitmap::CreateRegionFromBitmapReference(COLORREF crKey, LPCRECT lpInner)
{
    m_rgn.Attach(CreateBitmapRegionByPixel((HBITMAP)m_hObject, crKey, lpInner));
    return (HRGN)m_rgn.GetSafeHandle();
}
