// Time from process start to the wizard visible and painted, beside the same figure for a
// minimal Win32 program that opens one plain window (wizard_startup_plain.exe).
//   wizard_startup [runs] [package folder] [layout dpi]
// Each run starts the program, polls the screen until the window's picture is there, and
// closes it. Prints the median of the runs for both and their ratio. The package folder (a
// Unix path) defaults to the build's; the screen's resolution is the prefix's, and the layout
// dpi (the resolution the wizard draws itself at) defaults to it: 96 for a wizard that does
// not scale.
#include <windows.h>
#include "bench/BenchDpi.h"
#include <algorithm>
#include <cstdio>
#include <cstdlib>
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
    // A run that never saw the picture says what the probes saw instead.
    for (const Probe& p : probes)
        if (elapsed < 0)
            wprintf(L"  probe (%ld, %ld): wants %06lx, shows %06lx\n", p.pt.x, p.pt.y, (unsigned long)p.colour,
                    (unsigned long)::GetPixel(hScreen, p.pt.x, p.pt.y));
    ::ReleaseDC(nullptr, hScreen);
    ::TerminateProcess(pi.hProcess, 0);
    ::WaitForSingleObject(pi.hProcess, 10000);
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(pi.hThread);
    // Let the system drop the ended process's objects (the wizard's single-instance mutex).
    ::Sleep(500);
    return elapsed;
}

// The background picture's pixels, read from the art file the resources carry.
struct ArtPicture {
    std::vector<COLORREF> pixels;
    int w = 0, h = 0;
    COLORREF At(int x, int y) const { return pixels[(size_t)y * w + x]; }
};

ArtPicture LoadArt(const std::wstring& bmpPath)
{
    ArtPicture art;
    HBITMAP hBmp = (HBITMAP)::LoadImageW(nullptr, bmpPath.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE);
    if (!hBmp)
        return art;
    BITMAP bm{};
    ::GetObjectW(hBmp, sizeof(bm), &bm);
    HDC hdc = ::CreateCompatibleDC(nullptr);
    HGDIOBJ old = ::SelectObject(hdc, hBmp);
    art.w = bm.bmWidth, art.h = bm.bmHeight;
    for (int y = 0; y < art.h; ++y)
        for (int x = 0; x < art.w; ++x)
            art.pixels.push_back(::GetPixel(hdc, x, y));
    ::SelectObject(hdc, old);
    ::DeleteDC(hdc);
    ::DeleteObject(hBmp);
    return art;
}

// The point nearest to pt whose 9 x 9 neighbourhood is of one colour: the smoothly scaled
// picture shows exactly that colour there at any resolution.
POINT FlatPoint(const ArtPicture& art, POINT pt)
{
    auto flat = [&](int x, int y) {
        if (x < 4 || y < 4 || x + 4 >= art.w || y + 4 >= art.h)
            return false;
        for (int dy = -4; dy <= 4; ++dy)
            for (int dx = -4; dx <= 4; ++dx)
                if (art.At(x + dx, y + dy) != art.At(x, y))
                    return false;
        return true;
    };
    for (int r = 0; r < 60; ++r)
        for (int dy = -r; dy <= r; ++dy)
            for (int dx = -r; dx <= r; ++dx)
                if ((abs(dx) == r || abs(dy) == r) && flat(pt.x + dx, pt.y + dy))
                    return POINT{pt.x + dx, pt.y + dy};
    return pt;
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
    std::wstring packageDir = ToWindowsPath(SETUP_PACKAGE_DIR);
    if (argc > 2) {
        std::string narrow;
        for (const wchar_t* p = argv[2]; *p; ++p)
            narrow += (char)*p;
        packageDir = ToWindowsPath(narrow.c_str());
    }
    const std::wstring setupExe = packageDir + L"\\setup.exe";
    const std::wstring plainExe = ToWindowsPath(BENCH_PLAIN_EXE);
    const ArtPicture art = LoadArt(ToWindowsPath(SETUP_ART_DIR) + L"\\bg130.bmp");
    if (art.pixels.empty()) {
        wprintf(L"cannot read the background picture\n");
        return 1;
    }

    // Both windows are centred on the screen. Probes on flat parts of the background picture,
    // away from the controls.
    const UINT dpi = BenchMakeDpiAware();
    const UINT layoutDpi = argc > 3 ? (UINT)_wtoi(argv[3]) : dpi;
    // The window's top-left corner at a resolution.
    auto origin = [&](UINT d) {
        return POINT{::GetSystemMetrics(SM_CXSCREEN) / 2 - BenchScale(art.w, d) / 2,
                     ::GetSystemMetrics(SM_CYSCREEN) / 2 - BenchScale(art.h, d) / 2};
    };
    const POINT wizardAt = origin(layoutDpi), plainAt = origin(dpi);
    std::vector<Probe> wizard, plain;
    for (POINT p : {POINT{450, 150}, POINT{300, 60}, POINT{500, 300}, POINT{20, 395}}) {
        POINT f = FlatPoint(art, p);
        wizard.push_back({{wizardAt.x + BenchScale(f.x, layoutDpi), wizardAt.y + BenchScale(f.y, layoutDpi)},
                          art.At(f.x, f.y)});
        plain.push_back({{plainAt.x + BenchScale(f.x, dpi), plainAt.y + BenchScale(f.y, dpi)}, RGB(1, 2, 3)});
    }
    wprintf(L"screen %u dpi, wizard drawn at %u dpi\n", dpi, layoutDpi);

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
