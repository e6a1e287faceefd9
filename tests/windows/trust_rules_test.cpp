// The trust checks: the owner and access-list rules on descriptors built from
// SDDL (Wine keeps no security on files, so this is where the rules are
// proven), then the handle, path and process forms on real objects.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <stdexcept>
#include <utility>
#include <vector>

#include "core/owners_win32.h"
#include "file_tree.h"
#include "payload/failure.h"
#include "payload/file_primitives_win32.h"
#include "payload/trust_checks_win32.h"
#include "test_support.h"

namespace {

using namespace zelkora;
using namespace zelkora::payload;
using namespace std::chrono_literals;

constexpr wchar_t kTrustedInstaller[] = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
constexpr wchar_t kSomeUser[] = L"S-1-5-21-1-2-3-1001";

UniqueLocalMemory descriptor_from(const std::wstring& sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor,
                                                                 nullptr)) {
        ADD_FAILURE() << "SDDL not accepted: " << testing::PrintToString(sddl);
        return {};
    }
    return UniqueLocalMemory(descriptor);
}

struct DescriptorCase {
    const char* name;
    std::wstring sddl;
    bool protected_location;  // owner and access-list rule
    bool admin_only;          // staging-folder rule
};

std::string case_name(const testing::TestParamInfo<DescriptorCase>& info) { return info.param.name; }
void PrintTo(const DescriptorCase& c, std::ostream* out) { *out << c.name; }

const std::wstring kSystemAndAdmins = L"(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

class DescriptorRules : public testing::TestWithParam<DescriptorCase> {};

TEST_P(DescriptorRules, JudgesOwnerAndAccessList) {
    const auto descriptor = descriptor_from(GetParam().sddl);
    ASSERT_TRUE(descriptor);
    EXPECT_EQ(is_protected_descriptor(descriptor.get(), product_trusted_owners()), GetParam().protected_location);
    EXPECT_EQ(is_protected_update_folder_descriptor(descriptor.get(), product_trust().update_folder),
              GetParam().admin_only);
}

INSTANTIATE_TEST_SUITE_P(
    Sddl, DescriptorRules,
    testing::Values(
        // Owners.
        DescriptorCase{"AdministratorsOwnSystemAndAdminsWrite", L"O:BAD:P" + kSystemAndAdmins, true, true},
        DescriptorCase{"LocalSystemOwns", L"O:SYD:P" + kSystemAndAdmins, true, false},
        DescriptorCase{"TrustedInstallerOwns", L"O:" + std::wstring(kTrustedInstaller) + L"D:P" + kSystemAndAdmins,
                       true, false},
        DescriptorCase{"UserOwnsPerfectList", L"O:" + std::wstring(kSomeUser) + L"D:P" + kSystemAndAdmins, false,
                       false},
        DescriptorCase{"NoOwner", L"D:P" + kSystemAndAdmins, false, false},
        DescriptorCase{"CreatorOwnerIsNoOwner", L"O:COD:P" + kSystemAndAdmins, false, false},
        // Missing and empty access lists.
        DescriptorCase{"NoAccessList", L"O:BA", false, false},
        DescriptorCase{"EmptyAccessList", L"O:BAD:P", true, false},
        // Allow entries for others.
        DescriptorCase{"UsersReadAndExecute", L"O:BAD:" + kSystemAndAdmins + L"(A;OICI;0x1200a9;;;BU)", true,
                       false},
        DescriptorCase{"UsersAddSubfolder", L"O:BAD:" + kSystemAndAdmins + L"(A;;0x4;;;BU)", false, false},
        DescriptorCase{"UsersGenericRead", L"O:BAD:" + kSystemAndAdmins + L"(A;;GR;;;BU)", true, false},
        DescriptorCase{"UsersGenericWrite", L"O:BAD:" + kSystemAndAdmins + L"(A;;GW;;;BU)", false, false},
        DescriptorCase{"UsersGenericAll", L"O:BAD:" + kSystemAndAdmins + L"(A;;GA;;;BU)", false, false},
        DescriptorCase{"UserModify", L"O:BAD:" + kSystemAndAdmins + L"(A;;0x1301bf;;;" + kSomeUser + L")", false,
                       false},
        DescriptorCase{"EveryoneReadOnly", L"O:BAD:" + kSystemAndAdmins + L"(A;;FR;;;WD)", true, false},
        DescriptorCase{"AuthenticatedUsersInheritOnly", L"O:BAD:" + kSystemAndAdmins + L"(A;OICIIO;FA;;;AU)", true,
                       false},
        DescriptorCase{"AuthenticatedUsersInherited", L"O:BAD:" + kSystemAndAdmins + L"(A;OICIID;FA;;;AU)", false,
                       false},
        DescriptorCase{"CreatorOwnerFullControl", L"O:BAD:" + kSystemAndAdmins + L"(A;OICIIO;GA;;;CO)(A;;FA;;;CO)",
                       true, false},
        DescriptorCase{"TrustedInstallerFullControl",
                       L"O:BAD:" + kSystemAndAdmins + L"(A;;FA;;;" + std::wstring(kTrustedInstaller) + L")", true,
                       false},
        // Deny entries.
        DescriptorCase{"DenyEveryone", L"O:BAD:P(D;;FA;;;WD)" + kSystemAndAdmins, true, false},
        // The staging folder's exact list.
        DescriptorCase{"StagingReversedOrder", L"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)", true, true},
        DescriptorCase{"StagingMoreThanFullAccess", L"O:BAD:P(A;;0x101F01FF;;;BA)(A;;FA;;;SY)", true, true},
        DescriptorCase{"StagingNotProtected", L"O:BAD:" + kSystemAndAdmins, true, false},
        DescriptorCase{"StagingUsersRead", L"O:BAD:P" + kSystemAndAdmins + L"(A;;0x1200a9;;;BU)", true, false},
        DescriptorCase{"StagingOnlyAdministrators", L"O:BAD:P(A;;FA;;;BA)", true, false},
        DescriptorCase{"StagingOnlySystem", L"O:BAD:P(A;;FA;;;SY)", true, false},
        DescriptorCase{"StagingShortOfFullAccess", L"O:BAD:P(A;;0x1F01FE;;;BA)(A;;FA;;;SY)", true, false},
        DescriptorCase{"StagingGenericAllOnly", L"O:BAD:P(A;;GA;;;BA)(A;;GA;;;SY)", true, false},
        DescriptorCase{"StagingInheritedEntry", L"O:BAD:P(A;ID;FA;;;BA)(A;;FA;;;SY)", true, false},
        DescriptorCase{"StagingTrustedInstallerEntry",
                       L"O:BAD:P" + kSystemAndAdmins + L"(A;;FA;;;" + std::wstring(kTrustedInstaller) + L")", true,
                       false}),
    case_name);

// A null access list grants everyone everything. Built by hand: Wine's SDDL
// parser does not know "NO_ACCESS_CONTROL".
TEST(DescriptorRulesByHand, NullAccessListFailsBothRules) {
    SECURITY_DESCRIPTOR descriptor;
    ASSERT_TRUE(::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(administrators);
    ASSERT_TRUE(::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size));
    ASSERT_TRUE(::SetSecurityDescriptorOwner(&descriptor, administrators, FALSE));
    ASSERT_TRUE(::SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED));
    ASSERT_TRUE(::SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE));
    EXPECT_FALSE(is_protected_descriptor(&descriptor, product_trusted_owners()));
    EXPECT_FALSE(is_protected_update_folder_descriptor(&descriptor, product_trust().update_folder));
    EXPECT_FALSE(is_protected_update_folder_descriptor(&descriptor, test_variant_trust().update_folder));
}

// Each write-type right on its own fails for an ordinary principal; rights
// outside the set do not.
class WriteTypeRight : public testing::TestWithParam<ACCESS_MASK> {};

TEST_P(WriteTypeRight, GrantedToUsersFails) {
    wchar_t mask[16];
    swprintf(mask, 16, L"0x%lx", static_cast<unsigned long>(GetParam()));
    const auto descriptor = descriptor_from(L"O:BAD:(A;;FA;;;SY)(A;;" + std::wstring(mask) + L";;;BU)");
    ASSERT_TRUE(descriptor);
    EXPECT_EQ(is_protected_descriptor(descriptor.get(), product_trusted_owners()),
              (GetParam() & kWriteTypeRights) == 0);
}

INSTANTIATE_TEST_SUITE_P(Bits, WriteTypeRight,
                         testing::Values(GENERIC_WRITE, GENERIC_ALL, WRITE_OWNER, WRITE_DAC, DELETE,
                                         FILE_WRITE_ATTRIBUTES, FILE_DELETE_CHILD, FILE_WRITE_EA, FILE_APPEND_DATA,
                                         FILE_WRITE_DATA,
                                         // harmless ones
                                         FILE_READ_DATA, FILE_READ_EA, FILE_EXECUTE, FILE_READ_ATTRIBUTES,
                                         READ_CONTROL, SYNCHRONIZE, GENERIC_READ, GENERIC_EXECUTE));

// Entry types that SDDL cannot express: built as an allow entry whose type
// byte is then changed. Any of them fails, even when it grants nothing.
class OtherEntryType : public testing::TestWithParam<BYTE> {};

TEST_P(OtherEntryType, FailsTheProtectedLocationRule) {
    const auto descriptor = descriptor_from(L"O:BAD:P(A;;FA;;;SY)(A;;0x1200a9;;;BU)");
    ASSERT_TRUE(descriptor);
    PACL list = nullptr;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor.get(), &present, &list, &defaulted));
    void* entry = nullptr;
    ASSERT_TRUE(::GetAce(list, 1, &entry));
    ASSERT_TRUE(is_protected_descriptor(descriptor.get(), product_trusted_owners()));
    static_cast<ACE_HEADER*>(entry)->AceType = GetParam();
    EXPECT_FALSE(is_protected_descriptor(descriptor.get(), product_trusted_owners()));
}

INSTANTIATE_TEST_SUITE_P(Types, OtherEntryType,
                         testing::Values(BYTE{ACCESS_ALLOWED_OBJECT_ACE_TYPE}, BYTE{ACCESS_ALLOWED_CALLBACK_ACE_TYPE},
                                         BYTE{ACCESS_DENIED_OBJECT_ACE_TYPE}, BYTE{SYSTEM_AUDIT_ACE_TYPE},
                                         BYTE{SYSTEM_MANDATORY_LABEL_ACE_TYPE}, BYTE{0x7F}));

TEST(TrustedOwners, AreOnlyWhatTheCallerGives) {
    const auto descriptor = descriptor_from(L"O:" + std::wstring(kSomeUser) + L"D:P" + kSystemAndAdmins +
                                            L"(A;;FA;;;" + kSomeUser + L")");
    ASSERT_TRUE(descriptor);
    EXPECT_FALSE(is_protected_descriptor(descriptor.get(), product_trusted_owners()));
    EXPECT_TRUE(is_protected_descriptor(descriptor.get(), TrustedOwners({L"S-1-5-18", L"S-1-5-32-544", kSomeUser})));
    EXPECT_FALSE(is_protected_descriptor(descriptor.get(), TrustedOwners({L"not a sid", L""})));
    EXPECT_FALSE(is_protected_descriptor(descriptor.get(), TrustedOwners({})));
}

TEST(TrustedOwners, ProductSetIsTheThreeSystemPrincipals) {
    EXPECT_EQ(product_trusted_owners().string_sids(),
              (std::vector<std::wstring>{L"S-1-5-18", L"S-1-5-32-544", kTrustedInstaller}));
}

// Wine reports every file as owned by the current user, with that user
// allowed full access.
TEST(ProtectedLocation, WineFoldersPassOnlyWithTheCurrentUserTrusted) {
    test::ScratchFolder scratch;
    test::write_file(scratch / L"file.txt", "x");
    const UniqueFile folder(::CreateFileW(scratch.path().c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_TRUE(folder);
    const TrustedOwners with_user = test::owners_with_current_user();

    EXPECT_NO_THROW(require_protected_location(folder.get(), with_user));
    try {
        require_protected_location(folder.get(), product_trusted_owners());
        ADD_FAILURE() << "a Wine folder passed with the product's owners";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.code(), "payload_destination_unprotected");
    }

    EXPECT_TRUE(is_protected_location(scratch.path(), ObjectKind::folder, with_user));
    EXPECT_TRUE(is_protected_location(scratch / L"file.txt", ObjectKind::file, with_user));
    EXPECT_FALSE(is_protected_location(scratch.path(), ObjectKind::file, with_user));
    EXPECT_FALSE(is_protected_location(scratch / L"file.txt", ObjectKind::folder, with_user));
    EXPECT_FALSE(is_protected_location(scratch / L"missing", ObjectKind::folder, with_user));
    EXPECT_FALSE(is_protected_location(scratch.path(), ObjectKind::folder, product_trusted_owners()));
}

TEST(ProtectedUpdateFolder, RefusesWhatIsNotAnAdministratorOnlyFolder) {
    test::ScratchFolder scratch;
    test::write_file(scratch / L"file.txt", "x");
    for (const std::wstring& path : {scratch.path(), scratch / L"file.txt", scratch / L"missing"}) {
        try {
            require_protected_update_folder(path, product_trust().update_folder);
            ADD_FAILURE() << "accepted " << testing::PrintToString(path);
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "installer_verification_failed");
        }
    }
}

TEST(ProtectedUpdateFolder, WineFoldersPassOnlyWithTheTestVariantsTrust) {
    test::ScratchFolder scratch;
    test::write_file(scratch / L"file.txt", "x");
    const UpdateFolderTrust variant = test_variant_trust().update_folder;
    EXPECT_TRUE(is_protected_update_folder(scratch.path(), variant));
    EXPECT_FALSE(is_protected_update_folder(scratch / L"file.txt", variant));
    EXPECT_FALSE(is_protected_update_folder(scratch / L"missing", variant));
    EXPECT_FALSE(is_protected_update_folder(scratch.path(), product_trust().update_folder));
}

// Links that Wine follows silently (tests/wine/make-link-fixtures): by handle
// they show no reparse point, only their final path tells. Every path form of
// the trust rules must refuse a folder or file reached through one, with the
// release's trust and with the test variant's, while what the link points at
// passes with the test variant's.
TEST(ProtectedLocation, RefusesWhatIsReachedThroughALink) {
    const std::wstring links = L"C:\\zelkora-links";
    ASSERT_TRUE(is_protected_location(links + L"\\real", ObjectKind::folder, test_variant_trust().location_owners));
    ASSERT_TRUE(
        is_protected_location(links + L"\\real\\file.txt", ObjectKind::file, test_variant_trust().location_owners));
    const std::pair<std::wstring, ObjectKind> linked[] = {
        {links + L"\\folder-link", ObjectKind::folder},
        {links + L"\\folder-link\\inner", ObjectKind::folder},
        {links + L"\\tree\\linked", ObjectKind::folder},
        {links + L"\\file-link.txt", ObjectKind::file},
        {links + L"\\folder-link\\file.txt", ObjectKind::file},
    };
    for (const core::TrustData& trust : {product_trust(), test_variant_trust()}) {
        for (const auto& [path, kind] : linked) {
            EXPECT_FALSE(is_protected_location(path, kind, trust.location_owners)) << testing::PrintToString(path);
        }
    }
}

TEST(ProtectedUpdateFolder, RefusesAFolderReachedThroughALink) {
    const std::wstring links = L"C:\\zelkora-links";
    ASSERT_TRUE(is_protected_update_folder(links + L"\\real", test_variant_trust().update_folder));
    for (const core::TrustData& trust : {product_trust(), test_variant_trust()}) {
        for (const std::wstring& path : {links + L"\\folder-link", links + L"\\folder-link\\inner",
                                         links + L"\\tree\\linked"}) {
            EXPECT_FALSE(is_protected_update_folder(path, trust.update_folder)) << testing::PrintToString(path);
        }
    }
}

// The update-folder rule with the release's and the test variant's principals.
// Wine's own list is what every folder under Wine reports.
TEST(UpdateFolderTrustData, PrincipalsComeFromTheTrustData) {
    const std::wstring user = current_user_sid();
    ASSERT_FALSE(user.empty());
    const std::wstring wine_list = L"(A;OICI;FA;;;SY)(A;OICI;FA;;;" + user + L")(A;OICI;0x1200a9;;;WD)";
    struct Case {
        const char* name;
        std::wstring sddl;
        bool release;
        bool test_variant;
    };
    const Case cases[] = {
        {"administrator-only list", L"O:BAD:P" + kSystemAndAdmins, true, true},
        {"Wine's folder", L"O:" + user + L"D:" + wine_list, false, true},
        {"Users may read", L"O:BAD:P" + kSystemAndAdmins + L"(A;;0x1200a9;;;BU)", false, false},
        {"Users may list", L"O:BAD:P" + kSystemAndAdmins + L"(A;;0x1;;;BU)", false, false},
        {"Wine's folder with Users", L"O:" + user + L"D:" + wine_list + L"(A;;0x1;;;BU)", false, false},
        {"Everyone may write", L"O:" + user + L"D:(A;OICI;FA;;;SY)(A;OICI;FA;;;" + user + L")(A;OICI;0x1201bf;;;WD)",
         false, false},
        {"another user owns", L"O:" + std::wstring(kSomeUser) + L"D:" + wine_list, false, false},
        {"another user holds full access",
         L"O:" + user + L"D:" + wine_list + L"(A;;FA;;;" + std::wstring(kSomeUser) + L")", false, false},
        {"no LocalSystem entry", L"O:" + user + L"D:(A;OICI;FA;;;" + user + L")", false, false},
        {"inherited entries", L"O:" + user + L"D:(A;OICIID;FA;;;SY)(A;OICIID;FA;;;" + user + L")", false, false},
        {"empty list", L"O:BAD:P", false, false},
    };
    for (const auto& c : cases) {
        const auto descriptor = descriptor_from(c.sddl);
        ASSERT_TRUE(descriptor) << c.name;
        EXPECT_EQ(is_protected_update_folder_descriptor(descriptor.get(), product_trust().update_folder), c.release)
            << c.name;
        EXPECT_EQ(is_protected_update_folder_descriptor(descriptor.get(), test_variant_trust().update_folder),
                  c.test_variant)
            << c.name;
    }
}

// A copy of this test program under the wanted name, started suspended so it
// stays alive without running anything.
class ProductProcess : public testing::Test {
protected:
    test::ScratchFolder scratch;

    int copies = 0;

    test::StartedProcess start_copy_named(const std::wstring& name) {
        wchar_t own[MAX_PATH];
        const DWORD length = ::GetModuleFileNameW(nullptr, own, MAX_PATH);
        const std::wstring folder = scratch / std::to_wstring(++copies);
        ::CreateDirectoryW(folder.c_str(), nullptr);
        const std::wstring copy = folder + L"\\" + name;
        EXPECT_TRUE(length > 0 && ::CopyFileW(own, copy.c_str(), TRUE));
        std::wstring command_line = L"\"" + copy + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        EXPECT_TRUE(::CreateProcessW(copy.c_str(), command_line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                                     nullptr, nullptr, &startup, &info));
        ::CloseHandle(info.hThread);
        return {UniqueHandle(info.hProcess), info.dwProcessId};
    }

    static void end(const test::StartedProcess& process) {
        ::TerminateProcess(process.process.get(), 0);
        ::WaitForSingleObject(process.process.get(), 10000);
    }
};

TEST_F(ProductProcess, RecognisesOnlyTheRunningImageByItsExactName) {
    struct Case {
        const wchar_t* name;
        bool client;
        bool host_settings;
    };
    for (const Case& c : {Case{L"Zelkora.exe", true, false}, Case{L"zelkora.EXE", true, false},
                          Case{L"ZelkoraHostSettings.exe", false, true}, Case{L"Zelkora.exe.old", false, false},
                          Case{L"MyZelkora.exe", false, false}}) {
        const auto process = start_copy_named(c.name);
        ASSERT_TRUE(process.process);
        EXPECT_EQ(is_running_product_process(process.id, ProductApplication::client), c.client)
            << testing::PrintToString(std::wstring(c.name));
        EXPECT_EQ(is_running_product_process(process.id, ProductApplication::host_settings), c.host_settings)
            << testing::PrintToString(std::wstring(c.name));
        end(process);
    }
}

TEST_F(ProductProcess, AnExitedProcessIsNotRunningEvenWithItsHandleHeld) {
    const auto process = start_copy_named(L"Zelkora.exe");
    ASSERT_TRUE(process.process);
    end(process);
    EXPECT_FALSE(is_running_product_process(process.id, ProductApplication::client));
}

TEST(ProductProcessIds, ZeroAndOwnIdAreNeverTheProduct) {
    EXPECT_FALSE(is_running_product_process(0, ProductApplication::client));
    EXPECT_FALSE(is_running_product_process(::GetCurrentProcessId(), ProductApplication::client));
    EXPECT_FALSE(is_running_product_process(::GetCurrentProcessId(), ProductApplication::host_settings));
}

}  // namespace
