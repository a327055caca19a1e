#include "update/UpdateJobLaunch.h"

#include "security/OpenedPath.h"

#include <vector>

namespace {

// A process attribute list that hands the new process these handles only.
class InheritedHandles {
  public:
    explicit InheritedHandles(std::initializer_list<HANDLE> handles) : handles_(handles) {
        SIZE_T size = 0;
        ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        storage_.resize(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
        if (size == 0 || !::InitializeProcThreadAttributeList(list, 1, 0, &size)) {
            return;
        }
        list_ = list;
        if (!::UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                         handles_.size() * sizeof(HANDLE), nullptr, nullptr)) {
            Release();
        }
    }
    ~InheritedHandles() { Release(); }
    InheritedHandles(const InheritedHandles&) = delete;
    InheritedHandles& operator=(const InheritedHandles&) = delete;

    [[nodiscard]] LPPROC_THREAD_ATTRIBUTE_LIST get() const noexcept { return list_; }

  private:
    void Release() noexcept {
        if (list_) {
            ::DeleteProcThreadAttributeList(list_);
            list_ = nullptr;
        }
    }

    std::vector<HANDLE> handles_;  // the list points into it until it is deleted
    std::vector<unsigned char> storage_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

std::wstring ErrorText(const wchar_t* what, DWORD error) {
    return std::wstring(what) + L" (error " + std::to_wstring(error) + L")";
}

}  // namespace

UniqueFileHandle PinUpdateJobProgram(const std::wstring& program, std::wstring* why) {
    UniqueFileHandle pinned = OpenWithoutFollowing(program, GENERIC_READ | GENERIC_EXECUTE, FILE_SHARE_READ);
    if (!pinned) {
        *why = ErrorText(L"it cannot be opened", ::GetLastError());
    } else if (std::wstring fault = OpenedObjectFault(pinned.get(), program, ObjectKind::kFile);
               !fault.empty()) {
        *why = std::move(fault);
        pinned.reset();
    }
    return pinned;
}

UniqueHandle StartUpdateJob(const std::wstring& program, const std::wstring& arguments, HANDLE output,
                            std::initializer_list<HANDLE> inherited, std::wstring* why) {
    // Held until the process runs.
    const UniqueFileHandle pinned = PinUpdateJobProgram(program, why);
    if (!pinned) {
        return UniqueHandle();
    }
    const InheritedHandles handles(inherited);
    if (!handles.get()) {
        *why = ErrorText(L"no list of the handles it may inherit", ::GetLastError());
        return UniqueHandle();
    }
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof(startup);
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdOutput = output;
    startup.lpAttributeList = handles.get();
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    const std::wstring folder = program.substr(0, program.find_last_of(L'\\') + 1);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                          EXTENDED_STARTUPINFO_PRESENT, nullptr, folder.c_str(), &startup.StartupInfo,
                          &process)) {
        *why = ErrorText(L"it did not start", ::GetLastError());
        return UniqueHandle();
    }
    const UniqueHandle thread(process.hThread);
    return UniqueHandle(process.hProcess);
}
