#include "engine/TestSeams.h"
#include "engine/SetupLog.h"
#include <wchar.h>
#include <stdexcept>
#include <string>

namespace {

// A number from the environment; FALSE when the variable is missing or not a number.
BOOL ReadNumber(LPCWSTR lpszName, ULONGLONG* pValue)
{
    WCHAR szValue[24];
    DWORD n = ::GetEnvironmentVariableW(lpszName, szValue, 24);
    if (n == 0 || n >= 24)
        return FALSE;
    WCHAR* end = nullptr;
    *pValue = wcstoull(szValue, &end, 10);
    return end != szValue && *end == 0;
}

} // namespace

unsigned TestPauseAfterChange()
{
    ULONGLONG value = 0;
    return ReadNumber(L"SETUP_TEST_PAUSE_AFTER_STEP", &value) && value < 100000 ? (unsigned)value : 0;
}

unsigned TestThrowAfterChange()
{
    ULONGLONG value = 0;
    return ReadNumber(L"SETUP_TEST_THROW_AFTER_STEP", &value) && value < 100000 ? (unsigned)value : 0;
}

void TestThrow(unsigned nChange)
{
    SetupLog(L"test: an exception after change %u", nChange);
    throw std::runtime_error("test exception after change " + std::to_string(nChange));
}

BOOL TestPauseInSweep()
{
    ULONGLONG value = 0;
    return ReadNumber(L"SETUP_TEST_PAUSE_IN_SWEEP", &value) && value == 1;
}

void TestPause(LPCWSTR lpszWhere)
{
    WCHAR szResume[MAX_PATH];
    DWORD n = ::GetEnvironmentVariableW(L"SETUP_TEST_RESUME_FILE", szResume, MAX_PATH);
    const BOOL bResumable = n > 0 && n < MAX_PATH;
    SetupLog(L"test: paused %ls", lpszWhere);
    const DWORD dwStart = ::GetTickCount();
    while (::GetTickCount() - dwStart < kTestPauseMaxMs) {
        if (bResumable && ::GetFileAttributesW(szResume) != INVALID_FILE_ATTRIBUTES) {
            SetupLog(L"test: the pause %ls ended: resumed", lpszWhere);
            return;
        }
        ::Sleep(100);
    }
    SetupLog(L"test: the pause %ls ended by itself after %lu s", lpszWhere, kTestPauseMaxMs / 1000);
}

ULONGLONG TestFreeSpaceLimit(ULONGLONG realBytes)
{
    ULONGLONG mb = 0;
    if (!ReadNumber(L"SETUP_TEST_FREE_SPACE_MB", &mb) || mb >= (~0ULL >> 20))
        return realBytes;
    return (mb << 20) < realBytes ? (mb << 20) : realBytes;
}

#if defined(_WIN64)
BOOL TestPlays32BitWindows()
{
    WCHAR szValue[8] = {};
    return ::GetEnvironmentVariableW(L"SETUP_TEST_WOW64", szValue, 8) && szValue[0] == L'0';
}
#endif
