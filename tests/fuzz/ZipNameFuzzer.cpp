// Zip entry names as an archive stores them, through the name rules and the containment check: an accepted
// name holds no control or reserved character, no drive, no leading separator and no ".." component, lands
// inside the target folder, and passes the rules again unchanged.

#include "FuzzCheck.h"

#include "CanonicalPath.h"
#include "Text.h"
#include "update/ZipEntry.h"
#include "update/ZipEntryName.h"
#include "update/ZipTargetPath.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace {

const std::wstring kBase = L"C:\\Users\\someone\\AppData\\Local\\Kelvaro-DIG Files\\temp\\";

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

bool IsAsciiDevice(std::wstring_view component) {
    std::wstring stem(component.substr(0, component.find(L'.')));
    for (wchar_t& c : stem) {
        c = (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
    }
    return stem == L"CON" || stem == L"PRN" || stem == L"AUX" || stem == L"NUL" ||
           (stem.size() == 4 && (stem.starts_with(L"COM") || stem.starts_with(L"LPT")) && stem[3] >= L'1' &&
            stem[3] <= L'9');
}

void CheckAcceptedName(const std::wstring& name) {
    FUZZ_CHECK(name.empty() || !IsSeparator(name[0]));
    for (wchar_t c : name) {
        FUZZ_CHECK(c >= 0x20 && c != 0x7F && !(c >= 0x80 && c <= 0x9F));
        FUZZ_CHECK(std::wstring_view(L"<>:\"|?*").find(c) == std::wstring_view::npos);
    }
    std::wstring_view rest = name;
    while (!rest.empty()) {
        size_t end = 0;
        while (end < rest.size() && !IsSeparator(rest[end])) {
            ++end;
        }
        const std::wstring_view component = rest.substr(0, end);
        FUZZ_CHECK(component != L"..");
        if (!component.empty() && component != L".") {
            FUZZ_CHECK(component.back() != L'.' && component.back() != L' ');
            FUZZ_CHECK(!IsAsciiDevice(component));
        }
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
}

void CheckPlacement(const std::wstring& name) {
    const std::wstring full = host::CanonicalPath(kBase, name);
    std::wstring target;
    // As a folder it may name the target folder itself; as a file it must lie below it.
    const uint32_t folder = PlaceInside(kBase, full, true, &target);
    FUZZ_CHECK(folder == kZipEntryDone || folder == kZipEntryNameTooLong);
    const uint32_t file = PlaceInside(kBase, full, false, &target);
    if (file == kZipEntryUnsafeName) {
        FUZZ_CHECK(full.size() + 1 == kBase.size() || full == kBase);
        return;
    }
    FUZZ_CHECK(file == kZipEntryDone || file == kZipEntryNameTooLong);
    if (file == kZipEntryDone) {
        FUZZ_CHECK(target.size() > kBase.size() && target.compare(0, kBase.size(), kBase) == 0);
        FUZZ_CHECK(target.size() < MAX_PATH);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte is the entry's UTF-8 flag; the rest is the stored name.
    const bool utf8 = data[0] & 1;
    const std::string_view stored(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::wstring name;
    const uint32_t result = ConvertEntryName(stored, utf8, &name);
    FUZZ_CHECK(result == kZipEntryDone || result == kZipEntryUnsafeName || result == kZipEntryNameTooLong);
    FUZZ_CHECK(name.size() < kZipNameCapacity);
    if (result != kZipEntryDone) {
        return 0;
    }
    CheckAcceptedName(name);
    CheckPlacement(name);

    std::wstring again;
    FUZZ_CHECK(ConvertEntryName(Utf8FromWide(name), true, &again) == kZipEntryDone);
    FUZZ_CHECK(again == name);
    return 0;
}
