#pragma once

// Rules that let everyone change a file or folder. Wine keeps no rules on files, but makes this one into a
// mode that lets others write, and reports that back as "Everyone may change it": a real case of a file
// others can change, on the test machine too.

#include "security/AccessRules.h"

#include <windows.h>
#include <aclapi.h>

#include <string>

namespace testing_support {

inline bool LetEveryoneChange(const std::wstring& path) {
    const UniqueLocalMemory rules = DescriptorFromRules(L"D:(A;OICI;FA;;;WD)");
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    return rules && ::GetSecurityDescriptorDacl(rules.get(), &present, &dacl, &defaulted) &&
           ::SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT,
                                   DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl,
                                   nullptr) == ERROR_SUCCESS;
}

}  // namespace testing_support
