#include "update/ExtractZip.h"

#include "update/ZipArchive.h"

namespace {

void UnpackAll(ZipArchive& zip, const std::wstring& target, std::vector<ZipEntryOutcome>* outcomes) {
    zip.SetBaseFolder(target);
    ZipEntry entry;
    zip.Describe(-1, &entry);
    const int count = entry.index;
    for (int index = 0; index < count; ++index) {
        uint32_t result = zip.Describe(index, &entry);
        if (result == kZipEntryDone) {
            result = zip.Unpack(index);
        }
        if (outcomes) {
            outcomes->push_back(
                {index, result == kZipEntryIndexOutOfRange ? std::wstring() : entry.name, result});
        }
    }
    zip.Close();
}

}  // namespace

bool ExtractZip(const std::wstring& archive, const std::wstring& target,
                std::vector<ZipEntryOutcome>* outcomes) {
    ZipArchive zip;
    if (!zip.Open(archive)) {
        return false;
    }
    UnpackAll(zip, target, outcomes);
    return true;
}

bool ExtractZip(HANDLE archive, const std::wstring& target, std::vector<ZipEntryOutcome>* outcomes) {
    ZipArchive zip;
    if (!zip.Open(archive)) {
        return false;
    }
    UnpackAll(zip, target, outcomes);
    return true;
}
