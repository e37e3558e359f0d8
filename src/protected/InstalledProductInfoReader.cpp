#include "protected/InstalledProductInfoReader.h"

#include <windows.h>

#include <cstdlib>
#include <memory>

#include "common/FileSystem.h"
#include "common/PathUtil.h"
#include "common/TextUtil.h"
#include "datastore/AppParamUtility.h"
#include "datastore/NodeFactory.h"
#include "datastore/TWAppParameterNode.h"
#include "datastore/TWBranchNode.h"
#include "datastore/FlavorWalk.h"
#include "datastore/TWFlavorNode.h"
#include "datastore/TWVersionNode.h"

namespace tw {

namespace {

constexpr char kCatalogueFile[] = "twm3t2.dat";

}  // namespace

CInstalledProductInfoReader::CInstalledProductInfoReader() = default;
CInstalledProductInfoReader::~CInstalledProductInfoReader() = default;

std::unique_ptr<IProductInfoReader> CInstalledProductInfoReader::Create() {
    return std::make_unique<CInstalledProductInfoReader>();
}

bool CInstalledProductInfoReader::LoadCatalogue(const char* folder) {
    m_catalogueLoaded = false;
    if (!folder || !*folder) return false;
    const std::string path = JoinPath(folder, kCatalogueFile);
    m_catalogueLoaded = FileExists(path);
    return m_catalogueLoaded;
}

bool CInstalledProductInfoReader::IsCatalogueLoaded() const { return m_catalogueLoaded; }

void CInstalledProductInfoReader::UnloadCatalogue() { m_catalogueLoaded = false; }

bool CInstalledProductInfoReader::IsKnownFlavor(const char* flavor) const {
    return m_catalogueLoaded && CAppParamUtility::FindProductCode(flavor) != nullptr;
}

bool CInstalledProductInfoReader::ReadFlavorData(const char* path, bool reread, char* flavor, size_t capacity) {
    if (!path || !*path) return false;
    if (!reread && m_haveFlavor && _stricmp(m_flavorPath.c_str(), path) == 0) {
        SafeCopy(flavor, capacity, m_flavor.c_str());
        return true;
    }
    m_haveFlavor = false;
    if (!FileExists(path)) return false;
    std::string found;
    FindFlavorOfFolder(FolderOf(path), found);
    m_flavorPath = path;
    m_flavor = found;
    m_haveFlavor = true;
    SafeCopy(flavor, capacity, m_flavor.c_str());
    return true;
}

bool CInstalledProductInfoReader::FindFlavorOfFolder(const std::string& folder, std::string& flavor) const {
    if (folder.empty()) return false;
    const TWAccessMode views[] = {TWAccessMode::Read, TWAccessMode::Read32};
    for (TWAccessMode view : views) {
        std::unique_ptr<CTWAppParameterNode> root(NodeFactory::OpenBranchNode(TWDataBranch::Product, view, nullptr));
        auto* branch = dynamic_cast<CTWBranchNode*>(root.get());
        if (!branch) continue;
        char** versions = nullptr;
        DWORD versionCount = 0;
        if (branch->GetChildNodeNames(&versions, &versionCount) != kTWDataSuccess || !versions) continue;
        for (DWORD v = 0; v < versionCount; ++v) {
            int major = std::atoi(versions[v]);
            if (major < kFirstFlavorMajorVersion) continue;
            CTWVersionNode* opened = nullptr;
            if (branch->GetVersionNode(static_cast<unsigned>(major), view, &opened) != kTWDataSuccess) continue;
            std::unique_ptr<CTWVersionNode> version(opened);
            bool found = false;
            CFlavorWalk::Visit(
                *version, view, nullptr, [&](const std::string& name, CTWFlavorNode* node, long /*openResult*/) {
                    const char* productPath = nullptr;
                    if (!node || node->ReadValueData("Path", &productPath) != kTWDataSuccess || !productPath)
                        return true;
                    if (_stricmp(FolderOf(productPath).c_str(), folder.c_str()) != 0) return true;
                    flavor = name;
                    found = true;
                    return false;
                });
            if (found) return true;
        }
    }
    return false;
}

}  // namespace tw
