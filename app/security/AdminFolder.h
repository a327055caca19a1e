#pragma once

// A folder that only administrators can change, made by this process and checked through its handle: where
// the program downloads, unpacks and starts updates, and keeps its logs. Nothing an ordinary process can
// write decides what happens in it.
//
// After it is opened or made, the folder is checked by the handle the object keeps: a plain folder, no link,
// at exactly the path asked for, owned by an administrator, changeable by none but administrators
// (AccessRules.h). The handle is held without delete sharing, so the folder cannot be renamed, replaced or
// removed while the object lives. Paths inside it can then be used as they are.

#include "security/AccessRules.h"

#include "win/Handle.h"

#include <windows.h>

#include <string>
#include <string_view>

class AdminFolder {
  public:
    AdminFolder() = default;
    // A folder made by MakeFresh goes with everything in it (unless Keep was called); one opened by Open
    // stays.
    ~AdminFolder() { Close(); }
    AdminFolder(AdminFolder&& other) noexcept;
    AdminFolder& operator=(AdminFolder&& other) noexcept;
    AdminFolder(const AdminFolder&) = delete;
    AdminFolder& operator=(const AdminFolder&) = delete;

    // The folder at path, made with `rules` (AccessRules.h) if it is missing (its parent must exist). One
    // that exists already must pass the checks: a folder that others may change (someone else made it) is
    // moved aside under a name "<name>.untrusted-<8 hexadecimal digits>" and made afresh; a link, or what
    // is not at its own place, is refused and left as it is. False with the reason when no checked folder
    // could be had; *why also tells what was moved aside when the result is true.
    [[nodiscard]] bool Open(const std::wstring& path, const wchar_t* rules, std::wstring* why,
                            const Administrators& admins = Administrators::OfThisSystem());

    // A new folder below parent, named prefix + 8 hexadecimal digits, made with `rules` and checked. Removed
    // with its contents when this object goes.
    [[nodiscard]] bool MakeFresh(const AdminFolder& parent, std::wstring_view prefix, const wchar_t* rules,
                                 std::wstring* why,
                                 const Administrators& admins = Administrators::OfThisSystem());

    // A new file of that name (no folders) in the folder, for reading and writing through the returned handle
    // alone: created exclusively, nobody else may open it while the handle is held. Invalid with the reason
    // if the name is not a plain file name, the file exists, or it did not land where asked.
    [[nodiscard]] UniqueFileHandle NewFile(std::wstring_view name, std::wstring* why) const;

    // An existing plain file of that name in the folder, open for reading and execution and shared for
    // reading only: it cannot be changed, renamed or deleted while the handle is held.
    [[nodiscard]] UniqueFileHandle PinFile(std::wstring_view name, std::wstring* why) const;

    // The folder stays when this object goes (something started from it still runs); RemoveLeftovers takes
    // it at a later start.
    void Keep() noexcept { removeOnClose_ = false; }

    // Removes the folders below parent whose names start with prefix and that no one holds (a folder in use
    // has a handle without delete sharing on it, or is a running program's current folder). Links and what
    // does not pass the checks are left alone. Returns the number removed.
    static int RemoveLeftovers(const AdminFolder& parent, std::wstring_view prefix);

    [[nodiscard]] bool valid() const noexcept { return handle_.valid(); }
    // With a trailing backslash.
    [[nodiscard]] const std::wstring& Path() const noexcept { return path_; }

  private:
    enum class Verdict {
        kChecked,
        kNotThere,      // not a plain folder at its own place: a link, a file, or it cannot be opened
        kNotProtected,  // a plain folder that someone other than an administrator may change
    };
    // Opens the folder at path_ and checks it; unless it passes, the handle is closed and *why says what is
    // wrong.
    [[nodiscard]] Verdict Check(const Administrators& admins, std::wstring* why);
    // Opens or makes the file name (a plain file name) in the folder, without following a link, and checks it
    // by the handle.
    [[nodiscard]] UniqueFileHandle FileInside(std::wstring_view name, DWORD access, DWORD sharing,
                                              DWORD disposition, std::wstring* why) const;
    void Close() noexcept;

    UniqueFileHandle handle_;
    std::wstring path_;
    bool removeOnClose_ = false;
};
