#include "app/SetupApp.h"
#include "framework/AfxHandle.h"

BOOL AcquireSingleInstanceMutex(LPCWSTR lpszName, HANDLE* phMutex)
{
    *phMutex = nullptr;
    if (CKernelHandle(::OpenMutexW(MUTEX_ALL_ACCESS, FALSE, lpszName)).IsValid())
        return FALSE;
    // Two instances started at the same moment may both miss the open above: the one that
    // did not create the mutex learns it here.
    CKernelHandle mutex(::CreateMutexW(nullptr, FALSE, lpszName));
    DWORD err = ::GetLastError();
    if (mutex.IsValid() && err == ERROR_ALREADY_EXISTS)
        return FALSE;
    // Held by another user's instance that we may not open.
    if (!mutex.IsValid() && err == ERROR_ACCESS_DENIED)
        return FALSE;
    // The caller owns the guard from here on.
    *phMutex = mutex.Detach();
    return TRUE;
}
