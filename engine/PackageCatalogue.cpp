#include "engine/PackageCatalogue.h"
#include "engine/EngineCommon.h"
#include "engine/InstallTransaction.h"
#include "res/resource.h"
#include <stdio.h>
#include <wchar.h>

// The headers declare SHA-256 for builds that need XP SP3; on an older system the provider
// refuses it, and a file that cannot be hashed is not used.
#ifndef CALG_SHA_256
#define CALG_SHA_256 (ALG_CLASS_HASH | ALG_TYPE_ANY | 12)
#endif

namespace {

// The first line of a catalogue, and of the reservation that a developer's own build keeps.
const char kHeader[] = "setup catalogue 1\n";
const char kUnfilled[] = "setup catalogue unfilled\n";
const size_t kDigestDigits = 64;

// What the user is told about a package file that is not the vendor's (SetupRefused).
const WCHAR kChangedMessage[] =
    L"\"%ls\" was changed after the package was built; get the package again from the vendor.";
const WCHAR kNotListedMessage[] =
    L"\"%ls\" is not part of the package as it was built; get the package again from the vendor.";

bool StartsWith(const char* pData, size_t cb, const char* lpszText)
{
    size_t n = strlen(lpszText);
    return cb >= n && !memcmp(pData, lpszText, n);
}

int HexValue(char c)
{
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::wstring UpperCase(std::wstring text)
{
    if (!text.empty())
        ::CharUpperBuffW(&text[0], (DWORD)text.size());
    return text;
}

LPCWSTR FileNameOf(LPCWSTR lpszPath)
{
    LPCWSTR slash = wcsrchr(lpszPath, L'\\');
    return slash ? slash + 1 : lpszPath;
}

// What the language library checks found, kept until the log is open.
std::vector<std::wstring> g_libraryNotes;

// Whether two open files hold the same bytes, read from their starts into bSame; FALSE, with
// the last error, when one cannot be read.
BOOL HaveSameBytes(HANDLE hFirst, HANDLE hSecond, BOOL& bSame)
{
    LARGE_INTEGER start = {};
    if (!::SetFilePointerEx(hFirst, start, nullptr, FILE_BEGIN)
        || !::SetFilePointerEx(hSecond, start, nullptr, FILE_BEGIN))
        return FALSE;
    std::vector<BYTE> first(64 * 1024), second(first.size());
    for (bSame = TRUE;;) {
        DWORD cbFirst = 0, cbSecond = 0;
        if (!::ReadFile(hFirst, first.data(), (DWORD)first.size(), &cbFirst, nullptr)
            || !::ReadFile(hSecond, second.data(), (DWORD)second.size(), &cbSecond, nullptr))
            return FALSE;
        if (cbFirst != cbSecond || memcmp(first.data(), second.data(), cbFirst)) {
            bSame = FALSE;
            return TRUE;
        }
        if (cbFirst == 0)
            return TRUE;
    }
}

} // namespace

std::wstring Sha256Digest::Text() const
{
    WCHAR szText[2 * sizeof(bytes) + 1] = {};
    for (size_t i = 0; i < sizeof(bytes); ++i)
        _snwprintf(szText + 2 * i, 3, L"%02x", bytes[i]);
    return szText;
}

BOOL HashFile(HANDLE hFile, Sha256Digest& digest)
{
    // One provider for the process: acquiring one costs more than hashing a file.
    static const CCryptProvider provider = [] {
        CCryptProvider acquired;
        if (!::CryptAcquireContextW(acquired.Receive(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
            acquired.Detach();
        return acquired;
    }();
    LARGE_INTEGER start = {};
    CCryptHash hash;
    if (!::SetFilePointerEx(hFile, start, nullptr, FILE_BEGIN) || !provider.IsValid()
        || !::CryptCreateHash(provider, CALG_SHA_256, 0, 0, hash.Receive()))
        return FALSE;
    std::vector<BYTE> buffer(64 * 1024);
    for (;;) {
        DWORD cbRead = 0;
        if (!::ReadFile(hFile, buffer.data(), (DWORD)buffer.size(), &cbRead, nullptr))
            return FALSE;
        if (cbRead == 0)
            break;
        if (!::CryptHashData(hash, buffer.data(), cbRead, 0))
            return FALSE;
    }
    DWORD cb = sizeof(digest.bytes);
    return ::CryptGetHashParam(hash, HP_HASHVAL, digest.bytes, &cb, 0) && cb == sizeof(digest.bytes);
}

// --- the catalogue ------------------------------------------------------------------------

void CPackageCatalogue::Load(HMODULE hModule)
{
    HRSRC hRes = ::FindResourceW(hModule, MAKEINTRESOURCEW(IDR_CATALOGUE), RT_RCDATA);
    HGLOBAL hData = hRes ? ::LoadResource(hModule, hRes) : nullptr;
    const char* pData = hData ? (const char*)::LockResource(hData) : nullptr;
    if (pData)
        Parse(pData, ::SizeofResource(hModule, hRes));
    else
        Parse("", 0);
}

void CPackageCatalogue::Parse(const char* pData, size_t cb)
{
    m_entries.clear();
    m_bPresent = cb > 0 && !StartsWith(pData, cb, kUnfilled);
    m_bDamaged = FALSE;
    if (!m_bPresent)
        return;
    // Lines "<64 hex digits> <UTF-8 name>\n" up to the first NUL; anything else damages it whole.
    size_t at = strlen(kHeader);
    bool bOk = StartsWith(pData, cb, kHeader);
    while (bOk && at < cb && pData[at]) {
        const char* line = pData + at;
        const char* end = (const char*)memchr(line, '\n', cb - at);
        const size_t len = end ? (size_t)(end - line) : 0;
        Entry entry;
        bOk = end && len > kDigestDigits + 1 && line[kDigestDigits] == ' ';
        for (size_t i = 0; bOk && i < kDigestDigits; i += 2) {
            int high = HexValue(line[i]), low = HexValue(line[i + 1]);
            bOk = high >= 0 && low >= 0;
            entry.digest.bytes[i / 2] = (BYTE)(high * 16 + low);
        }
        if (bOk) {
            const char* name = line + kDigestDigits + 1;
            const int cbName = (int)(len - kDigestDigits - 1);
            int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name, cbName, nullptr, 0);
            entry.name.resize(n > 0 ? n : 0);
            bOk = n > 0 && ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name, cbName, &entry.name[0], n) == n
                && entry.name.find(L'\0') == std::wstring::npos;
            entry.name = UpperCase(entry.name);
            m_entries.push_back(entry);
            at += len + 1;
        }
    }
    if (!bOk) {
        m_entries.clear();
        m_bDamaged = TRUE;
    }
}

const Sha256Digest* CPackageCatalogue::Find(LPCWSTR lpszName) const
{
    const std::wstring name = UpperCase(lpszName);
    for (const Entry& entry : m_entries)
        if (entry.name == name)
            return &entry.digest;
    return nullptr;
}

const CPackageCatalogue& GetPackageCatalogue()
{
    static const CPackageCatalogue catalogue = [] {
        CPackageCatalogue own;
        own.Load(::GetModuleHandleW(nullptr));
        return own;
    }();
    return catalogue;
}

// --- checks of one file -------------------------------------------------------------------

HANDLE OpenFileForCheck(LPCWSTR lpszPath)
{
    return ::CreateFileW(lpszPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                         nullptr);
}

PackageFileCheck CheckPackageFile(LPCWSTR lpszName, HANDLE hFile, std::wstring& detail)
{
    const CPackageCatalogue& catalogue = GetPackageCatalogue();
    if (!catalogue.IsPresent()) {
        detail = L"not verified: this setup.exe carries no catalogue";
        return FileUnverified;
    }
    Sha256Digest actual;
    if (!HashFile(hFile, actual)) {
        DWORD dwError = ::GetLastError();
        detail = L"cannot be checked: " + SystemErrorText(dwError);
        ::SetLastError(dwError);
        return FileUnreadable;
    }
    const Sha256Digest* listed = catalogue.Find(lpszName);
    if (!listed) {
        detail = std::wstring(L"not in the catalogue (SHA-256 ") + actual.Text() + L")";
        return FileNotListed;
    }
    if (*listed != actual) {
        detail = L"changed after the package was built (SHA-256 " + actual.Text() + L"; the catalogue lists "
            + listed->Text() + L" for " + lpszName + L")";
        return FileChanged;
    }
    detail = L"verified (SHA-256 " + actual.Text() + L")";
    return FileVerified;
}

// --- the install ----------------------------------------------------------------------------

void LogPackageCatalogue()
{
    const CPackageCatalogue& catalogue = GetPackageCatalogue();
    if (!catalogue.IsPresent())
        SetupLog(L"the package is not verified: this setup.exe carries no catalogue of its files");
    else if (catalogue.IsDamaged())
        SetupLog(L"the catalogue in setup.exe is damaged: no file of the package can be verified");
    else
        SetupLog(L"the package is verified against the catalogue in setup.exe (%u files)",
                 (unsigned)catalogue.GetCount());
}

BOOL CheckListedFile(LPCWSTR lpszName, LPCWSTR lpszPath)
{
    const CPackageCatalogue& catalogue = GetPackageCatalogue();
    if (!catalogue.IsPresent() || catalogue.Find(lpszName))
        return TRUE;
    ReportFailure(kNotListedMessage, lpszPath);
    return FALSE;
}

BOOL CheckInstalledFile(CInstallTransaction& transaction, LPCWSTR lpszName, LPCWSTR lpszFrom, LPCWSTR lpszTo)
{
    if (!GetPackageCatalogue().IsPresent())
        return TRUE;
    CFileHandle file;
    const BOOL bOpened = RetryWhileFileBusy([&] {
        file.Attach(OpenFileForCheck(lpszTo));
        return file.IsValid();
    });
    DWORD dwError = ::GetLastError();
    std::wstring detail = L"cannot be checked: " + SystemErrorText(dwError);
    const PackageFileCheck check = bOpened ? CheckPackageFile(lpszName, file, detail) : FileUnreadable;
    if (bOpened)
        dwError = ::GetLastError();
    SetupLog(L"%ls: %ls", lpszTo, detail.c_str());
    if (check == FileVerified)
        return TRUE;
    if (check == FileUnreadable)
        transaction.FailWith(OutcomeOfFileError(dwError), L"Fail to check \"%ls\": %ls", lpszTo, detail.c_str());
    else
        transaction.FailWith(SetupRefused, check == FileChanged ? kChangedMessage : kNotListedMessage, lpszFrom);
    return FALSE;
}

// --- the language library -------------------------------------------------------------------

BOOL CheckLanguageLibrary(LPCWSTR lpszPath, HANDLE hFile)
{
    std::wstring detail;
    PackageFileCheck check = CheckPackageFile(FileNameOf(lpszPath), hFile, detail);
    const BOOL bUsable = check == FileVerified || check == FileUnverified;
    g_libraryNotes.push_back(L"language library " + std::wstring(lpszPath) + L": " + detail
                             + (bUsable ? L"" : L"; its texts are not used"));
    return bUsable;
}

void LogLanguageLibraryChecks()
{
    for (const std::wstring& note : g_libraryNotes)
        SetupLog(L"%ls", note.c_str());
    g_libraryNotes.clear();
}

// --- the uninstall's temporary copy ----------------------------------------------------------

BOOL CheckUninstallCopy(LPCWSTR lpszExePath, LPCWSTR lpszCopyFolder, LPCWSTR lpszCopyExe,
                        std::vector<CFileHandle>& held)
{
    // The program: byte for byte the running one, which lies in the install folder.
    CFileHandle source(OpenFileForCheck(lpszExePath)), copy(OpenFileForCheck(lpszCopyExe));
    BOOL bSame = FALSE;
    if (!source.IsValid() || !copy.IsValid() || !HaveSameBytes(source, copy, bSame)) {
        SetupLog(L"the uninstall's temporary copy is not used: %ls cannot be checked: %ls", lpszCopyExe,
                 SystemErrorText(::GetLastError()).c_str());
        return FALSE;
    }
    if (!bSame) {
        SetupLog(L"the uninstall's temporary copy is not used: %ls is not a copy of %ls", lpszCopyExe, lpszExePath);
        return FALSE;
    }
    held.push_back(std::move(copy));

    // Every other file: a language library that the catalogue lists.
    WIN32_FIND_DATAW fd;
    CFindHandle find(::FindFirstFileW((std::wstring(lpszCopyFolder) + L"*").c_str(), &fd));
    for (BOOL bMore = find.IsValid(); bMore; bMore = ::FindNextFileW(find, &fd)) {
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !_wcsicmp(fd.cFileName, FileNameOf(lpszCopyExe)))
            continue;
        const std::wstring path = lpszCopyFolder + std::wstring(fd.cFileName);
        CFileHandle file(OpenFileForCheck(path.c_str()));
        std::wstring detail = L"cannot be checked: " + SystemErrorText(::GetLastError());
        PackageFileCheck check = file.IsValid() ? CheckPackageFile(fd.cFileName, file, detail) : FileUnreadable;
        if (check != FileVerified && check != FileUnverified) {
            SetupLog(L"the uninstall's temporary copy is not used: %ls: %ls", path.c_str(), detail.c_str());
            return FALSE;
        }
        held.push_back(std::move(file));
    }
    SetupLog(L"the uninstall's temporary copy is checked: the program is the installed one, and its %u libraries "
             L"are %ls", (unsigned)held.size() - 1,
             GetPackageCatalogue().IsPresent() ? L"in the catalogue" : L"not verified (no catalogue)");
    return TRUE;
}
