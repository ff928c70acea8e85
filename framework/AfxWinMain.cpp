// Process entry of a program built on the framework; linked only into programs that
// define their one CWinApp object.
#include "framework/AfxApp.h"
#include "framework/AfxDll.h"

// The C runtime's entry: it starts the runtime, runs the global constructors (the
// application object's among them), then calls wWinMain.
extern "C" int WinMainCRTStartup();

// The program's entry point (framework/CMakeLists.txt names it to the linker): the DLL search
// is restricted before any other code of the program runs, constructors included.
extern "C" int AfxProcessStart() __asm__("AfxProcessStart");
extern "C" int AfxProcessStart()
{
    AfxRestrictDllSearch();
    return WinMainCRTStartup();
}

extern "C" int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow)
{
    return AfxWinMain(hInstance, hPrevInstance, lpCmdLine, nCmdShow);
}
