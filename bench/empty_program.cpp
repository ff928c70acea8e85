// The floor of silent_install.py: a Windows GUI program that does nothing, started and timed
// the way the benchmark times setup.exe.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    return 0;
}
