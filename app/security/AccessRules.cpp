#include "security/AccessRules.h"

#include <aclapi.h>
#include <sddl.h>

namespace {

// The service that owns the system's files.
constexpr wchar_t kTrustedInstaller[] = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
// An entry for it stands for whoever owns the object.
constexpr wchar_t kOwnerRights[] = L"S-1-3-4";

struct KnownName {
    WELL_KNOWN_SID_TYPE type;
    const wchar_t* name;
};
constexpr KnownName kKnownNames[] = {
    {WinWorldSid, L"Everyone"},
    {WinAuthenticatedUserSid, L"Authenticated Users"},
    {WinBuiltinUsersSid, L"Users"},
    {WinInteractiveSid, L"INTERACTIVE"},
    {WinCreatorOwnerSid, L"CREATOR OWNER"},
};

std::vector<BYTE> CopySid(PSID sid) {
    const DWORD length = ::GetLengthSid(sid);
    std::vector<BYTE> copy(length);
    ::CopySid(length, copy.data(), sid);
    return copy;
}

std::vector<BYTE> WellKnownSid(WELL_KNOWN_SID_TYPE type) {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(sid);
    return ::CreateWellKnownSid(type, nullptr, sid, &size) ? CopySid(sid) : std::vector<BYTE>();
}

std::vector<BYTE> SidFromText(const wchar_t* text) {
    UniqueLocalMemory sid;
    if (!::ConvertStringSidToSidW(text, reinterpret_cast<PSID*>(sid.put()))) {
        return {};
    }
    return CopySid(sid.get());
}

// The user account of this process's token.
std::vector<BYTE> ProcessUser() {
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) {
        return {};
    }
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) {
        return {};
    }
    return CopySid(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
}

bool SameSid(const std::vector<BYTE>& a, PSID b) noexcept {
    return !a.empty() && ::EqualSid(const_cast<BYTE*>(a.data()), b);
}

// Wine's ntdll exports its version; Windows' does not.
bool RunsOnWine() noexcept {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::wstring SidText(PSID sid) {
    UniqueLocalMemory text;
    if (!::ConvertSidToStringSidW(sid, reinterpret_cast<wchar_t**>(text.put()))) {
        return L"an unreadable principal";
    }
    return static_cast<const wchar_t*>(text.get());
}

// The SID of an allowing entry, or null for an entry that does not allow anything (denies, audits) or whose
// layout this judgement does not read (*unreadable is set for those).
PSID AllowedSid(const ACE_HEADER* header, ACCESS_MASK* mask, bool* unreadable) noexcept {
    *unreadable = false;
    switch (header->AceType) {
        case ACCESS_ALLOWED_ACE_TYPE:
        case ACCESS_ALLOWED_CALLBACK_ACE_TYPE: {
            // Both are a header, a mask and the SID.
            const auto* ace = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header);
            *mask = ace->Mask;
            return const_cast<DWORD*>(&ace->SidStart);
        }
        case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
        case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE:
        case ACCESS_ALLOWED_COMPOUND_ACE_TYPE:
            *unreadable = true;
            return nullptr;
        default:
            return nullptr;
    }
}

}  // namespace

Administrators::Administrators() = default;

const Administrators& Administrators::OfThisSystem() {
    static const Administrators admins = [] {
        Administrators result = AsOnWindows();
        if (RunsOnWine()) {
            result.keepsRules_ = false;
            result.sids_.push_back(ProcessUser());
        }
        return result;
    }();
    return admins;
}

Administrators Administrators::AsOnWindows() {
    Administrators result;
    result.sids_ = {WellKnownSid(WinLocalSystemSid), WellKnownSid(WinBuiltinAdministratorsSid),
                    SidFromText(kTrustedInstaller)};
    return result;
}

bool Administrators::Includes(PSID sid) const noexcept {
    if (!sid || !::IsValidSid(sid)) {
        return false;
    }
    for (const std::vector<BYTE>& admin : sids_) {
        if (SameSid(admin, sid)) {
            return true;
        }
    }
    return false;
}

UniqueLocalMemory DescriptorFromRules(const wchar_t* sddl) {
    UniqueLocalMemory descriptor;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, descriptor.put(),
                                                                nullptr)) {
        descriptor.reset();
    }
    return descriptor;
}

UniqueLocalMemory ReadAccessRules(HANDLE object) {
    UniqueLocalMemory descriptor;
    if (::GetSecurityInfo(object, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                          nullptr, nullptr, nullptr, nullptr, descriptor.put()) != ERROR_SUCCESS) {
        descriptor.reset();
    }
    return descriptor;
}

std::wstring NonAdministratorWith(PSECURITY_DESCRIPTOR descriptor, ACCESS_MASK rights,
                                  const Administrators& admins) {
    if (!descriptor) {
        return L"anyone (the rules cannot be read)";
    }
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !owner) {
        return L"anyone (it has no owner)";
    }
    const bool ownerIsAdmin = admins.Includes(owner);
    if (!ownerIsAdmin) {
        return L"its owner, " + PrincipalName(owner);
    }
    BOOL present = FALSE;
    PACL dacl = nullptr;
    if (!::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) {
        return L"anyone (the rules cannot be read)";
    }
    if (!present || !dacl) {
        return L"Everyone (it has no access rules)";
    }
    const std::vector<BYTE> ownerRights = SidFromText(kOwnerRights);
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
        void* entry = nullptr;
        if (!::GetAce(dacl, index, &entry)) {
            return L"anyone (the rules cannot be read)";
        }
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        // An entry only for what is created inside does not apply to the object itself.
        if (header->AceFlags & INHERIT_ONLY_ACE) {
            continue;
        }
        ACCESS_MASK mask = 0;
        bool unreadable = false;
        const PSID sid = AllowedSid(header, &mask, &unreadable);
        if (unreadable) {
            return L"anyone (an entry of an unknown kind)";
        }
        if (!sid || (mask & rights) == 0) {
            continue;
        }
        // OWNER RIGHTS grants to the owner, who is an administrator here.
        if (!admins.Includes(sid) && !SameSid(ownerRights, sid)) {
            return PrincipalName(sid);
        }
    }
    return {};
}

std::wstring ProtectionFault(PSECURITY_DESCRIPTOR readBack, const Administrators& admins) {
    std::wstring writer = NonAdministratorWith(readBack, kChangeRights, admins);
    if (!writer.empty()) {
        return L"it can be changed by " + writer;
    }
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (admins.KeepAccessRules() &&
        (!::GetSecurityDescriptorControl(readBack, &control, &revision) || !(control & SE_DACL_PROTECTED))) {
        return L"its rules are not protected from inheritance";
    }
    return {};
}

std::wstring PrincipalName(PSID sid) {
    for (const KnownName& known : kKnownNames) {
        if (::IsWellKnownSid(sid, known.type)) {
            return known.name;
        }
    }
    static const std::vector<BYTE> user = ProcessUser();
    const std::wstring text = SidText(sid);
    return SameSid(user, sid) ? L"the current user (" + text + L")" : text;
}

std::wstring CurrentUserSidText() {
    const std::vector<BYTE> user = ProcessUser();
    return user.empty() ? std::wstring() : SidText(const_cast<BYTE*>(user.data()));
}
