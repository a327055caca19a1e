#pragma once

// Access rules (security descriptors) of files and folders: the ones the program gives the folders it makes,
// and the judgement whether anyone but an administrator can change a file or folder.
//
// The program runs elevated. A file it starts or loads, or a folder it writes into, that an ordinary process
// can change decides what runs as administrator. Who is an administrator here is a short, fixed list
// (SYSTEM, the Administrators group, TrustedInstaller); every other principal counts as an ordinary one,
// the user's own account included: the user's unelevated processes run with it too.
//
// Wine keeps no access rules on files: it reports the Unix owner as the prefix's one account, the owner's
// mode bits as that account's entry and the bits for others as an Everyone entry, and makes a rule it is
// given into mode bits. There every program of the prefix runs as that one account, so on wine the account
// counts as an administrator and only what the mode grants others can tell a writable file.

#include "win/Handle.h"

#include <windows.h>

#include <string>
#include <vector>

// Folders only administrators may change, nothing inherited, owned by the Administrators group: where
// updates are downloaded, unpacked and started.
inline constexpr wchar_t kAdministratorsOnlyRules[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
// The same, and users may read: the machine-wide folder of the program and its logs.
inline constexpr wchar_t kUsersMayReadRules[] =
    L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

// Rights that let a principal change a file or folder, or what a folder holds: write or append data, add or
// delete entries, write extended attributes, delete it, or change its rules or owner.
inline constexpr ACCESS_MASK kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                             FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER |
                                             GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED;
// Rights on a folder further up that let a principal put another folder in the place of one below it:
// rename or delete it or an entry of it, or give itself that right.
inline constexpr ACCESS_MASK kReplaceRights =
    FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_ALL | MAXIMUM_ALLOWED;

// The principals that count as administrators when a file's rules are judged.
class Administrators {
  public:
    // This system's: SYSTEM, Administrators and TrustedInstaller, and on wine also the prefix's account.
    static const Administrators& OfThisSystem();
    // Windows' list whatever this system is, for judging descriptors made up for a test.
    static Administrators AsOnWindows();

    [[nodiscard]] bool Includes(PSID sid) const noexcept;
    // False on wine: what it reports is made from Unix modes, and rules set on a file are not kept.
    [[nodiscard]] bool KeepAccessRules() const noexcept { return keepsRules_; }

  private:
    Administrators();
    std::vector<std::vector<BYTE>> sids_;
    bool keepsRules_ = true;
};

// A descriptor from its text form (SDDL); null if the text is not one.
[[nodiscard]] UniqueLocalMemory DescriptorFromRules(const wchar_t* sddl);

// The owner and DACL of an open file or folder (opened with READ_CONTROL); null if they cannot be read.
[[nodiscard]] UniqueLocalMemory ReadAccessRules(HANDLE object);

// Names the principal that is not an administrator and may use one of `rights` on what `descriptor`
// describes: an owner that is no administrator (an owner may always change the rules), or the first entry
// that applies to the object itself and allows such a principal one of the rights. A missing DACL allows
// everyone everything; an entry of a kind this judgement does not read counts as allowing. "" when there is
// none. Entries that only deny are not weighed against the ones that allow.
[[nodiscard]] std::wstring NonAdministratorWith(PSECURITY_DESCRIPTOR descriptor, ACCESS_MASK rights,
                                                const Administrators& admins);

// Whether a folder the program made with one of the rules above still has the protection it was given, read
// back from the folder: owned by an administrator, changeable by none but administrators and, where the
// system keeps rules, protected from inheriting more. "" when it is; otherwise what is wrong.
[[nodiscard]] std::wstring ProtectionFault(PSECURITY_DESCRIPTOR readBack, const Administrators& admins);

// The user this process runs for, as a SID text ("S-1-5-21-..."); "" if the token cannot tell.
[[nodiscard]] std::wstring CurrentUserSidText();

// A principal for the log and the panel: "Everyone", "Users", "Authenticated Users", "INTERACTIVE",
// "the current user (S-1-5-...)", or the SID's text.
[[nodiscard]] std::wstring PrincipalName(PSID sid);
