#include "config/ProductFolderCheck.h"

#include "common/TextUtil.h"
#include "config/GeneralUtil.h"

namespace tw {

CProductFolderCheck::Verdict CProductFolderCheck::Judge(const Facts& facts) {
    auto refuse = [](Outcome outcome, std::string reason) { return Verdict{outcome, std::move(reason)}; };
    if (!facts.given) return refuse(Outcome::kNotGiven, "no product folder is given with /P");
    const char* folder = facts.folder.c_str();
    if (!facts.folder.empty() && !facts.exists)
        return refuse(Outcome::kMissing, FormatString("the product folder %s does not exist", folder));
    if (!facts.folder.empty() && !facts.holdsProgram)
        return refuse(Outcome::kNoProgram, FormatString("the product folder %s holds no tww.exe", folder));
    if (!facts.enoughSpace)
        return refuse(
            Outcome::kLowDiskSpace,
            FormatString("the drive of %s has %llu MB free; the update asks for %ld MB", folder,
                         facts.freeBytes / GeneralUtil::kDiskSpaceUnitBytes, GeneralUtil::kRequiredDiskSpaceMB));
    if (facts.folder.empty()) return refuse(Outcome::kEmpty, "/P is followed by no folder");
    if (!facts.installedFolder.empty() && !GeneralUtil::IsSamePath(folder, facts.installedFolder.c_str()))
        return refuse(Outcome::kNotInstalledFolder,
                      FormatString("the product folder %s is not the installed product's folder %s", folder,
                                   facts.installedFolder.c_str()));
    return Verdict{};
}

}  // namespace tw
