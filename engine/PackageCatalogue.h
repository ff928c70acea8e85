// The package's catalogue: setup.exe carries, inside its signature, the SHA-256 of every file
// of its package that the install copies or runs (the language libraries and the files under
// Application\), by their names relative to the package folder; release/catalogue.py writes
// it. Each file is checked where it is used, through a handle that keeps it from changing, so
// that what the install installs and runs is what the vendor built and signed. A setup.exe
// without a catalogue (a developer's own build) checks nothing, and the log says so.
//   Sha256Digest, HashFile        SHA-256 of a file's content through its handle (CryptoAPI)
//   CPackageCatalogue             the catalogue of a module; GetPackageCatalogue: the program's
//   OpenFileForCheck              a file opened so that nobody can write, rename or delete it
//   CheckPackageFile              one open file against its entry
//   CheckListedFile, CheckInstalledFile   the install's checks: before anything is touched,
//                                 and of each copy in the install folder
//   CheckLanguageLibrary, LogLanguageLibraryChecks   the wizard's texts, before they are used
//   CheckUninstallCopy            the uninstall's temporary copy, before it starts
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "framework/AfxHandle.h"

class CInstallTransaction;

struct Sha256Digest {
    BYTE bytes[32];
    bool operator==(const Sha256Digest& other) const { return !memcmp(bytes, other.bytes, sizeof(bytes)); }
    bool operator!=(const Sha256Digest& other) const { return !(*this == other); }
    // 64 lowercase hex digits.
    std::wstring Text() const;
};

// The SHA-256 of the whole content of an open file, read from its start, by the system's AES
// provider (PROV_RSA_AES: Windows XP SP3 and later). FALSE, with the last error, when the
// file cannot be read or the system cannot hash.
BOOL HashFile(HANDLE hFile, Sha256Digest& digest);

class CPackageCatalogue {
public:
    // Reads the catalogue resource of hModule. A module without one, or with the reservation
    // unfilled, has no catalogue; a damaged one counts as present and lists nothing, so that
    // every file is refused.
    void Load(HMODULE hModule);
    // Reads a catalogue's bytes as the resource holds them.
    void Parse(const char* pData, size_t cb);

    BOOL IsPresent() const { return m_bPresent; }
    BOOL IsDamaged() const { return m_bDamaged; }
    size_t GetCount() const { return m_entries.size(); }
    // The listed hash of lpszName (relative to the package folder, "\" between folder and
    // name, letter case ignored), or null.
    const Sha256Digest* Find(LPCWSTR lpszName) const;

private:
    struct Entry {
        std::wstring name;   // upper case
        Sha256Digest digest;
    };
    std::vector<Entry> m_entries;
    BOOL m_bPresent = FALSE;
    BOOL m_bDamaged = FALSE;
};

// The running program's catalogue, read once.
const CPackageCatalogue& GetPackageCatalogue();

// Opens lpszPath for reading with read sharing only: while the handle is open nobody can
// write, rename or delete the file. INVALID_HANDLE_VALUE and the last error when it cannot.
HANDLE OpenFileForCheck(LPCWSTR lpszPath);

enum PackageFileCheck {
    FileVerified,      // its hash is the listed one
    FileUnverified,    // the program has no catalogue: nothing is checked
    FileNotListed,     // the catalogue does not list the name
    FileChanged,       // its hash is another
    FileUnreadable,    // it could not be read or hashed
};
// Checks the file open in hFile as the package's lpszName against the program's catalogue;
// detail gets what the log shows (the hash, and the listed one when they differ, or the error).
PackageFileCheck CheckPackageFile(LPCWSTR lpszName, HANDLE hFile, std::wstring& detail);

// Before the install touches anything: logs whether the package is verified, and refuses
// (reporting it) the package file lpszPath whose name lpszName the catalogue does not list.
BOOL CheckListedFile(LPCWSTR lpszName, LPCWSTR lpszPath);
// After the copy of the package file lpszFrom (named lpszName) to lpszTo, in the install
// folder that only administrators can write: hashes lpszTo and fails the transaction when it
// is not the listed file (SetupRefused), naming lpszFrom, with both hashes in the log.
BOOL CheckInstalledFile(CInstallTransaction& transaction, LPCWSTR lpszName, LPCWSTR lpszFrom, LPCWSTR lpszTo);
// Logs once, before the first check of an install, whether the package is verified.
void LogPackageCatalogue();

// The check of a language library before its texts are used (LanguageLibraryCheckFn): TRUE
// when the library open in hFile is the listed one, or the program has no catalogue. What it
// found is kept for LogLanguageLibraryChecks, since the log opens later.
BOOL CheckLanguageLibrary(LPCWSTR lpszPath, HANDLE hFile);
void LogLanguageLibraryChecks();

// Checks the uninstall's temporary copy in lpszCopyFolder (with its trailing backslash) before
// it runs: the program lpszCopyExe has the bytes of the running program lpszExePath (in the
// install folder, compared byte for byte), and every other file there is a library that the
// catalogue lists. The
// checked files stay open in held, so that they cannot change until the copy has started.
// FALSE, logged with the hashes, when one is not.
BOOL CheckUninstallCopy(LPCWSTR lpszExePath, LPCWSTR lpszCopyFolder, LPCWSTR lpszCopyExe,
                        std::vector<CFileHandle>& held);
