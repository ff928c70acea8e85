// Choice and loading of the language resource libraries, with the package's real DLLs.
#include <gtest/gtest.h>
#include <cstdlib>
#include <string>
#include "app/SetupApp.h"
#include "TestSupport.h"

using namespace testsupport;

namespace {

std::wstring Text(HMODULE h, UINT id)
{
    WCHAR buf[1024] = {};
    LoadStringW(h, id, buf, 1024);
    return buf;
}

// Text id of a loaded library, which is then freed; "<none>" without a library.
std::wstring TextOnce(HMODULE h, UINT id)
{
    std::wstring t = h ? Text(h, id) : L"<none>";
    if (h)
        FreeLibrary(h);
    return t;
}

// Text id of the package's own library for a language, for comparison.
std::wstring PackageText(const wchar_t* abbrev, UINT id)
{
    return TextOnce(LoadResourceLibrary((PackageDir() + L"setup" + abbrev + L".dll").c_str()), id);
}

void CopyLanguages(const std::wstring& dir, const wchar_t* stem, std::initializer_list<const wchar_t*> abbrevs)
{
    for (const wchar_t* a : abbrevs)
        ASSERT_TRUE(CopyTo(PackageDir() + L"setup" + a + L".dll", dir + stem + a + L".dll")) << a;
}

const LANGID kGerman = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);
const LANGID kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);

}  // namespace

TEST(LanguageLibrary, LoadsTheLanguagesOwnLibraryElseTheEnglishOne)
{
    TempDir dir(L"lang");
    CopyLanguages(dir.Path(), L"setup", {L"ENU", L"DEU"});
    std::wstring exe = Lower(dir.Path() + L"setup.exe");

    g_bGermanUi = FALSE;
    EXPECT_EQ(PackageText(L"DEU", 1), TextOnce(TryLoadLanguageLibrary(exe.c_str(), kGerman), 1));
    EXPECT_TRUE(g_bGermanUi);
    EXPECT_EQ(PackageText(L"ENU", 4), TextOnce(TryLoadLanguageLibrary(exe.c_str(), kJapanese), 4));

    // The language's own library that does not load (a damaged download) leaves English.
    WriteWholeFile(dir.Path() + L"setupDEU.dll", "not a library");
    EXPECT_EQ(PackageText(L"ENU", 4), TextOnce(TryLoadLanguageLibrary(exe.c_str(), kGerman), 4));
}

TEST(LanguageLibrary, IsNamedAfterTheExecutable)
{
    TempDir dir(L"lang");
    CopyLanguages(dir.Path(), L"install", {L"ENU"});
    const std::wstring exe = Lower(dir.Path() + L"install.exe");
    EXPECT_EQ(PackageText(L"ENU", 4), TextOnce(TryLoadLanguageLibrary(exe.c_str(), kJapanese), 4));
    EXPECT_EQ(nullptr, TryLoadLanguageLibrary(Lower(dir.Path() + L"setup.exe").c_str(), kJapanese));
}

TEST(LanguageLibrary, AFolderNamedLikeAnExecutableDoesNotHideTheLibraries)
{
    TempDir dir(L"lang");
    std::wstring sub = dir.Path() + L"a.exe.d\\";
    ASSERT_TRUE(CreateDirectoryW(sub.c_str(), nullptr));
    CopyLanguages(sub, L"setup", {L"ENU"});
    EXPECT_EQ(PackageText(L"ENU", 4), TextOnce(LoadLanguageLibrary(Lower(sub + L"setup.exe").c_str()), 4));
    RemoveDirectoryW(sub.c_str());
}

// A check sees each library through a handle: a refused library is not used (its language
// falls back to English), and the library used cannot be changed, renamed or deleted while
// it is loaded.
TEST(LanguageLibrary, ACheckedLibraryIsUsedOnlyWhenAcceptedAndStaysAsChecked)
{
    TempDir dir(L"lang");
    CopyLanguages(dir.Path(), L"setup", {L"ENU", L"DEU"});
    const std::wstring english = dir.Path() + L"setupENU.dll", moved = dir.Path() + L"moved.dll";
    LanguageLibraryCheckFn refuseGerman = [](LPCWSTR path, HANDLE hFile) -> BOOL {
        char mz[2] = {};
        DWORD n = 0;
        return ReadFile(hFile, mz, 2, &n, nullptr) && n == 2 && mz[0] == 'M' && !wcsstr(path, L"DEU");
    };
    HMODULE h = TryLoadLanguageLibrary(Lower(dir.Path() + L"setup.exe").c_str(), kGerman, refuseGerman);
    ASSERT_NE(nullptr, h);
    EXPECT_EQ(PackageText(L"ENU", 4), Text(h, 4));
    HANDLE w = CreateFileW(english.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, w);
    if (w != INVALID_HANDLE_VALUE)
        CloseHandle(w);
    EXPECT_FALSE(MoveFileW(english.c_str(), moved.c_str()));
    EXPECT_FALSE(DeleteFileW(english.c_str()));
    FreeLanguageLibrary(h);
    EXPECT_TRUE(MoveFileW(english.c_str(), moved.c_str()));
}

TEST(LanguageLibrary, NoLibraryAtAllGivesNone)
{
    TempDir dir(L"lang");
    EXPECT_EQ(nullptr, LoadLanguageLibrary(Lower(dir.Path() + L"setup.exe").c_str()));
}

TEST(LanguageLibrary, APlantedLibraryIsLoadedAsDataAndNeverRuns)
{
    TempDir dir(L"lang");
    std::wstring planted = WinePath(PLANTED_DLL);
    ASSERT_TRUE(CopyTo(planted, dir.Path() + L"setupDEU.dll"));
    ASSERT_TRUE(CopyTo(planted, dir.Path() + L"setupENU.dll"));
    const std::wstring marker = PlantedMarkerPath();
    DeleteFileW(marker.c_str());

    HMODULE h = TryLoadLanguageLibrary(Lower(dir.Path() + L"setup.exe").c_str(), kGerman);
    EXPECT_NE(nullptr, h);
    if (h)
        FreeLibrary(h);
    EXPECT_FALSE(FileExists(marker)) << "the planted library's code ran";

    // The marker works: a normal load does run the library's code.
    HMODULE code = LoadLibraryW((dir.Path() + L"setupDEU.dll").c_str());
    ASSERT_NE(nullptr, code);
    FreeLibrary(code);
    EXPECT_TRUE(FileExists(marker));
    DeleteFileW(marker.c_str());
}

// Run under a given LC_ALL by ctest: SETUP_EXPECT_LANG names the library that must be
// chosen, SETUP_OMIT_LANG one to leave out of the folder.
TEST(LanguageOfTheSystem, PicksTheUsersLanguage)
{
    const char* expect = getenv("SETUP_EXPECT_LANG");
    if (!expect)
        GTEST_SKIP() << "runs only under a chosen locale";
    const char* omit = getenv("SETUP_OMIT_LANG");
    TempDir dir(L"lang");
    for (const wchar_t* a : kPackageLanguages) {
        std::string narrow(a, a + 3);
        if (omit && narrow == omit)
            continue;
        CopyTo(PackageDir() + L"setup" + a + L".dll", dir.Path() + L"setup" + a + L".dll");
    }
    g_bGermanUi = g_bSpanishSystem = FALSE;
    std::wstring expectW(expect, expect + strlen(expect));
    const std::wstring exe = Lower(dir.Path() + L"setup.exe");
    EXPECT_EQ(PackageText(expectW.c_str(), 4), TextOnce(LoadLanguageLibrary(exe.c_str()), 4));
    EXPECT_EQ(atoi(getenv("SETUP_EXPECT_GERMAN") ? getenv("SETUP_EXPECT_GERMAN") : "0"), g_bGermanUi);
    EXPECT_EQ(atoi(getenv("SETUP_EXPECT_SPANISH") ? getenv("SETUP_EXPECT_SPANISH") : "0"), g_bSpanishSystem);
}
