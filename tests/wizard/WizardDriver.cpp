#include "tests/wizard/WizardDriver.h"
#include <commctrl.h>
#include <oleacc.h>
#include <shlobj.h>
#include <tlhelp32.h>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

const wchar_t kTestRoot[] = L"C:\\wizard-tests\\";
const wchar_t kSetupOverrides[] = L"Software\\Wine\\AppDefaults\\setup.exe\\DllOverrides";
const DWORD kStartTimeoutMs = 60000;

// The screen area rc as top-down 32-bit pixels.
std::vector<DWORD> CaptureScreen(const RECT& rc)
{
    int w = rc.right - rc.left, h = rc.bottom - rc.top;
    std::vector<DWORD> px((size_t)w * h);
    HDC hScreen = ::GetDC(nullptr);
    HDC hMem = ::CreateCompatibleDC(hScreen);
    BITMAPINFO bi = TopDownDib(w, h);
    void* bits = nullptr;
    HBITMAP hBmp = ::CreateDIBSection(hScreen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(hMem, hBmp);
    ::BitBlt(hMem, 0, 0, w, h, hScreen, rc.left, rc.top, SRCCOPY);
    ::GdiFlush();
    memcpy(px.data(), bits, px.size() * 4);
    ::SelectObject(hMem, old);
    ::DeleteObject(hBmp);
    ::DeleteDC(hMem);
    ::ReleaseDC(nullptr, hScreen);
    return px;
}

// A bitmap file's pixels, top-down, as 32-bit DIB pixels, with its size; empty when it
// cannot be read.
std::vector<DWORD> ReadBitmapPixels(const std::wstring& path, int* pWidth, int* pHeight)
{
    HBITMAP hBmp =
        (HBITMAP)::LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION);
    if (!hBmp)
        return {};
    BITMAP bm{};
    ::GetObjectW(hBmp, sizeof(bm), &bm);
    *pWidth = bm.bmWidth;
    *pHeight = bm.bmHeight;
    std::vector<DWORD> px((size_t)bm.bmWidth * bm.bmHeight);
    BITMAPINFO bi = TopDownDib(bm.bmWidth, bm.bmHeight);
    HDC hdc = ::GetDC(nullptr);
    ::GetDIBits(hdc, hBmp, 0, bm.bmHeight, px.data(), &bi, DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, hdc);
    ::DeleteObject(hBmp);
    return px;
}

// Copies a folder tree; FALSE on the first failure.
BOOL CopyTree(const std::wstring& from, const std::wstring& to)
{
    ::CreateDirectoryW(to.c_str(), nullptr);
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((from + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return FALSE;
    BOOL ok = TRUE;
    do {
        std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ok = CopyTree(from + L"\\" + name, to + L"\\" + name) && ok;
        else
            ok = ::CopyFileW((from + L"\\" + name).c_str(), (to + L"\\" + name).c_str(), FALSE) && ok;
    } while (::FindNextFileW(h, &fd));
    ::FindClose(h);
    return ok;
}

std::wstring WindowText(HWND hWnd)
{
    wchar_t buf[1024] = {};
    ::GetWindowTextW(hWnd, buf, 1024);
    return buf;
}

} // namespace

std::wstring LoadPackageText(const std::wstring& packageDir, const wchar_t* lang, UINT nID)
{
    std::wstring dll = packageDir + L"setup" + lang + L".dll";
    HMODULE h = ::LoadLibraryExW(dll.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!h)
        return L"<no " + dll + L">";
    wchar_t buf[1024] = {};
    ::LoadStringW(h, nID, buf, 1024);
    ::FreeLibrary(h);
    return buf;
}

std::wstring JournalPath()
{
    wchar_t buf[MAX_PATH] = {};
    ::GetEnvironmentVariableW(L"SETUP_TOOLS_JOURNAL", buf, MAX_PATH);
    return buf;
}

std::string ReadJournal()
{
    return ReadWholeFile(JournalPath());
}

void ClearJournal()
{
    ::DeleteFileW(JournalPath().c_str());
}

TestPackage::TestPackage(const wchar_t* name, bool bTitleBitmap)
{
    ::CreateDirectoryW(kTestRoot, nullptr);
    std::wstring dir = std::wstring(kTestRoot) + name;
    DeleteTree(dir);
    CopyTree(WinePath(bTitleBitmap ? SETUP_TURBOVOLUME_PACKAGE_DIR : SETUP_PACKAGE_DIR), dir);
    folder = dir + L"\\";
}

BOOL TestPackage::UseProgramWithoutCatalogue() const
{
    return ::CopyFileW(WinePath(SETUP_BINARY_DIR "/package-unsigned/setup.exe").c_str(), (folder + L"setup.exe").c_str(),
                       FALSE);
}

BOOL TestPackage::ChangeOneByte(const wchar_t* lpszName) const
{
    std::string bytes = ReadWholeFile(folder + lpszName);
    if (bytes.empty())
        return FALSE;
    bytes[bytes.size() / 2] ^= 1;
    return WriteWholeFile(folder + lpszName, bytes);
}

PlantedLibraries::PlantedLibraries(const std::wstring& folder, const std::vector<std::wstring>& preferred,
                                   const std::vector<std::wstring>& others)
{
    m_marker = PlantedMarkerPath();
    ::DeleteFileW(m_marker.c_str());
    HKEY hKey = nullptr;
    ::RegCreateKeyExW(HKEY_CURRENT_USER, kSetupOverrides, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &hKey, nullptr);
    const wchar_t order[] = L"native,builtin";
    for (const std::wstring& name : preferred)
        ::RegSetValueExW(hKey, name.c_str(), 0, REG_SZ, (const BYTE*)order, sizeof(order));
    ::RegCloseKey(hKey);
    for (const auto* names : {&preferred, &others})
        for (const std::wstring& name : *names)
            ::CopyFileW(WinePath(PLANTED_DLL).c_str(), (folder + name + L".dll").c_str(), FALSE);
}

PlantedLibraries::~PlantedLibraries()
{
    ::RegDeleteKeyW(HKEY_CURRENT_USER, kSetupOverrides);
}

std::string PlantedLibraries::Ran() const
{
    return ReadWholeFile(m_marker);
}

WizardProcess::~WizardProcess()
{
    Kill();
}

namespace {

// The started process or one that it started: the uninstall runs its wizard from a
// temporary copy of the program.
bool IsOwnProcess(DWORD pid, DWORD startedPid)
{
    if (pid == startedPid)
        return true;
    bool bChild = false;
    HANDLE hSnap = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W pe{};
    pe.dwSize = sizeof(pe);
    for (BOOL more = hSnap != INVALID_HANDLE_VALUE && ::Process32FirstW(hSnap, &pe); more && !bChild;
         more = ::Process32NextW(hSnap, &pe))
        bChild = pe.th32ProcessID == pid && pe.th32ParentProcessID == startedPid;
    if (hSnap != INVALID_HANDLE_VALUE)
        ::CloseHandle(hSnap);
    return bChild;
}

// A visible dialog of the started process (or one it started) for which pred holds, or null;
// the process that shows it in *pPid.
HWND FindDialog(DWORD startedPid, const std::function<bool(HWND)>& pred, DWORD* pPid = nullptr)
{
    struct Data {
        DWORD startedPid;
        const std::function<bool(HWND)>* pred;
        HWND hWnd;
        DWORD pid;
    } data{startedPid, &pred, nullptr, 0};
    ::EnumWindows(
        [](HWND hWnd, LPARAM lParam) -> BOOL {
            auto* d = reinterpret_cast<Data*>(lParam);
            DWORD pid = 0;
            ::GetWindowThreadProcessId(hWnd, &pid);
            wchar_t cls[32] = {};
            ::GetClassNameW(hWnd, cls, 32);
            if (wcscmp(cls, L"#32770") || !::IsWindowVisible(hWnd) || !(*d->pred)(hWnd)
                || !IsOwnProcess(pid, d->startedPid))
                return TRUE;
            d->hWnd = hWnd;
            d->pid = pid;
            return FALSE;
        },
        (LPARAM)&data);
    if (pPid)
        *pPid = data.pid;
    return data.hWnd;
}

} // namespace

HWND WizardProcess::FindMessageBox(const wchar_t* lpszText) const
{
    return FindDialog(m_pi.dwProcessId, [lpszText](HWND hWnd) {
        for (HWND h = ::GetWindow(hWnd, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
            wchar_t buf[256] = {};
            ::GetWindowTextW(h, buf, 256);
            if (wcscmp(buf, lpszText) == 0)
                return true;
        }
        return false;
    });
}

BOOL WizardProcess::Launch(const std::wstring& exePath, const std::wstring& words)
{
    std::wstring cmd = L"\"" + exePath + L"\"";
    if (!words.empty())
        cmd += L" " + words;
    std::vector<wchar_t> buf(cmd.begin(), cmd.end());
    buf.push_back(0);
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    return ::CreateProcessW(nullptr, buf.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &m_pi);
}

BOOL WizardProcess::Attach()
{
    // A process that ends without a window (a second instance, no language library) fails at once.
    BOOL found = WaitFor([this] {
        if (::WaitForSingleObject(m_pi.hProcess, 0) == WAIT_OBJECT_0)
            return true;
        // The wizard, not a message box of the same process (those carry a static text item).
        m_hWnd = FindDialog(m_pi.dwProcessId, [](HWND hWnd) { return ::GetDlgItem(hWnd, 1000) != nullptr; },
                            &m_dwWizardPid);
        return m_hWnd != nullptr;
    }, kStartTimeoutMs);
    return found && m_hWnd != nullptr;
}

BOOL WizardProcess::WaitWizardExit(DWORD ms)
{
    if (!m_dwWizardPid || m_dwWizardPid == m_pi.dwProcessId)
        return WaitExit(ms);
    HANDLE hWizard = ::OpenProcess(SYNCHRONIZE, FALSE, m_dwWizardPid);
    if (!hWizard)
        return TRUE;   // already gone
    BOOL ended = WaitFor([hWizard] { return ::WaitForSingleObject(hWizard, 0) == WAIT_OBJECT_0; }, ms);
    ::CloseHandle(hWizard);
    return ended;
}

BOOL WizardProcess::WaitExit(DWORD ms, DWORD* pExitCode)
{
    if (!m_pi.hProcess)
        return TRUE;
    BOOL ended = WaitFor([this] { return ::WaitForSingleObject(m_pi.hProcess, 0) == WAIT_OBJECT_0; }, ms);
    if (ended && pExitCode)
        ::GetExitCodeProcess(m_pi.hProcess, pExitCode);
    return ended;
}

void WizardProcess::Kill()
{
    if (!m_pi.hProcess)
        return;
    if (::WaitForSingleObject(m_pi.hProcess, 0) != WAIT_OBJECT_0) {
        ::TerminateProcess(m_pi.hProcess, 99);
        ::WaitForSingleObject(m_pi.hProcess, 5000);
    }
    ::CloseHandle(m_pi.hProcess);
    ::CloseHandle(m_pi.hThread);
    m_pi = PROCESS_INFORMATION{};
}

std::wstring WizardProcess::Text(int id) const
{
    return WindowText(Item(id));
}

std::wstring WizardProcess::Title() const
{
    return WindowText(m_hWnd);
}

std::wstring WizardProcess::AccessibleName(int id) const
{
    std::wstring name = L"(no accessible object)";
    ::CoInitialize(nullptr);
    IAccessible* acc = nullptr;
    if (SUCCEEDED(::AccessibleObjectFromWindow(Item(id), (DWORD)OBJID_CLIENT, __uuidof(IAccessible), (void**)&acc))) {
        VARIANT self;
        ::VariantInit(&self);
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        BSTR bstr = nullptr;
        name.clear();
        if (acc->get_accName(self, &bstr) == S_OK && bstr) {
            name = bstr;
            ::SysFreeString(bstr);
        }
        acc->Release();
    }
    ::CoUninitialize();
    return name;
}

HWND WizardProcess::Focus() const
{
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    DWORD tid = ::GetWindowThreadProcessId(m_hWnd, nullptr);
    if (!tid || !::GetGUIThreadInfo(tid, &info))
        return nullptr;
    return info.hwndFocus;
}

RECT WizardProcess::ItemRect(int id) const
{
    RECT rc{};
    ::GetWindowRect(Item(id), &rc);
    ::MapWindowPoints(nullptr, m_hWnd, (LPPOINT)&rc, 2);
    return rc;
}

std::vector<DWORD> WizardProcess::ItemPixels(int id) const
{
    RECT rc;
    ::GetWindowRect(Item(id), &rc);
    return CaptureScreen(rc);
}

std::vector<DWORD> WizardProcess::PaintedItemPixels(int id, DWORD ms) const
{
    int width = 0, height = 0;
    const std::vector<DWORD> skin = ReadBitmapPixels(WinePath(SETUP_BINARY_DIR) + L"\\art\\bg130.bmp", &width, &height);
    const RECT item = ItemRect(id);
    const RECT ring = {item.left - 1, item.top - 1, item.right + 1, item.bottom + 1};
    if (skin.empty() || ring.left < 0 || ring.top < 0 || ring.right > width || ring.bottom > height)
        return {};
    // The ring shows the picture where the window has painted; inside, the control differs.
    auto painted = [&](const std::vector<DWORD>& px) {
        bool bRing = true, bInside = false;
        for (int y = ring.top; y < ring.bottom; ++y)
            for (int x = ring.left; x < ring.right; ++x) {
                const DWORD shown = px[(size_t)(y - ring.top) * (ring.right - ring.left) + (x - ring.left)];
                const bool bSame = ((shown ^ skin[(size_t)y * width + x]) & 0xFFFFFF) == 0;
                if (x < item.left || x >= item.right || y < item.top || y >= item.bottom)
                    bRing = bRing && bSame;
                else
                    bInside = bInside || !bSame;
            }
        return bRing && bInside;
    };
    RECT screen = ring;
    ::MapWindowPoints(m_hWnd, nullptr, (LPPOINT)&screen, 2);
    // Painted, and two captures in a row agree.
    std::vector<DWORD> last, px;
    if (!WaitFor([&] {
            px = CaptureScreen(screen);
            const bool bDone = px == last && painted(px);
            last = px;
            return bDone;
        }, ms))
        return {};
    std::vector<DWORD> inside;
    for (int y = 1; y < ring.bottom - ring.top - 1; ++y)
        for (int x = 1; x < ring.right - ring.left - 1; ++x)
            inside.push_back(px[(size_t)y * (ring.right - ring.left) + x]);
    return inside;
}

int WizardProcess::ProgressPos() const
{
    return (int)::SendMessageW(Item(1003), PBM_GETPOS, 0, 0);
}

namespace {

void SendMouse(DWORD flags)
{
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flags;
    ::SendInput(1, &in, sizeof(in));
}

void MoveCursorTo(POINT ptScreen)
{
    ::SetCursorPos(ptScreen.x, ptScreen.y);
    SendMouse(MOUSEEVENTF_MOVE);   // a real move event, so that hover tracking sees it
    ::Sleep(60);
}

} // namespace

void WizardProcess::Click(POINT ptClient) const
{
    POINT pt = ptClient;
    ::ClientToScreen(m_hWnd, &pt);
    MoveCursorTo(pt);
    SendMouse(MOUSEEVENTF_LEFTDOWN);
    ::Sleep(60);
    SendMouse(MOUSEEVENTF_LEFTUP);
    ::Sleep(100);
}

void WizardProcess::ClickItem(int id) const
{
    RECT rc = ItemRect(id);
    POINT pt = {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    if (id == 1008)
        pt.x = rc.left + 10;   // the check box's mark
    Click(pt);
}

void WizardProcess::Drag(POINT ptClient, int dx, int dy) const
{
    POINT pt = ptClient;
    ::ClientToScreen(m_hWnd, &pt);
    MoveCursorTo(pt);
    SendMouse(MOUSEEVENTF_LEFTDOWN);
    ::Sleep(150);
    const int steps = 5;
    for (int i = 1; i <= steps; ++i) {
        ::SetCursorPos(pt.x + dx * i / steps, pt.y + dy * i / steps);
        SendMouse(MOUSEEVENTF_MOVE);
        ::Sleep(60);
    }
    SendMouse(MOUSEEVENTF_LEFTUP);
    ::Sleep(200);
}

void WizardProcess::Key(WORD vk, bool bAlt, bool bShift) const
{
    ::SetForegroundWindow(m_hWnd);
    ::Sleep(100);
    // Modifiers down, the key down and up, modifiers up in reverse.
    std::vector<WORD> keys;
    if (bAlt)
        keys.push_back(VK_MENU);
    if (bShift)
        keys.push_back(VK_SHIFT);
    keys.push_back(vk);
    std::vector<INPUT> in(keys.size() * 2);
    for (size_t i = 0; i < keys.size(); ++i) {
        in[i].type = in[in.size() - 1 - i].type = INPUT_KEYBOARD;
        in[i].ki.wVk = in[in.size() - 1 - i].ki.wVk = keys[i];
        in[in.size() - 1 - i].ki.dwFlags = KEYEVENTF_KEYUP;
    }
    ::SendInput((UINT)in.size(), in.data(), sizeof(INPUT));
    ::Sleep(200);
}

void WizardProcess::DismissFailBoxes() const
{
    HWND hBox = ::FindWindowW(L"#32770", L"Fail");
    if (!hBox || !::IsWindowVisible(hBox))
        return;
    wchar_t text[2048] = L"";
    ::GetDlgItemTextW(hBox, 0xFFFF, text, 2048);
    if (m_failBoxes.empty() || m_failBoxes.back() != text)
        m_failBoxes.push_back(text);
    ::PostMessageW(hBox, WM_COMMAND, IDOK, 0);
    for (int i = 0; i < 50 && ::IsWindow(hBox); ++i)
        ::Sleep(20);
}


namespace {

void SetLogPixels(DWORD dpi)
{
    HKEY hKey;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &hKey,
                          nullptr) != ERROR_SUCCESS)
        return;
    ::RegSetValueExW(hKey, L"LogPixels", 0, REG_DWORD, (const BYTE*)&dpi, sizeof(dpi));
    ::RegCloseKey(hKey);
}

} // namespace

ScreenResolution::ScreenResolution(DWORD dpi)
{
    SetLogPixels(dpi);
}

ScreenResolution::~ScreenResolution()
{
    SetLogPixels(96);
}

void SeeRealPixels()
{
    // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE; the function is Windows 10's.
    typedef HANDLE(WINAPI * SetThreadDpiAwarenessContextFn)(HANDLE);
    auto fn = (SetThreadDpiAwarenessContextFn)(void*)::GetProcAddress(::GetModuleHandleW(L"user32.dll"),
                                                                      "SetThreadDpiAwarenessContext");
    if (fn)
        fn((HANDLE)(INT_PTR)-3);
}

BOOL SaveScreenshot(HWND hWnd, const char* name)
{
    RECT rc;
    ::GetWindowRect(hWnd, &rc);
    ::Sleep(300);   // let the last repaint reach the screen
    const std::vector<DWORD> px = CaptureScreen(rc);
    const std::wstring dir = WinePath(SETUP_BINARY_DIR) + L"\\screenshots";
    ::CreateDirectoryW(dir.c_str(), nullptr);
    BITMAPFILEHEADER fh{0x4D42, 0, 0, 0, sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
    const BITMAPINFOHEADER ih = TopDownDib(rc.right - rc.left, rc.bottom - rc.top).bmiHeader;
    fh.bfSize = fh.bfOffBits + (DWORD)px.size() * 4;
    std::string bytes((const char*)&fh, sizeof(fh));
    bytes.append((const char*)&ih, sizeof(ih)).append((const char*)px.data(), px.size() * 4);
    return WriteWholeFile(dir + L"\\" + std::wstring(name, name + strlen(name)) + L".bmp", bytes);
}

double ScreenDifferenceFromBitmap(int x, int y, const std::wstring& bmpPath)
{
    int w = 0, h = 0;
    const std::vector<DWORD> ref = ReadBitmapPixels(bmpPath, &w, &h);
    if (ref.empty())
        return 1e9;
    RECT rc = {x, y, x + w, y + h};
    std::vector<DWORD> got = CaptureScreen(rc);
    double sum = 0;
    for (size_t i = 0; i < ref.size(); ++i)
        for (int s = 0; s < 24; s += 8)
            sum += abs((int)((ref[i] >> s) & 0xFF) - (int)((got[i] >> s) & 0xFF));
    return sum / (ref.size() * 3.0);
}
