#include "datastore/NullProductInfoReader.h"

#include "logging/StatusLogMgr.h"

namespace tw {

namespace {
constexpr char kNoReader[] = "No product-information reader is registered.";
}

bool CNullProductInfoReader::LoadCatalogue(const char*) {
    StatusLogMgr::LogStatus(kNoReader);
    return false;
}

bool CNullProductInfoReader::IsCatalogueLoaded() const { return false; }

void CNullProductInfoReader::UnloadCatalogue() {}

bool CNullProductInfoReader::IsKnownFlavor(const char*) const { return false; }

bool CNullProductInfoReader::ReadFlavorData(const char*, bool, char* flavor, size_t capacity) {
    if (flavor && capacity > 0) flavor[0] = '\0';
    StatusLogMgr::LogStatus(kNoReader);
    return false;
}

}  // namespace tw
