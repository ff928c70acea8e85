#include "engine/InstallJournal.h"
#include "engine/EngineCommon.h"
#include <shlobj.h>
#include <wchar.h>

const WCHAR kJournalName[] = L"journal.txt";

namespace {

const char kJournalMagic[] = "setup journal 1";
// The most of a journal that is read.
const size_t kMaxJournalBytes = 4u << 20;

// "<folder>\<name>" when name is one plain entry of the folder, else empty.
std::wstring EntryOf(const std::wstring& folder, const std::wstring& name)
{
    return IsValidName(name.c_str()) ? folder + name : std::wstring();
}

std::wstring ToHex(const std::vector<BYTE>& data)
{
    static const WCHAR kDigits[] = L"0123456789abcdef";
    std::wstring hex;
    for (BYTE b : data) {
        hex += kDigits[b >> 4];
        hex += kDigits[b & 15];
    }
    return hex;
}

BOOL FromHex(const std::wstring& hex, std::vector<BYTE>& data)
{
    if (hex.size() % 2)
        return FALSE;
    data.clear();
    for (size_t i = 0; i < hex.size(); i += 2) {
        WCHAR pair[3] = { hex[i], hex[i + 1], 0 };
        WCHAR* end = nullptr;
        unsigned long b = wcstoul(pair, &end, 16);
        if (end != pair + 2)
            return FALSE;
        data.push_back((BYTE)b);
    }
    return TRUE;
}

// One journal line: the record's fields, separated by tabs (no path or name holds one).
std::wstring RecordOf(const JournalStep& step, const std::wstring& folder)
{
    std::wstring backupName = step.backup.size() > folder.size() ? step.backup.substr(folder.size()) : L"";
    switch (step.kind) {
    case JournalStep::FolderCreated:
        return L"folder\t" + step.path;
    case JournalStep::FileWritten:
        return L"file\t" + step.path + L"\t" + backupName;
    case JournalStep::KeyCreated:
        return L"key\t" + step.path;
    case JournalStep::ValueWritten:
        return L"value\t" + step.path + L"\t" + step.name + L"\t" + (step.existed ? L"1" : L"0") + L"\t"
            + std::to_wstring(step.type) + L"\t" + ToHex(step.data);
    case JournalStep::ServiceWasRemoved:
        // The running services only when there are: the record earlier versions read otherwise.
        return L"service removed\t" + step.path + (step.services.empty() ? L"" : L"\t" + step.services);
    case JournalStep::ServiceWasRegistered:
        return L"service registered\t" + step.path;
    }
    return L"";
}

std::vector<std::wstring> SplitFields(const std::wstring& line)
{
    std::vector<std::wstring> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find(L'\t', start);
        fields.push_back(line.substr(start, tab == std::wstring::npos ? std::wstring::npos : tab - start));
        if (tab == std::wstring::npos)
            return fields;
        start = tab + 1;
    }
}

BOOL ParseRecord(const std::vector<std::wstring>& f, const std::wstring& folder, JournalStep& step)
{
    const std::wstring& kind = f[0];
    if (kind == L"folder" && f.size() == 2)
        step = { JournalStep::FolderCreated, f[1] };
    else if (kind == L"file" && f.size() == 3) {
        step = { JournalStep::FileWritten, f[1] };
        if (!f[2].empty()) {
            step.backup = EntryOf(folder, f[2]);
            if (step.backup.empty())
                return FALSE;
        }
    } else if (kind == L"key" && f.size() == 2)
        step = { JournalStep::KeyCreated, f[1] };
    else if (kind == L"value" && f.size() == 6) {
        step = { JournalStep::ValueWritten, f[1] };
        step.name = f[2];
        step.existed = f[3] == L"1";
        step.type = wcstoul(f[4].c_str(), nullptr, 10);
        if (!FromHex(f[5], step.data))
            return FALSE;
    } else if (kind == L"service removed" && (f.size() == 2 || f.size() == 3)) {
        step = { JournalStep::ServiceWasRemoved, f[1] };
        if (f.size() == 3)
            step.services = f[2];
    } else if (kind == L"service registered" && f.size() == 2)
        step = { JournalStep::ServiceWasRegistered, f[1] };
    else
        return FALSE;
    return TRUE;
}

// "<process id>-<its start time>": no other run's kept files have this run's names.
std::wstring RunTag()
{
    FILETIME created{}, exited, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    WCHAR szTag[48];
    FormatText(szTag, 48, L"%lu-%08lx%08lx", ::GetCurrentProcessId(), created.dwHighDateTime, created.dwLowDateTime);
    return szTag;
}

} // namespace

BOOL CInstallJournal::GetFolder(LPCWSTR lpszAppFolderName, std::wstring& folder)
{
    WCHAR szData[MAX_PATH];
    if (!::SHGetSpecialFolderPathW(nullptr, szData, CSIDL_COMMON_APPDATA, FALSE))
        return FALSE;
    folder = std::wstring(szData) + L"\\" + lpszAppFolderName + L" setup\\";
    // Room for the kept files' names.
    return folder.size() + 48 < MAX_PATH;
}

BOOL CInstallJournal::Create(const SetupConfig& config, BOOL* pbBusy)
{
    *pbBusy = FALSE;
    Close();
    m_bTemporary = FALSE;
    std::wstring path, why;
    if (!GetFolder(config.AppFolderName, path))
        return FALSE;
    const std::wstring dir = path.substr(0, path.size() - 1);
    CTrustedFolder folder;
    if (folder.Create(dir, nullptr, why))
        return CreateIn(folder, TRUE, config, pbBusy);
    if (::GetLastError() != ERROR_ALREADY_EXISTS) {
        SetupLog(L"the journal folder %ls cannot be made (%ls): this install cannot be recovered if it is "
                 L"interrupted", dir.c_str(), why.c_str());
        return FALSE;
    }
    // A folder left by an earlier run (old files that go at the next restart) serves again when
    // it is still the administrators' alone.
    switch (folder.Open(dir, nullptr, TrustOwnerAndAccess, why)) {
    case FolderTrusted:
        return CreateIn(folder, FALSE, config, pbBusy);
    case FolderHeld:
        SetupLog(L"the journal folder %ls is held by another setup program", dir.c_str());
        *pbBusy = TRUE;
        return FALSE;
    default:
        SetupLog(L"the journal folder %ls is not used: %ls; this install cannot be recovered if it is interrupted",
                 dir.c_str(), why.c_str());
        return FALSE;
    }
}

BOOL CInstallJournal::CreateTemporary(const SetupConfig& config)
{
    Close();
    CTrustedFolder folder;
    if (!CreateTemporaryFolder(L"setup-rollback", nullptr, folder))
        return FALSE;
    SetupLog(L"the old files are kept in %ls", folder.Path().c_str());
    BOOL bBusy = FALSE;
    m_bTemporary = CreateIn(folder, TRUE, config, &bBusy);
    return m_bTemporary;
}

BOOL CInstallJournal::CreateIn(CTrustedFolder& folder, BOOL bMade, const SetupConfig& config, BOOL* pbBusy)
{
    const std::wstring path = folder.Path() + kJournalName;
    CAdminOnlySecurity security;
    std::wstring why;
    // Another run may read it while this one works, but not open it with write or delete access:
    // it then knows that this install runs.
    CFileHandle file(OpenNoFollow(path, GENERIC_WRITE | DELETE, FILE_SHARE_READ, CREATE_NEW, security.Get()));
    if (!file.IsValid() || !IsPlainAt(file, path, FALSE, why)) {
        DWORD dwError = ::GetLastError();
        if (!file.IsValid() && dwError == ERROR_FILE_EXISTS) {
            // The journal of a run that is still going, or one that the recovery could not use.
            CFileHandle other(OpenNoFollow(path, GENERIC_READ | DELETE, FILE_SHARE_READ, OPEN_EXISTING));
            if (!other.IsValid() && ::GetLastError() == ERROR_SHARING_VIOLATION) {
                SetupLog(L"the journal %ls is held by another setup program", path.c_str());
                *pbBusy = TRUE;
                return FALSE;
            }
            why = L"a journal that could not be used is still there";
        } else if (!file.IsValid()) {
            why = SystemErrorText(dwError);
        }
        SetupLog(L"the journal %ls cannot be made: %ls; this install cannot be recovered if it is interrupted",
                 path.c_str(), why.c_str());
        if (bMade && !file.IsValid())
            folder.Remove(FALSE);
        return FALSE;
    }
    m_tag = RunTag();
    std::string header = std::string(kJournalMagic) + "\n"
        + ToUtf8(L"process\t" + std::to_wstring(::GetCurrentProcessId()) + L"\t" + m_tag.substr(m_tag.find(L'-') + 1)
                 + L"\n")
        + ToUtf8(L"install\t" + std::wstring(config.InstallDir) + L"\n")
        + ToUtf8(L"app\t" + std::wstring(config.AppName) + L"\n");
    DWORD cbWritten = 0;
    if (!::WriteFile(file, header.data(), (DWORD)header.size(), &cbWritten, nullptr)) {
        SetupLog(L"the journal %ls cannot be written: %ls", path.c_str(), SystemErrorText(::GetLastError()).c_str());
        RemoveJournal(folder, file, {});
        return FALSE;
    }
    m_folder = std::move(folder);
    m_file = std::move(file);
    m_nKept = 0;
    SetupLog(L"journal: %ls", path.c_str());
    return TRUE;
}

std::wstring CInstallJournal::NewKeptPath()
{
    return Folder() + m_tag + L"-" + std::to_wstring(++m_nKept) + L".old";
}

BOOL CInstallJournal::Write(const std::vector<JournalStep>& steps, BOOL bPlanEnd)
{
    if (!IsOpen())
        return FALSE;
    std::string text;
    for (const JournalStep& step : steps)
        text += ToUtf8(RecordOf(step, Folder()) + L"\n");
    if (bPlanEnd)
        text += "plan end\n";
    DWORD cbWritten = 0;
    if (!::WriteFile(m_file, text.data(), (DWORD)text.size(), &cbWritten, nullptr) || cbWritten != text.size()
        || !::FlushFileBuffers(m_file)) {
        SetupLog(L"the journal cannot be written: %ls", SystemErrorText(::GetLastError()).c_str());
        return FALSE;
    }
    return TRUE;
}

void CInstallJournal::Remove(const std::vector<JournalStep>& steps)
{
    if (m_folder.IsOpen())
        RemoveJournal(m_folder, m_file, steps);
    Close();
}

void CInstallJournal::Close()
{
    m_file.Close();
    m_folder.Close();
}

void RemoveJournal(CTrustedFolder& folder, CFileHandle& journal, const std::vector<JournalStep>& steps)
{
    const std::wstring dir = folder.Path();
    if (journal.IsValid() && !DeleteByHandle(journal)) {
        SetupLog(L"the journal in %ls stays, with the old files it names: %ls", dir.c_str(),
                 SystemErrorText(::GetLastError()).c_str());
        journal.Close();
        folder.Close();
        return;
    }
    journal.Close();
    BOOL bQueued = FALSE;
    for (const JournalStep& step : steps) {
        if (step.kind != JournalStep::FileWritten || step.backup.size() <= dir.size()
            || _wcsnicmp(step.backup.c_str(), dir.c_str(), dir.size()) != 0)
            continue;
        // With the copy that a move to another volume may have left unfinished.
        const std::wstring name = step.backup.substr(dir.size());
        BOOL bThisQueued = FALSE;
        folder.DeleteFile(name, &bThisQueued);
        folder.DeleteFile(name + L".part");
        bQueued = bQueued || bThisQueued;
    }
    folder.Remove(bQueued);
}

JournalContents ReadJournal(HANDLE hFile, const std::wstring& folder)
{
    JournalContents contents;
    std::string bytes;
    char buffer[8192];
    DWORD cbRead = 0;
    while (bytes.size() < kMaxJournalBytes && ::ReadFile(hFile, buffer, sizeof(buffer), &cbRead, nullptr) && cbRead)
        bytes.append(buffer, cbRead);

    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(FromUtf8(bytes.substr(start, end - start)));
    // A first line that is whole, or all there is, must be (the start of) this program's.
    const std::string first = lines.empty() ? bytes.substr(start) : ToUtf8(lines[0]);
    const std::string magic = kJournalMagic;
    if (lines.empty() ? magic.compare(0, first.size(), first) != 0 : first != magic) {
        contents.problem = L"it is not a journal of this program";
        return contents;
    }
    // The header: the process, the install folder and the application; a cut one is no plan.
    static const LPCWSTR kHeader[] = { L"process", L"install", L"app" };
    static const size_t kHeaderFields[] = { 3, 2, 2 };
    for (size_t i = 1; i < 4 && i < lines.size(); ++i) {
        std::vector<std::wstring> fields = SplitFields(lines[i]);
        if (fields.size() != kHeaderFields[i - 1] || fields[0] != kHeader[i - 1]) {
            contents.problem = L"its header is damaged";
            return contents;
        }
        if (i == 1)
            contents.pid = wcstoul(fields[1].c_str(), nullptr, 10);
        else if (i == 2)
            contents.installDir = fields[1];
        else
            contents.appName = fields[1];
    }
    for (size_t i = 4; i < lines.size(); ++i) {
        if (lines[i] == L"plan end") {
            contents.planEnd = true;
            continue;
        }
        JournalStep step{};
        if (!ParseRecord(SplitFields(lines[i]), folder, step)) {
            contents.problem = L"its line " + std::to_wstring(i + 1) + L" is damaged";
            return contents;
        }
        contents.steps.push_back(step);
    }
    return contents;
}
