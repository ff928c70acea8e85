#include "framework/AfxGdi.h"
#include "framework/AfxApp.h"
#include "framework/AfxWnd.h"
#include <utility>

BOOL CGdiObject::Attach(HGDIOBJ h)
{
    DeleteObject();
    m_hObject = h;
    return h != nullptr;
}

HGDIOBJ CGdiObject::Detach()
{
    return std::exchange(m_hObject, nullptr);
}

BOOL CGdiObject::DeleteObject()
{
    if (!m_hObject)
        return FALSE;
    BOOL ok = ::DeleteObject(m_hObject);
    m_hObject = nullptr;
    return ok;
}

BOOL CBitmap::LoadBitmap(LPCWSTR lpszResourceName)
{
    return Attach(::LoadBitmapW(AfxGetResourceHandle(), lpszResourceName));
}

BOOL CBitmap::CreateCompatibleBitmap(CDC* pDC, int nWidth, int nHeight)
{
    return Attach(::CreateCompatibleBitmap(pDC->m_hDC, nWidth, nHeight));
}

namespace {

// Tenths of a point to logical units of hDC: negative height, the character height.
LONG PointHeight(HDC hDC, int nPointSize)
{
    POINT pt{0, (::GetDeviceCaps(hDC, LOGPIXELSY) * nPointSize) / 720};
    POINT ptOrg{0, 0};
    ::DPtoLP(hDC, &pt, 1);
    ::DPtoLP(hDC, &ptOrg, 1);
    return -abs(pt.y - ptOrg.y);
}

} // namespace

BOOL CFont::CreatePointFont(int nPointSize, LPCWSTR lpszFaceName, CDC* pDC)
{
    LOGFONTW lf{};
    lf.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(lf.lfFaceName, lpszFaceName ? lpszFaceName : L"", LF_FACESIZE);
    if (pDC) {
        lf.lfHeight = PointHeight(pDC->m_hDC, nPointSize);
    } else {
        CClientDC screen(nullptr);
        lf.lfHeight = PointHeight(screen, nPointSize);
    }
    return CreateFontIndirect(&lf);
}

BOOL CDC::Attach(HDC hDC)
{
    if (hDC != m_hDC) {
        DeleteDC();
        m_hDC = hDC;
    }
    return hDC != nullptr;
}

HDC CDC::Detach()
{
    return std::exchange(m_hDC, nullptr);
}

BOOL CDC::CreateCompatibleDC(CDC* pDC)
{
    return Attach(::CreateCompatibleDC(pDC ? pDC->m_hDC : nullptr));
}

BOOL CDC::DeleteDC()
{
    if (!m_hDC)
        return FALSE;
    BOOL ok = m_bOwner ? ::DeleteDC(m_hDC) : TRUE;
    m_hDC = nullptr;
    return ok;
}

void CDC::FillSolidRect(LPCRECT rc, COLORREF cr)
{
    COLORREF old = ::SetBkColor(m_hDC, cr);
    ::ExtTextOutW(m_hDC, 0, 0, ETO_OPAQUE, rc, nullptr, 0, nullptr);
    ::SetBkColor(m_hDC, old);
}

CPaintDC::CPaintDC(CWnd* pWnd) : m_hWnd(pWnd->m_hWnd)
{
    m_hDC = ::BeginPaint(m_hWnd, &m_ps);
}

CPaintDC::~CPaintDC()
{
    ::EndPaint(m_hWnd, &m_ps);
    m_hDC = nullptr;
}

CClientDC::CClientDC(CWnd* pWnd) : m_hWnd(pWnd ? pWnd->m_hWnd : nullptr)
{
    m_hDC = ::GetDC(m_hWnd);
}

CClientDC::~CClientDC()
{
    if (m_hDC)
        ::ReleaseDC(m_hWnd, m_hDC);
    m_hDC = nullptr;
}
