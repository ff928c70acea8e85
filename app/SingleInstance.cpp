#include "app/SetupApp.h"

BOOL AcquireSingleInstanceMutex(LPCWSTR lpszName, HANDLE* phMutex)
{
    *phMutex = nullptr;
    HANDLE hOther = ::OpenMutexW(MUTEX_ALL_ACCESS, FALSE, lpszName);
    if (hOther) {
        ::CloseHandle(hOther);
        return FALSE;
    }
    // Two instances started at the same moment may both miss the open above: the one that
    // did not create the mutex learns it here.
    HANDLE hMutex = ::CreateMutexW(nullptr, FALSE, lpszName);
    DWORD err = ::GetLastError();
    if (hMutex && err == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(hMutex);
        return FALSE;
    }
    // Held by another user's instance that we may not open.
    if (!hMutex && err == ERROR_ACCESS_DENIED)
        return FALSE;
    *phMutex = hMutex;
    return TRUE;
}
