// The judgement of access rules, fed with descriptors made up as Windows has them (wine keeps none on files),
// and the rules the program gives its folders, read as data.

#include "security/AccessRules.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const std::wstring kUser = CurrentUserSidText();
const std::wstring kUserName = L"the current user (" + kUser + L")";
constexpr wchar_t kTrustedInstaller[] = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

std::wstring Judge(const std::wstring& sddl, ACCESS_MASK rights, const Administrators& admins) {
    const UniqueLocalMemory descriptor = DescriptorFromRules(sddl.c_str());
    EXPECT_TRUE(descriptor) << std::string(sddl.begin(), sddl.end());
    return NonAdministratorWith(descriptor.get(), rights, admins);
}

std::wstring AsText(PSECURITY_DESCRIPTOR descriptor) {
    UniqueLocalMemory text;
    if (!::ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
            reinterpret_cast<wchar_t**>(text.put()), nullptr)) {
        return {};
    }
    return static_cast<const wchar_t*>(text.get());
}

TEST(AccessRules, OnlyAdministratorsMayChangeWhatTheJudgementPasses) {
    ASSERT_FALSE(kUser.empty());
    const Administrators windows = Administrators::AsOnWindows();
    const std::wstring ti = kTrustedInstaller;
    struct Case {
        std::wstring sddl;
        ACCESS_MASK rights;
        std::wstring writer;  // "" when only administrators may
    };
    const Case cases[] = {
        // The folders the program makes, and what Program Files has.
        {kAdministratorsOnlyRules, kChangeRights, L""},
        {kUsersMayReadRules, kChangeRights, L""},
        {L"O:" + ti + L"D:P(A;;FA;;;" + ti + L")(A;OICIIO;GA;;;" + ti +
             L")(A;;0x1301bf;;;SY)(A;OICIIO;GA;;;SY)(A;;0x1301bf;;;BA)(A;OICIIO;GA;;;BA)(A;;0x1200a9;;;BU)"
             L"(A;OICIIO;GXGR;;;BU)(A;OICIIO;GA;;;CO)(A;;0x1200a9;;;S-1-15-2-1)",
         kChangeRights, L""},
        // Ordinary principals that may write, append, delete, or change the rules.
        {L"O:BAD:P(A;;FA;;;SY)(A;;0x1301bf;;;BU)", kChangeRights, L"Users"},
        {L"O:BAD:(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;AU)", kChangeRights, L"Authenticated Users"},
        {L"O:BAD:(A;;FA;;;BA)(A;;0x100004;;;WD)", kChangeRights, L"Everyone"},
        {L"O:BAD:(A;;FA;;;BA)(A;;FA;;;" + kUser + L")", kChangeRights, kUserName},
        {L"O:BAD:(A;;FA;;;BA)(A;;FW;;;IU)", kChangeRights, L"INTERACTIVE"},
        {L"O:BAD:(A;;FA;;;BA)(A;;WD;;;BU)", kChangeRights, L"Users"},
        {L"O:BAD:(A;;FA;;;BA)(A;;0x10000;;;S-1-5-21-1-2-3-1001)", kChangeRights, L"S-1-5-21-1-2-3-1001"},
        // Reading is no change; nor are entries only for what is made inside, or only denying.
        {L"O:BAD:(A;;FA;;;BA)(A;;0x1200a9;;;WD)", kChangeRights, L""},
        {L"O:BAD:(A;;FA;;;BA)(A;OICIIO;FA;;;BU)", kChangeRights, L""},
        {L"O:BAD:(A;;FA;;;BA)(D;;FA;;;WD)", kChangeRights, L""},
        {L"O:BAD:(A;;FA;;;OW)", kChangeRights, L""},
        // An owner may always change the rules; no DACL lets everyone do everything.
        {L"O:BUD:P(A;;FA;;;SY)", kChangeRights, L"its owner, Users"},
        {L"O:" + kUser + L"D:P(A;;FA;;;SY)(A;;FA;;;BA)", kChangeRights, L"its owner, " + kUserName},
        // A folder above: creating folders in "C:\" is no way to replace one, deleting an entry or the folder
        // is ("C:\Tools" inherits Modify for Authenticated Users from the root).
        {L"O:SYD:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)(A;;0x4;;;AU)(A;OICIIO;SDGXGWGR;;;AU)",
         kReplaceRights, L""},
        {L"O:SYD:(A;OICI;FA;;;BA)(A;;0x4;;;AU)", kChangeRights, L"Authenticated Users"},
        {L"O:BAD:AI(A;OICIID;FA;;;BA)(A;OICIID;0x1301bf;;;AU)", kReplaceRights, L"Authenticated Users"},
        {L"O:BAD:(A;;FA;;;BA)(A;;0x40;;;BU)", kReplaceRights, L"Users"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Judge(c.sddl, c.rights, windows), c.writer) << std::string(c.sddl.begin(), c.sddl.end());
    }

    // A null DACL (which wine's SDDL reader does not make) lets everyone do everything.
    SECURITY_DESCRIPTOR open{};
    BYTE admins[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(admins);
    ASSERT_TRUE(::InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &size));
    ASSERT_TRUE(::SetSecurityDescriptorOwner(&open, admins, FALSE));
    ASSERT_TRUE(::SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE));
    EXPECT_EQ(NonAdministratorWith(&open, kChangeRights, windows), L"Everyone (it has no access rules)");

    // An entry of a kind the judgement does not read (an object entry, which wine makes neither from SDDL
    // nor with AddAccessAllowedObjectAce) counts as allowing, even when it grants only reading. Its layout:
    // header, mask, flags (0: no object types), the SID.
    alignas(ACL) BYTE entries[256];
    BYTE everyone[SECURITY_MAX_SID_SIZE];
    size = sizeof(everyone);
    ASSERT_TRUE(::CreateWellKnownSid(WinWorldSid, nullptr, everyone, &size));
    std::vector<BYTE> entry(sizeof(ACE_HEADER) + sizeof(ACCESS_MASK) + sizeof(DWORD) + size);
    const ACE_HEADER header{ACCESS_ALLOWED_OBJECT_ACE_TYPE, 0, static_cast<WORD>(entry.size())};
    const ACCESS_MASK read = FILE_GENERIC_READ;
    std::memcpy(entry.data(), &header, sizeof(header));
    std::memcpy(entry.data() + sizeof(header), &read, sizeof(read));
    std::memcpy(entry.data() + entry.size() - size, everyone, size);
    ASSERT_TRUE(::InitializeAcl(reinterpret_cast<PACL>(entries), sizeof(entries), ACL_REVISION_DS));
    ASSERT_TRUE(::AddAce(reinterpret_cast<PACL>(entries), ACL_REVISION_DS, MAXDWORD, entry.data(),
                         static_cast<DWORD>(entry.size())));
    ASSERT_TRUE(::SetSecurityDescriptorDacl(&open, TRUE, reinterpret_cast<PACL>(entries), FALSE));
    EXPECT_EQ(NonAdministratorWith(&open, kChangeRights, windows), L"anyone (an entry of an unknown kind)");
}

// What the program gives its folders, as data: owned by the Administrators group, protected, SYSTEM and
// Administrators with full control and users with read and execute at most, inherited by what is made inside.
TEST(AccessRules, TheFolderRulesReadBackExactly) {
    const UniqueLocalMemory adminOnly = DescriptorFromRules(kAdministratorsOnlyRules);
    const UniqueLocalMemory usersRead = DescriptorFromRules(kUsersMayReadRules);
    EXPECT_EQ(AsText(adminOnly.get()), L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");
    EXPECT_EQ(AsText(usersRead.get()), L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)");
    const Administrators windows = Administrators::AsOnWindows();
    EXPECT_EQ(ProtectionFault(adminOnly.get(), windows), L"");
    EXPECT_EQ(ProtectionFault(usersRead.get(), windows), L"");
}

TEST(AccessRules, AFolderReadBackWithoutItsProtectionIsRefused) {
    const Administrators windows = Administrators::AsOnWindows();
    // What wine reports for the folder it made with the administrators-only rules: its account as owner, the
    // rules made into mode bits and back.
    const std::wstring wineMade =
        L"O:" + kUser + L"D:(A;OICI;FA;;;SY)(A;OICI;FA;;;" + kUser + L")(A;OICI;0x1200a9;;;WD)";
    const struct {
        std::wstring sddl;
        std::wstring fault;
    } cases[] = {
        {L"O:BAD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", L"its rules are not protected from inheritance"},
        {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;AU)",
         L"it can be changed by Authenticated Users"},
        {L"O:BUD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", L"it can be changed by its owner, Users"},
        {wineMade, L"it can be changed by its owner, " + kUserName},
    };
    for (const auto& c : cases) {
        const UniqueLocalMemory descriptor = DescriptorFromRules(c.sddl.c_str());
        EXPECT_EQ(ProtectionFault(descriptor.get(), windows), c.fault)
            << std::string(c.sddl.begin(), c.sddl.end());
    }
    // On wine the prefix's account is the administrator, and only a mode that lets others write is refused.
    const Administrators& here = Administrators::OfThisSystem();
    ASSERT_FALSE(here.KeepAccessRules()) << "these tests run on wine";
    EXPECT_EQ(ProtectionFault(DescriptorFromRules(wineMade.c_str()).get(), here), L"");
    const std::wstring worldWritable =
        L"O:" + kUser + L"D:(A;OICI;FA;;;SY)(A;OICI;FA;;;" + kUser + L")(A;OICI;0x1301ff;;;WD)";
    EXPECT_EQ(ProtectionFault(DescriptorFromRules(worldWritable.c_str()).get(), here),
              L"it can be changed by Everyone");
}

}  // namespace
