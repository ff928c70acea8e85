// Time from process start to the wizard visible and painted, beside the same figure for a
// minimal Win32 program that opens one plain window (wizard_startup_plain.exe).
//   wizard_startup [runs]
// Each run starts the program, polls the screen until the window's picture is there, and
// closes it. Prints the median of the runs for both and their ratio.
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

double NowMs()
{
    static LARGE_INTEGER freq = [] { LARGE_INTEGER f; ::QueryPerformanceFrequency(&f); return f; }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return t.QuadPart * 1000.0 / freq.QuadPart;
}

std::wstring ToWindowsPath(const char* unixPath)
{
    std::wstring path = L"Z:";
    for (const char* p = unixPath; *p; ++p)
        path += (*p == '/') ? L'\\' : (wchar_t)(unsigned char)*p;
    return path;
}

struct Probe {
    POINT pt;          // screen point
    COLORREF colour;   // what it shows once the window is painted
};

// Starts the command, waits until every probe shows its colour, returns the elapsed ms (or
// -1), then ends the program.
double TimeToPainted(const std::wstring& command, const std::vector<Probe>& probes)
{
    std::wstring cmd = command;
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    HDC hScreen = ::GetDC(nullptr);
    // The previous run's picture must be gone from the screen, or it would count at once.
    for (double t0 = NowMs(); NowMs() - t0 < 5000; ::Sleep(10)) {
        bool any = false;
        for (const Probe& p : probes)
            any = any || ::GetPixel(hScreen, p.pt.x, p.pt.y) == p.colour;
        if (!any)
            break;
    }
    double start = NowMs();
    if (!::CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        ::ReleaseDC(nullptr, hScreen);
        return -1;
    }
    double elapsed = -1;
    while (NowMs() - start < 60000) {
        bool all = true;
        for (const Probe& p : probes)
            all = all && ::GetPixel(hScreen, p.pt.x, p.pt.y) == p.colour;
        if (all) {
            elapsed = NowMs() - start;
            break;
        }
        if (::WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0)
            break;
        ::Sleep(1);
    }
    ::ReleaseDC(nullptr, hScreen);
    ::TerminateProcess(pi.hProcess, 0);
    ::WaitForSingleObject(pi.hProcess, 10000);
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(pi.hThread);
    // Let the system drop the ended process's objects (the wizard's single-instance mutex).
    ::Sleep(500);
    return elapsed;
}

// Colour of the background picture at (x, y), read from the art file the resources carry.
COLORREF ArtPixel(const std::wstring& bmpPath, int x, int y)
{
    HBITMAP hBmp = (HBITMAP)::LoadImageW(nullptr, bmpPath.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE);
    if (!hBmp)
        return CLR_INVALID;
    HDC hdc = ::CreateCompatibleDC(nullptr);
    HGDIOBJ old = ::SelectObject(hdc, hBmp);
    COLORREF c = ::GetPixel(hdc, x, y);
    ::SelectObject(hdc, old);
    ::DeleteDC(hdc);
    ::DeleteObject(hBmp);
    return c;
}

// The median of the runs that measured something (failed runs are -1).
double Median(std::vector<double> v)
{
    v.erase(std::remove_if(v.begin(), v.end(), [](double x) { return x < 0; }), v.end());
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    int runs = argc > 1 ? _wtoi(argv[1]) : 5;
    if (runs < 1)
        runs = 1;
    const std::wstring setupExe = ToWindowsPath(SETUP_PACKAGE_DIR) + L"\\setup.exe";
    const std::wstring plainExe = ToWindowsPath(BENCH_PLAIN_EXE);
    const std::wstring art = ToWindowsPath(SETUP_ART_DIR) + L"\\bg130.bmp";

    // The window's top-left corner on a 1024 x 768 screen is (220, 179). Probes on the
    // background picture, away from the controls, and one inside the info label's area.
    const int x0 = 220, y0 = 179;
    std::vector<Probe> wizard;
    for (POINT p : {POINT{100, 150}, POINT{300, 60}, POINT{500, 300}, POINT{20, 395}})
        wizard.push_back({{x0 + p.x, y0 + p.y}, ArtPixel(art, p.x, p.y)});
    std::vector<Probe> plain;
    for (POINT p : {POINT{100, 150}, POINT{300, 60}, POINT{500, 300}, POINT{20, 395}})
        plain.push_back({{x0 + p.x, y0 + p.y}, RGB(1, 2, 3)});

    std::vector<double> tWizard, tPlain;
    for (int i = 0; i < runs; ++i) {
        tPlain.push_back(TimeToPainted(L"\"" + plainExe + L"\"", plain));
        tWizard.push_back(TimeToPainted(L"\"" + setupExe + L"\"", wizard));
        wprintf(L"run %d: wizard %.1f ms, plain window %.1f ms\n", i + 1, tWizard.back(), tPlain.back());
    }
    double w = Median(tWizard), p = Median(tPlain);
    wprintf(L"median of %d runs: wizard visible and painted %.1f ms; plain window %.1f ms; ratio %.2f\n", runs, w, p,
            p > 0 ? w / p : 0.0);
    return (w > 0 && p > 0) ? 0 : 1;
}
