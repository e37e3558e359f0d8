#include "offcycle/ulip/UlipCopyBackPlan.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common/TextUtil.h"
#include "offcycle/WideText.h"
#include "offcycle/ulip/UlipPathRules.h"
#include "offcycle/ulip/UlipRestoreHelpers.h"

namespace tw {

using namespace ulip;

namespace {

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
std::string
Format(const char* format, ...) {
    char text[2048];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof(text), format, arguments);
    va_end(arguments);
    return text;
}

CCopyBackPlan::Line Log(const std::string& text) { return CCopyBackPlan::Line{false, text}; }

bool IsAcceptedBase(const std::wstring& base, bool folderSupport) {
    if (base == L"INSTALLDIR") return true;
    if (!folderSupport) return false;
    for (const char* accepted : kAcceptedBases)
        if (base == std::wstring(accepted, accepted + std::strlen(accepted))) return true;
    return false;
}

CCopyBackPlan::Step Skipped(CCopyBackPlan::Step step, const std::string& line) {
    step.lines.push_back(Log(line));
    step.action = CCopyBackPlan::Action::Skip;
    return step;
}

const char kCannotUse[] = "In COffCycleFileSelector::CopyOriginalFiles, destination %s cannot be used, skipped";

// A file of the product folder is copied back whenever its backup is sound.
CCopyBackPlan::Step PlanProductFile(CCopyBackPlan::Step step, const std::string& installDir) {
    const std::string& file = step.file;
    step.destination = installDir + "\\" + file;
    if (installDir.empty() || step.destination.size() > kPathLimit ||
        !CUlipPathRules::IsInsideFolder(installDir, step.destination))
        return Skipped(step, Format(kCannotUse, step.destination.c_str()));
    step.action = CCopyBackPlan::Action::Copy;
    return step;
}

// A common file is copied back only over an installed file of the same version.
CCopyBackPlan::Step PlanCommonFile(CCopyBackPlan::Step step, const std::string& folder,
                                   const CCopyBackPlan::Facts& facts) {
    const std::string& file = step.file;
    step.lines.push_back(Log("ULIP logic for common files..."));
    if (folder.empty()) {
        // Never made relative to the current folder.
        return Skipped(step, Format("In COffCycleFileSelector::CopyOriginalFiles, the common program folder for %s "
                                    "is not known, skipped",
                                    file.c_str()));
    }
    step.destination = folder + file;
    if (step.destination.size() > kPathLimit || !CUlipPathRules::IsInsideFolder(folder, step.destination))
        return Skipped(step, Format(kCannotUse, step.destination.c_str()));

    CCopyBackPlan::Version source = facts.version(step.backup);
    CCopyBackPlan::Version installed;
    if (source.read) installed = facts.version(step.destination);
    if (!source.read || !installed.read) {
        for (const auto* failed : {&source, &installed})
            step.lines.insert(step.lines.end(), failed->failure.begin(), failed->failure.end());
        return Skipped(step, "Couldn't read the file version(s), continuing with the next file");
    }
    step.lines.push_back(Log("pathSourceDLL:" + step.backup + ", pathDestDLL:" + step.destination));
    step.lines.push_back(
        Log(Format("dwFileMajorverSource:%d, dwFileMinorverSource:%d, dwFileMajorverDest:%d, "
                   "dwFileMinorverDest:%d",
                   static_cast<int>(source.first), static_cast<int>(source.third), static_cast<int>(installed.first),
                   static_cast<int>(installed.third))));
    step.action = source.first == installed.first && source.third == installed.third
                      ? CCopyBackPlan::Action::Copy
                      : CCopyBackPlan::Action::KeepInstalled;
    return step;
}

CCopyBackPlan::Step PlanItem(const Manifest::ManifestItem& item, const CCopyBackPlan::Inputs& in,
                             const CCopyBackPlan::Facts& facts) {
    CCopyBackPlan::Step step;
    if (!IsAcceptedBase(item.base, in.folderSupport)) return step;

    std::string& file = step.file;
    if (!ToNarrow(item.file, file) || file.size() > kFileTextLimit) {
        file.clear();
        return Skipped(step, Format("In COffCycleFileSelector::CopyOriginalFiles, file %s has no name of at most %u "
                                    "characters in the ANSI code page, skipped",
                                    LogText(item.file).c_str(), static_cast<unsigned>(kFileTextLimit)));
    }
    step.lines.push_back(Log("Processing: " + file));
    const std::string notInside =
        "In COffCycleFileSelector::CopyOriginalFiles, %s does not name a file inside its "
        "folder, skipped";
    if (!CUlipPathRules::IsSafeRelativePath(file)) return Skipped(step, Format(notInside.c_str(), file.c_str()));

    const bool is32Bit = IsOneOf(item.base, {L"CommonAppDataFolder32Bit", L"INSTALLDIR32BIT"});
    const std::string backupBase = is32Bit ? in.backupFolder + "x32\\" : in.backupFolder;
    std::string name = CUlipPathRules::NameOf(file);
    step.backup = backupBase + name;
    step.lines.push_back(Log("Trying backup file: " + step.backup));
    if (!facts.isVerifiedBackup(step.backup)) {
        step.lines.push_back(Log("File doesn't exist in backup folder. Trying again without slipstream information."));
        CUlipPathRules::CutExtension(file);
        name = CUlipPathRules::NameOf(file);
        step.backup = backupBase + name;
        step.lines.push_back(Log("Backup file (after removing slipstream): " + step.backup));
        // The cut may leave a name that is not safe on its own ("CON.dll.r5").
        if (!CUlipPathRules::IsSafeRelativePath(file)) return Skipped(step, Format(notInside.c_str(), file.c_str()));
    }
    if (step.backup.size() > kPathLimit || !CUlipPathRules::IsInsideFolder(in.backupFolder, step.backup))
        return Skipped(step, Format("In COffCycleFileSelector::CopyOriginalFiles, backup file %s cannot be used, "
                                    "skipped",
                                    step.backup.c_str()));
    // Only what the verified cabinet brought is ever copied.
    if (!facts.isVerifiedBackup(step.backup)) {
        step.action = CCopyBackPlan::Action::NoBackup;
        return step;
    }

    bool common = in.commonFiles && in.commonFiles->count(name) != 0;
    if (!common && in.folderSupport) common = IsOneOf(item.base, {L"CommonAppDataFolder32Bit", L"CommonAppDataFolder"});
    if (!common) return PlanProductFile(std::move(step), in.installDir);
    return PlanCommonFile(std::move(step), is32Bit ? in.commonFolder32 : in.commonFolder, facts);
}

}  // namespace

std::vector<CCopyBackPlan::Step> CCopyBackPlan::Make(const Inputs& inputs, const Facts& facts) {
    std::vector<Step> plan;
    if (!inputs.manifest) return plan;
    for (const auto& entry : inputs.manifest->items)
        if (entry.second) plan.push_back(PlanItem(*entry.second, inputs, facts));
    return plan;
}

CCopyBackPlan::Recovery CCopyBackPlan::AfterFailedReplace(bool destinationExists, bool previousExists) {
    if (!previousExists) return Recovery::Nothing;
    return destinationExists ? Recovery::KeepPrevious : Recovery::MoveBack;
}

CCopyBackPlan::Version CCopyBackPlan::ReadVersion(const std::string& path) {
    Version version;
    auto fail = [&version](const char* step) {
        const int error = static_cast<int>(::GetLastError());
        version.failure.push_back(Line{true, Format(step, error)});
        version.failure.push_back(
            Line{true, Format("Patch: Failed while reading File version of TWW32.exe :  %d", error)});
        ::SetLastError(static_cast<DWORD>(error));
        return version;
    };
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &handle);
    if (size == 0) return fail("Patch: Failed while reading GetFileVersionInfoSize TWW32.exe :  %d");
    std::vector<BYTE> buffer(static_cast<size_t>(size) + 1);
    if (!::GetFileVersionInfoA(path.c_str(), 0, size, buffer.data()))
        return fail("Patch: Failed while reading GetFileVersionInfo of TWW32.exe :  %d");
    void* block = nullptr;
    UINT length = 0;
    if (!::VerQueryValueA(buffer.data(), "\\", &block, &length) || !block || length < sizeof(VS_FIXEDFILEINFO))
        return fail("Patch: Failed while VerQueryValue for TWW32.exe :  %d");
    const VS_FIXEDFILEINFO* info = static_cast<const VS_FIXEDFILEINFO*>(block);
    version.read = true;
    version.first = HIWORD(info->dwFileVersionMS);
    version.third = HIWORD(info->dwFileVersionLS);
    return version;
}

}  // namespace tw
