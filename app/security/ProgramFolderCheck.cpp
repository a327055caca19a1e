#include "security/ProgramFolderCheck.h"

#include "security/OpenedPath.h"

#include <algorithm>

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kExamineAccess = READ_CONTROL | FILE_READ_ATTRIBUTES;

class Walk {
  public:
    Walk(const Administrators& admins, int entryLimit) : admins_(admins), entryLimit_(entryLimit) {}

    // path: no trailing backslash. "" when it and everything below it are protected.
    std::wstring Below(const std::wstring& path, ObjectKind kind) {
        if (++entries_ > entryLimit_) {
            return path + L": more than " + std::to_wstring(entryLimit_) + L" entries to check";
        }
        const UniqueFileHandle object = OpenWithoutFollowing(path, kExamineAccess, kShareAll);
        if (!object) {
            return path + L" cannot be examined (error " + std::to_wstring(::GetLastError()) + L")";
        }
        if (std::wstring fault = OpenedObjectFault(object.get(), path, kind); !fault.empty()) {
            return path + L": " + fault;
        }
        if (std::wstring writer =
                NonAdministratorWith(ReadAccessRules(object.get()).get(), kChangeRights, admins_);
            !writer.empty()) {
            return path + L" can be changed by " + writer;
        }
        return kind == ObjectKind::kFolder ? Entries(path + L"\\") : std::wstring();
    }

  private:
    std::wstring Entries(const std::wstring& folder) {
        WIN32_FIND_DATAW found{};
        UniqueFind find(::FindFirstFileW((folder + L"*").c_str(), &found));
        if (!find) {
            return {};
        }
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            const ObjectKind kind =
                (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? ObjectKind::kFolder : ObjectKind::kFile;
            if (std::wstring fault = Below(folder + name, kind); !fault.empty()) {
                return fault;
            }
        } while (::FindNextFileW(find.get(), &found));
        return {};
    }

    const Administrators& admins_;
    const int entryLimit_;
    int entries_ = 0;
};

// "C:\" or "\\server\share": what path cannot go above.
size_t RootLength(const std::wstring& path) noexcept {
    if (path.starts_with(L"\\\\")) {
        size_t at = path.find(L'\\', 2);
        at = at == std::wstring::npos ? at : path.find(L'\\', at + 1);
        return at == std::wstring::npos ? path.size() : at;
    }
    return path.size() >= 3 && path[1] == L':' ? 3 : path.size();
}

// The folders above path, up to its root, through which someone could put another folder in its place.
std::wstring Above(const std::wstring& path, const Administrators& admins) {
    const size_t root = RootLength(path);
    std::wstring parent = path;
    while (parent.size() > root) {
        const size_t slash = parent.rfind(L'\\');
        if (slash == std::wstring::npos) {
            break;
        }
        parent.resize(std::max(slash, root));
        const UniqueFileHandle folder = OpenWithoutFollowing(parent, kExamineAccess, kShareAll);
        if (!folder) {
            return parent + L" cannot be examined (error " + std::to_wstring(::GetLastError()) + L")";
        }
        if (std::wstring writer =
                NonAdministratorWith(ReadAccessRules(folder.get()).get(), kReplaceRights, admins);
            !writer.empty()) {
            return parent + L" can be renamed or emptied by " + writer;
        }
    }
    return {};
}

}  // namespace

std::wstring UnprotectedProgramPart(const std::wstring& programFolder, const Administrators& admins,
                                    int entryLimit) {
    try {
        const std::wstring path = FullPathOf(programFolder);
        if (path.empty()) {
            return programFolder + L" has no full path";
        }
        if (std::wstring fault = Walk(admins, entryLimit).Below(path, ObjectKind::kFolder); !fault.empty()) {
            return fault;
        }
        return Above(path, admins);
    } catch (...) {
        return programFolder + L" could not be checked (out of memory)";
    }
}
