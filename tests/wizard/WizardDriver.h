// Drives the real setup program's wizard from outside, as a user would: starts setup.exe from
// a copy of the package, finds its window, reads its controls through Win32 and presses them
// with the mouse and keyboard.
//   TestPackage    a copy of the built package in a folder of its own
//   WizardProcess  one running setup.exe and its wizard window
//   PlantedLibraries marker libraries beside a program under DLL names
//   SaveScreenshot the screen area of a window into build/screenshots/NAME.bmp
//   ScreenResolution the prefix's resolution for the programs started while it lives
//   SeeRealPixels  makes the calling thread see every window in real pixels
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "tests/WinePath.h"

// The text of string id nID in the package's language library setupXXX.dll.
std::wstring LoadPackageText(const std::wstring& packageDir, const wchar_t* lang, UINT nID);
// The lines of the tools journal, or empty.
std::string ReadJournal();
void ClearJournal();
std::wstring JournalPath();

struct TestPackage {
    // A fresh copy of the built package in C:\wizard-tests\<name>\: the customised one
    // with the title bitmaps when bTitleBitmap, else the plain one. Its setup.exe carries the
    // catalogue of the package's files as built.
    explicit TestPackage(const wchar_t* name, bool bTitleBitmap = false);
    // Puts the build's own setup.exe, which carries no catalogue, in place of the package's:
    // for a test that makes a package file of its own.
    BOOL UseProgramWithoutCatalogue() const;
    // Changes one byte in the middle of a file of the package (a path below its folder).
    BOOL ChangeOneByte(const wchar_t* lpszName) const;
    std::wstring folder;   // ends with a backslash
};

class WizardProcess {
public:
    ~WizardProcess();
    // Starts the program without waiting for anything.
    BOOL Launch(const std::wstring& exePath, const std::wstring& words = L"");
    // Waits for the wizard window of the started process; FALSE when none appeared in time.
    BOOL Attach();
    // A message box of the process that shows lpszText, or null.
    HWND FindMessageBox(const wchar_t* lpszText) const;
    // The process has ended within ms; its exit code in *pExitCode when given.
    BOOL WaitExit(DWORD ms, DWORD* pExitCode = nullptr);
    // The process that shows the wizard (the started one, or the uninstall's temporary copy
    // that it started) has ended within ms.
    BOOL WaitWizardExit(DWORD ms);
    void Kill();

    HWND Wnd() const { return m_hWnd; }
    HWND Item(int id) const { return ::GetDlgItem(m_hWnd, id); }
    std::wstring Text(int id) const;
    std::wstring Title() const;
    BOOL Visible(int id) const { return ::IsWindowVisible(Item(id)); }
    BOOL Enabled(int id) const { return ::IsWindowEnabled(Item(id)); }
    // The control's rectangle in the dialog's client coordinates.
    RECT ItemRect(int id) const;
    // The screen's pixels over the control, top-down, as 32-bit DIB pixels.
    std::vector<DWORD> ItemPixels(int id) const;
    // ItemPixels once the wizard has painted the control (at 96 dpi, where the skin's
    // background picture is drawn unscaled): two captures a short time apart agree, show that
    // picture on the one-pixel ring around the control and differ from it inside. Empty when
    // that does not happen within ms.
    std::vector<DWORD> PaintedItemPixels(int id, DWORD ms) const;
    int ProgressPos() const;

    // Mouse press and release at a point of the dialog's client area.
    void Click(POINT ptClient) const;
    void ClickItem(int id) const;
    // Presses at ptClient, moves by (dx, dy) in steps and releases.
    void Drag(POINT ptClient, int dx, int dy) const;
    // A key (with Alt and Shift when asked) sent to the foreground wizard.
    void Key(WORD vk, bool bAlt = false, bool bShift = false) const;
    // The control that has the keyboard focus in the wizard, or null.
    HWND Focus() const;
    // The control's name as a screen reader gets it (AccessibleObjectFromWindow); "(no
    // accessible object)" when there is none.
    std::wstring AccessibleName(int id) const;

    // Polls pred every 20 ms until it holds or ms pass; dismisses "Fail" message boxes on the
    // way, keeping their texts in m_failBoxes.
    template <class Pred> BOOL WaitFor(Pred pred, DWORD ms) const
    {
        DWORD start = ::GetTickCount();
        for (;;) {
            if (pred())
                return TRUE;
            if (::GetTickCount() - start > ms)
                return FALSE;
            DismissFailBoxes();
            ::Sleep(20);
        }
    }
    void DismissFailBoxes() const;

    PROCESS_INFORMATION m_pi{};
    HWND m_hWnd = nullptr;
    DWORD m_dwWizardPid = 0;
    mutable std::vector<std::wstring> m_failBoxes;
};

// Marker libraries (tests/app/planted.cpp) in a folder as <name>.dll. For the names in
// preferred the loader takes the file beside setup.exe rather than Wine's own copy (Wine's DLL
// overrides for that program), as Windows does for every DLL that is not a known DLL; the
// destructor removes those overrides.
class PlantedLibraries {
public:
    PlantedLibraries(const std::wstring& folder, const std::vector<std::wstring>& preferred,
                     const std::vector<std::wstring>& others);
    ~PlantedLibraries();
    // The paths of the planted libraries whose code ran, one a line; empty when none ran.
    std::string Ran() const;

private:
    std::wstring m_marker;
};

// Sets the resolution (HKCU\Control Panel\Desktop\LogPixels) that programs started from now
// on take; the destructor sets 96 again.
class ScreenResolution {
public:
    explicit ScreenResolution(DWORD dpi);
    ~ScreenResolution();
    ScreenResolution(const ScreenResolution&) = delete;
    ScreenResolution& operator=(const ScreenResolution&) = delete;
};

// The thread sees the windows of DPI-aware programs unscaled (per-monitor awareness), as the
// screen shows them; without it the system maps their rectangles to this program's 96 dpi.
void SeeRealPixels();

// Saves the screen area of hWnd as a 32-bit BMP named name.bmp in the screenshots folder.
BOOL SaveScreenshot(HWND hWnd, const char* name);
// The mean absolute difference per channel between the screen at (x, y) (screen coordinates)
// and the bitmap file, over the bitmap's size.
double ScreenDifferenceFromBitmap(int x, int y, const std::wstring& bmpPath);
