// The installation's private copy of the package against Wine's file system: only listed
// files, only with their listed bytes, in a folder nobody else may open, gone afterwards.
// The test program runs beside the sample package; the manifests are the test's own.
#include <gtest/gtest.h>

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "install/install_job.h"
#include "install/package_staging.h"
#include "support/wine_support.h"
#include "system/crypto.h"
#include "system/object_security.h"
#include "system/private_folder.h"

namespace {

std::string Hex(const BYTE* bytes, size_t count)
{
    std::string hex;
    for (size_t i = 0; i < count; ++i) {
        char pair[3] = {};
        snprintf(pair, sizeof(pair), "%02x", bytes[i]);
        hex += pair;
    }
    return hex;
}

std::string Sha256(const std::vector<std::string>& pieces)
{
    CSha256 hash;
    EXPECT_EQ(1, hash.Begin());
    for (const std::string& piece : pieces)
        EXPECT_EQ(1, hash.Add(piece.data(), static_cast<DWORD>(piece.size())));
    BYTE digest[kSha256Bytes] = {};
    EXPECT_EQ(1, hash.Finish(digest));
    return Hex(digest, sizeof(digest));
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// The SIDs of a DACL's entries, as strings, and whether every entry allows.
std::set<std::wstring> AllowedSids(PACL dacl, bool* onlyAllowed)
{
    std::set<std::wstring> sids;
    *onlyAllowed = true;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace)))
            continue;
        *onlyAllowed = *onlyAllowed && ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE;
        wchar_t* sid = nullptr;
        if (ConvertSidToStringSidW(&ace->SidStart, &sid)) {
            sids.insert(sid);
            LocalFree(sid);
        }
    }
    return sids;
}

std::wstring RunningAccountSid()
{
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    BYTE buffer[256] = {};
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &size);
    CloseHandle(token);
    wchar_t* sid = nullptr;
    ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sid);
    const std::wstring text = sid ? sid : L"";
    LocalFree(sid);
    return text;
}

class InstallFilesStage : public ::testing::Test {
protected:
    void SetUp() override
    {
        RestorePackageBesideProgram();
        ASSERT_EQ(1, job_.computePaths());
        ASSERT_TRUE(WriteFileBytes(Package(kRestoreClientName), "a restore client"));
        wchar_t paths[kMaxStagedFiles][MAX_PATH] = {};
        size_t count = 0;
        ASSERT_EQ(1, ListStagedFiles(job_, paths, &count));
        files_.assign(paths, paths + count);
    }
    void TearDown() override { DeleteFileW(Package(kRestoreClientName).c_str()); }

    std::wstring Package(const std::wstring& relative) const { return std::wstring(job_.packageDir) + L"\\" + relative; }

    // A manifest of the package's files as they are now, but for one left out.
    std::string Manifest(const std::wstring& leftOut = L"") const
    {
        std::string text;
        for (const std::wstring& file : files_) {
            const std::string bytes = ReadFileBytes(Package(file));
            if (file != leftOut)
                text += Sha256({bytes}) + " " + std::to_string(bytes.size()) + " " + Narrow(file) + "\r\n";
        }
        return text;
    }

    // Where a staged list's file of this name lies.
    std::wstring Named(const wchar_t* ending) const
    {
        for (const std::wstring& file : files_) {
            if (file.size() >= wcslen(ending) && file.compare(file.size() - wcslen(ending), wcslen(ending), ending) == 0)
                return file;
        }
        ADD_FAILURE() << Narrow(ending);
        return L"";
    }

    std::wstring TemplateGpd() const { return Named(job_.isChinese ? L"\\80NormalCHN.GPD" : L"\\80NormalENG.GPD"); }

    CInstallJob job_{&kModelTable[0], L"Front desk", L"USB PORT:"};
    std::vector<std::wstring> files_;
};

TEST_F(InstallFilesStage, Sha256GivesTheStandardDigestsInOneOrManyPieces)
{
    EXPECT_EQ("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", Sha256({}));
    EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", Sha256({"abc"}));
    EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", Sha256({"a", "", "bc"}));
    EXPECT_EQ("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1",
              Sha256({"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"}));
}

TEST_F(InstallFilesStage, CopiesTheListedFilesIntoAFolderOnlyTheSystemAdministratorsAndTheAccountMayOpen)
{
    const std::wstring help = Named(L"\\unidrv.hlp");
    const std::string manifest = Manifest(help);
    // A template another process holds open for writing is read all the same.
    const std::wstring gpd = TemplateGpd();
    HANDLE writer = CreateFileW(Package(gpd).c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    // A copy a stopped run left goes; a folder of another name stays.
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring stale = std::wstring(temp) + L"DriverInstall-0123456789abcdef0123456789ABCDEF";
    const std::wstring other = std::wstring(temp) + L"DriverInstall-0123456789abcdef0123456789ABCDE";
    for (const std::wstring& left : {stale, other}) {
        ASSERT_TRUE(CreateDirectoryW(left.c_str(), nullptr));
        ASSERT_TRUE(WriteFileBytes(left + L"\\UNIDRV.dll", "left"));
    }
    CPackageStage stage;
    wchar_t refused[MAX_PATH] = L"stale";
    ASSERT_EQ(1, stage.Stage(job_, manifest.data(), manifest.size(), refused)) << GetLastError();
    CloseHandle(writer);
    EXPECT_STREQ(L"", refused);
    EXPECT_FALSE(FileExists(stale));
    EXPECT_EQ("left", ReadFileBytes(other + L"\\UNIDRV.dll"));
    RemoveFolderTree(other.c_str());

    const std::wstring folder = stage.Folder();
    EXPECT_EQ(0u, folder.find(std::wstring(temp) + L"DriverInstall-")) << Narrow(folder);
    for (const std::wstring& file : files_) {
        SCOPED_TRACE(Narrow(file));
        if (file == help) {
            // Not listed, not copied.
            EXPECT_FALSE(FileExists(folder + L"\\" + file));
            continue;
        }
        EXPECT_EQ(ReadFileBytes(Package(file)), ReadFileBytes(folder + L"\\" + file));
    }

    // The folder is made with a protected DACL for the system account and the Administrators
    // group, which everything made inside inherits; the account gets its own entry only where
    // none of its processes is below another, and else a high label keeps those out. Wine
    // keeps no file DACL, owner or label given at creation: it reads back the Unix mode it
    // made, in which a folder for others too would show Everyone.
    const struct {
        int elevatedOrSystem;
        int hasLabels;
        std::wstring sddl;
    } rows[] = {
        {0, 1, L"D:P(A;OICI;GA;;;SY)(A;OICI;GA;;;BA)(A;OICI;GA;;;" + RunningAccountSid() + L")"},
        {1, 1, L"O:BAD:P(A;OICI;GA;;;SY)(A;OICI;GA;;;BA)S:(ML;OICI;NW;;;HI)"},
        {1, 0, L"O:BAD:P(A;OICI;GA;;;SY)(A;OICI;GA;;;BA)"},
    };
    for (const auto& row : rows) {
        PSECURITY_DESCRIPTOR made = nullptr;
        ASSERT_EQ(1, MakePrivateDescriptor(PrivateFolderFlags(row.elevatedOrSystem, row.hasLabels), &made));
        wchar_t* sddl = nullptr;
        ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(
            made, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &sddl, nullptr));
        std::wstring text = sddl;
        LocalFree(sddl);
        // Wine's descriptor strings leave labels out: the label entry is read as it is.
        BOOL present = FALSE, defaulted = FALSE;
        PACL sacl = nullptr;
        SYSTEM_MANDATORY_LABEL_ACE* label = nullptr;
        ASSERT_TRUE(GetSecurityDescriptorSacl(made, &present, &sacl, &defaulted));
        if (present && sacl && sacl->AceCount == 1 && GetAce(sacl, 0, reinterpret_cast<void**>(&label)) &&
            label->Header.AceType == SYSTEM_MANDATORY_LABEL_ACE_TYPE && label->Mask == SYSTEM_MANDATORY_LABEL_NO_WRITE_UP &&
            label->Header.AceFlags == (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE) &&
            IsWellKnownSid(&label->SidStart, WinHighLabelSid))
            text += L"S:(ML;OICI;NW;;;HI)";
        else if (present)
            text += L"S:?";
        EXPECT_EQ(row.sddl, text);
        LocalFree(made);
    }
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                    nullptr, &descriptor));
    bool onlyAllowed = false;
    const std::set<std::wstring> granted = AllowedSids(dacl, &onlyAllowed);
    LocalFree(descriptor);
    const std::set<std::wstring> expected = {L"S-1-5-18", L"S-1-5-32-544", RunningAccountSid()};
    EXPECT_TRUE(onlyAllowed);
    EXPECT_TRUE(granted.count(RunningAccountSid()));
    EXPECT_TRUE(std::includes(expected.begin(), expected.end(), granted.begin(), granted.end()))
        << testing::PrintToString(granted);

    stage.Remove();
    EXPECT_FALSE(FileExists(folder));
    EXPECT_TRUE(StagingFoldersLeft().empty());
}

TEST_F(InstallFilesStage, RefusesAFileThatIsMissingChangedOrOfAnotherSizeNamingIt)
{
    const std::string manifest = Manifest();
    const auto flipLastByte = [](std::string bytes) {
        bytes.back() ^= 0x01;
        return bytes;
    };
    struct Case {
        std::wstring file;
        int change; // 0 missing, 1 last byte changed, 2 one byte more
        DWORD error;
    } cases[] = {
        {Named(L"\\UNIDRV.dll"), 1, ERROR_INVALID_DATA},
        {TemplateGpd(), 1, ERROR_INVALID_DATA},
        {Named(L"\\ZelvokUSBMon.dll"), 1, ERROR_INVALID_DATA},
        {kRestoreClientName, 1, ERROR_INVALID_DATA},
        {Named(L"\\UNIRES.dll"), 0, ERROR_FILE_NOT_FOUND},
        {Named(L"\\STDNAMES.GPD"), 2, ERROR_INVALID_DATA},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.file));
        const std::string original = ReadFileBytes(Package(c.file));
        ASSERT_FALSE(original.empty());
        if (c.change == 0)
            ASSERT_TRUE(DeleteFileW(Package(c.file).c_str()));
        else
            ASSERT_TRUE(WriteFileBytes(Package(c.file), c.change == 1 ? flipLastByte(original) : original + "x"));
        {
            CPackageStage stage;
            wchar_t refused[MAX_PATH] = {};
            SetLastError(0xDEADBEEF);
            EXPECT_EQ(0, stage.Stage(job_, manifest.data(), manifest.size(), refused));
            EXPECT_EQ(c.error, GetLastError());
            EXPECT_EQ(c.file, refused);
        }
        EXPECT_TRUE(StagingFoldersLeft().empty());
        ASSERT_TRUE(WriteFileBytes(Package(c.file), original));
    }
    // Without a manifest (a test program) what is there is copied as it is.
    ASSERT_TRUE(DeleteFileW(Package(Named(L"\\UNIRES.dll")).c_str()));
    ASSERT_TRUE(WriteFileBytes(Package(Named(L"\\UNIDRV.dll")), "changed"));
    CPackageStage stage;
    wchar_t refused[MAX_PATH] = {};
    ASSERT_EQ(1, stage.Stage(job_, nullptr, 0, refused));
    EXPECT_FALSE(FileExists(std::wstring(stage.Folder()) + L"\\" + Named(L"\\UNIRES.dll")));
    EXPECT_EQ("changed", ReadFileBytes(std::wstring(stage.Folder()) + L"\\" + Named(L"\\UNIDRV.dll")));
}

} // namespace
