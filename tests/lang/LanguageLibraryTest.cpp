// Behaviours of the language libraries setupXXX.dll in the package folder:
// every wizard text is there, the Traditional Chinese table is the reference
// table, instructions name the buttons by their captions, and the libraries
// are pure data.

#include <windows.h>

#include <gtest/gtest.h>
#include "tests/WinePath.h"

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "framework/AfxHandle.h"
#include "lang/Languages.h"

namespace {

struct LanguageInfo {
    const wchar_t* abbreviation;  // as in setupXXX.dll
    LANGID langId;                // of its string table
};

const LanguageInfo kLanguages[] = {
    {L"ENU", MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)},
    {L"CHT", MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL)},
    {L"CHS", MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED)},
    {L"JPN", MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT)},
    {L"KOR", MAKELANGID(LANG_KOREAN, SUBLANG_KOREAN)},
    {L"FRA", MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH)},
    {L"DEU", MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN)},
};

// The wizard's load buffers: captions get 128 units, everything else 1024.
const int kCaptionUnits = 128;
const int kTextUnits = 1024;

bool IsCaption(UINT id)
{
    return id == IDS_INSTALL || id == IDS_CANCEL || id == IDS_FINISH || id == IDS_REMOVE || id == IDS_CLOSE;
}

// Windows path of a library in the package folder (a Unix path under Wine
// is reached through drive Z:).
std::wstring LibraryPath(const wchar_t* abbreviation)
{
    return WinePath(SETUP_SHIPPED_PACKAGE_DIR) + L"\\setup" + abbreviation + L".dll";
}

// The library's data, loaded as the wizard reads its texts.
CLibrary LoadTexts(const std::wstring& path)
{
    return CLibrary(LoadLibraryExW(path.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE));
}

// Text of a string id as the wizard loads it, in a buffer of its size.
std::wstring Text(HMODULE module, UINT id)
{
    wchar_t buffer[kTextUnits] = {};
    int length = LoadStringW(module, id, buffer, IsCaption(id) ? kCaptionUnits : kTextUnits);
    return std::wstring(buffer, length > 0 ? length : 0);
}

// EnumResourceLanguagesW callback: appends each language to a vector<LANGID>.
BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR found)
{
    reinterpret_cast<std::vector<LANGID>*>(found)->push_back(language);
    return TRUE;
}

// Names the library in test output.
void PrintTo(const LanguageInfo& info, std::ostream* os)
{
    *os << "setup" << Narrow(info.abbreviation) << ".dll";
}

// Each case has the library's texts loaded in m_library.
class LanguageLibraryTest : public ::testing::TestWithParam<LanguageInfo> {
protected:
    void SetUp() override { ASSERT_TRUE(m_library.IsValid()) << Narrow(Path()); }
    std::wstring Path() const { return LibraryPath(GetParam().abbreviation); }
    CLibrary m_library = LoadTexts(Path());
};

// --- Loading -------------------------------------------------------------

TEST_P(LanguageLibraryTest, LoadsWithLoadLibraryAsTheSetupProgramDoes)
{
    HMODULE module = LoadLibraryW(Path().c_str());
    ASSERT_NE(module, nullptr) << "error " << GetLastError();
    FreeLibrary(module);
}

// --- Texts ---------------------------------------------------------------

TEST_P(LanguageLibraryTest, HoldsEveryTextTheWizardLoadsWhole)
{
    for (UINT id = IDS_FIRST_TEXT; id <= IDS_LAST_TEXT; ++id) {
        // The full length, however long (0 when missing).
        const wchar_t* text = nullptr;
        int length = LoadStringW(m_library, id, reinterpret_cast<LPWSTR>(&text), 0);
        EXPECT_GT(length, 0) << "text " << id << " missing";
        // Nothing may be cut by the wizard's buffer (one unit is the terminator).
        EXPECT_LT(length, IsCaption(id) ? kCaptionUnits : kTextUnits) << "text " << id;
    }
}

TEST_P(LanguageLibraryTest, CarriesItsStringTableInItsOwnLanguageOnly)
{
    // Ids 1-15 live in string block 1, ids 16-31 in block 2.
    for (UINT block : {1u, 2u}) {
        std::vector<LANGID> languages;
        EnumResourceLanguagesW(m_library, RT_STRING, MAKEINTRESOURCEW(block),
                               CollectLanguage, reinterpret_cast<LONG_PTR>(&languages));
        EXPECT_EQ(languages, std::vector<LANGID>{GetParam().langId}) << "string block " << block;
    }
}

TEST_P(LanguageLibraryTest, NoTwoTextsAreTheSame)
{
    for (UINT a = IDS_FIRST_TEXT; a <= IDS_LAST_TEXT; ++a)
        for (UINT b = a + 1; b <= IDS_LAST_TEXT; ++b)
            EXPECT_NE(Text(m_library, a), Text(m_library, b)) << "texts " << a << " and " << b;
}

TEST_P(LanguageLibraryTest, InstructionsNameTheButtonsByTheirCaptions)
{
    struct Mention {
        UINT text;
        UINT caption;
    };
    const Mention mentions[] = {
        {IDS_INSTALL_READY_INFO, IDS_INSTALL}, {IDS_INSTALL_READY_INFO, IDS_CANCEL},
        {IDS_REMOVE_READY_INFO, IDS_REMOVE},   {IDS_REMOVE_READY_INFO, IDS_CANCEL},
        {IDS_FINISH_INFO, IDS_FINISH},
    };
    for (const Mention& m : mentions) {
        std::wstring text = Text(m_library, m.text), caption = Text(m_library, m.caption);
        ASSERT_FALSE(caption.empty());
        EXPECT_NE(text.find(caption), std::wstring::npos)
            << "text " << m.text << " \"" << Narrow(text) << "\" does not name caption "
            << m.caption << " \"" << Narrow(caption) << "\"";
    }
}

// --- Pure data -----------------------------------------------------------

TEST_P(LanguageLibraryTest, ImageHasNoCodeNoEntryPointAndNoImports)
{
    const std::string file = ReadWholeFile(Path());
    ASSERT_GE(file.size(), sizeof(IMAGE_DOS_HEADER));
    IMAGE_DOS_HEADER dos;
    memcpy(&dos, file.data(), sizeof dos);
    ASSERT_EQ(dos.e_magic, IMAGE_DOS_SIGNATURE);
    ASSERT_GE(dos.e_lfanew, 0);
    ASSERT_LE(static_cast<size_t>(dos.e_lfanew) + sizeof(IMAGE_NT_HEADERS32), file.size());
    IMAGE_NT_HEADERS32 nt;
    memcpy(&nt, file.data() + dos.e_lfanew, sizeof nt);
    ASSERT_EQ(nt.Signature, static_cast<DWORD>(IMAGE_NT_SIGNATURE));
    ASSERT_EQ(nt.OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
    EXPECT_EQ(nt.FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_TRUE(nt.FileHeader.Characteristics & IMAGE_FILE_DLL);
    // A DLL without relocations must still be loadable at any base.
    EXPECT_FALSE(nt.FileHeader.Characteristics & IMAGE_FILE_RELOCS_STRIPPED);

    const IMAGE_OPTIONAL_HEADER32& opt = nt.OptionalHeader;
    EXPECT_EQ(opt.AddressOfEntryPoint, 0u);
    EXPECT_EQ(opt.SizeOfCode, 0u);
    const IMAGE_DATA_DIRECTORY& imports = opt.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    EXPECT_EQ(imports.VirtualAddress, 0u);
    EXPECT_EQ(imports.Size, 0u);
    EXPECT_EQ(opt.DataDirectory[IMAGE_DIRECTORY_ENTRY_IAT].Size, 0u);
    EXPECT_EQ(opt.DataDirectory[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT].Size, 0u);
    EXPECT_EQ(opt.DataDirectory[IMAGE_DIRECTORY_ENTRY_TLS].Size, 0u);
    EXPECT_NE(opt.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE].Size, 0u);

    size_t sections = static_cast<size_t>(dos.e_lfanew) + sizeof(DWORD) +
                      sizeof(IMAGE_FILE_HEADER) + nt.FileHeader.SizeOfOptionalHeader;
    ASSERT_LE(sections + nt.FileHeader.NumberOfSections * sizeof(IMAGE_SECTION_HEADER),
              file.size());
    for (WORD i = 0; i < nt.FileHeader.NumberOfSections; ++i) {
        IMAGE_SECTION_HEADER section;
        memcpy(&section, file.data() + sections + i * sizeof section, sizeof section);
        std::string name(reinterpret_cast<const char*>(section.Name),
                         strnlen(reinterpret_cast<const char*>(section.Name), 8));
        EXPECT_FALSE(section.Characteristics & (IMAGE_SCN_CNT_CODE | IMAGE_SCN_MEM_EXECUTE))
            << "section " << name << " is code";
    }
}

INSTANTIATE_TEST_SUITE_P(Package, LanguageLibraryTest, ::testing::ValuesIn(kLanguages),
                         [](const ::testing::TestParamInfo<LanguageInfo>& info) {
                             return Narrow(info.param.abbreviation);
                         });

// --- The reference table -------------------------------------------------

TEST(TraditionalChineseLibrary, HoldsTheReferenceTextsExactly)
{
    const wchar_t* const reference[] = {
        L"安裝", L"取消", L"完成", L"按一下「安裝」以開始安裝。按一下「取消」結束安裝精靈。",
        L"精靈已準備就緒，可以開始安裝了。", L"開始複製檔案", L"安裝精靈已成功完成安裝了。",
        L"按一下「完成」以結束精靈。", L"安裝失敗", L"移除", L"移除所有已安裝功能。",
        L"按一下「移除」以開始移除。按一下「取消」結束移除精靈。", L"開始移除檔案", L"移除失敗",
        L"移除精靈已成功完成移除", L"安裝精靈正在進行中...", L"移除精靈正在進行中...", L"立即重新啟動電腦",
        L"稍後再重新啟動電腦", L"立即啟動應用程式", L"關閉",
    };
    CLibrary library = LoadTexts(LibraryPath(L"CHT"));
    ASSERT_TRUE(library.IsValid());
    for (UINT id = IDS_FIRST_TEXT; id <= IDS_LAST_TEXT; ++id)
        EXPECT_EQ(Text(library, id), reference[id - 1]) << "text " << id;
}

}  // namespace
