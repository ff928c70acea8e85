// Skinned controls: bitmap helper and region builder.
//   CSkinBitmap                 a resource bitmap with its size, three ways to draw it and a
//                               window region built from its non-key pixels (SkinBitmap.cpp)
//   CreateBitmapRegion          the region builder on any bitmap handle (one read of all pixels)
//   CreateBitmapRegionByPixel   the same region built pixel by pixel with GetPixel; slow, kept
//                               as the reference the fast builder is checked and measured against
//                               (both BitmapRegion.cpp)
//   ScaleBitmapSmooth           a bitmap resampled to another size with a bicubic filter, for
//                               the skin at resolutions above 96 dpi (BitmapScaling.cpp)
//
// Region ownership: the region a CSkinBitmap builds stays its own (m_rgn) until the owner
// takes it with DetachRegion, which is what to do before SetWindowRgn: a window deletes the
// region it is given, so the skin bitmap must not keep (and later delete) that handle.
#pragma once
#include "framework/Afx.h"

// The key colour of the skin pictures: pixels of this colour lie outside the window.
constexpr COLORREF SKIN_KEY_MAGENTA = RGB(255, 0, 255);

// Builds the region of hBitmap's pixels that are not crKey (exact COLORREF equality).
// lpInner null or (0, 0, 0, 0): every pixel is tested. Otherwise the inner rectangle stays
// whole apart from its first row: key pixels are removed only outside rows
// inner.top + 1 .. inner.bottom - 1 of columns inner.left .. inner.right - 1.
// The bitmap must not be selected into a device context meanwhile (GetDIBits reads it).
// The caller owns the returned region (null when the bitmap cannot be read).
HRGN CreateBitmapRegion(HBITMAP hBitmap, COLORREF crKey, LPCRECT lpInner = nullptr);
// The same region from one GetPixel per tested pixel and one region operation per run or
// key pixel. The caller owns the returned region.
HRGN CreateBitmapRegionByPixel(HBITMAP hBitmap, COLORREF crKey, LPCRECT lpInner = nullptr);

// A new 32-bit bitmap of cx x cy pixels resampled from hBitmap with a bicubic (Catmull-Rom)
// filter. With a key colour (not -1) the key pixels count as transparent: their colour never
// bleeds into the picture, and a pixel of the result is the key colour when it is less than
// half covered, so that a region built from the result follows the shape smoothly.
// The caller owns the result (null when the bitmap cannot be read).
HBITMAP ScaleBitmapSmooth(HBITMAP hBitmap, int cx, int cy, COLORREF crKey = (COLORREF)-1);

class CSkinBitmap : public CBitmap {
public:
    CSkinBitmap() = default;
    // Loads the bitmap from the framework's resource module; a failed load leaves it empty.
    explicit CSkinBitmap(LPCWSTR lpszResourceName);
    explicit CSkinBitmap(UINT nIDResource);
    ~CSkinBitmap() override;

    // Loads the bitmap and, for a resolution other than 96 dpi, replaces it with a smooth copy
    // of round(size * nDpi / 96) pixels. FALSE when the resource cannot be loaded.
    BOOL LoadScaledBitmap(UINT nIDResource, UINT nDpi);

    // Width and height of the bitmap; (0, 0) when there is none.
    CSize GetSize() const;
    // Copies the whole bitmap one-to-one with its top-left corner at (x, y).
    BOOL Draw(CDC* pDC, int x, int y);
    BOOL Draw(CDC* pDC, CPoint pt) { return Draw(pDC, pt.x, pt.y); }
    // Stretches the whole bitmap into lpDest.
    BOOL StretchDraw(CDC* pDC, LPCRECT lpDest);
    // Nine-slice drawing into lpDest: borders of border.cx left and right and border.cy top
    // and bottom stay unscaled. FALSE (nothing drawn) when the destination or the bitmap is
    // not larger than twice the border in either direction.
    BOOL DrawWithBorders(CDC* pDC, LPCRECT lpDest, CSize border);

    // Builds the region of the non-key pixels (see CreateBitmapRegion) and keeps it in
    // m_rgn, replacing the one built before. The returned handle stays owned by this object.
    HRGN CreateRegionFromBitmap(COLORREF crKey, LPCRECT lpInner);
    // The same through the per-pixel reference builder.
    HRGN CreateRegionFromBitmapReference(COLORREF crKey, LPCRECT lpInner);
    // Gives up the last built region: the caller (usually a window through SetWindowRgn)
    // owns it from now on. Null when there is none.
    HRGN DetachRegion() { return (HRGN)m_rgn.Detach(); }

protected:
    CRgn m_rgn;   // the region built by the last CreateRegionFromBitmap
};
