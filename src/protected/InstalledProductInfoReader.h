#pragma once
// Answers the questions about the protected product information from what an installation
// keeps in the open: the catalogue counts as loaded when "twm3t2.dat" exists in its folder
// and knows the flavor codes of the product's edition table; a flavor data file names the
// flavor whose registered "Path" lies in the file's folder.

#include <memory>
#include <string>

#include "datastore/ProductInfoReader.h"

namespace tw {

class CInstalledProductInfoReader : public IProductInfoReader {
public:
    CInstalledProductInfoReader();
    ~CInstalledProductInfoReader() override;

    // The default reader's factory, registered with the data store at start.
    static std::unique_ptr<IProductInfoReader> Create();

    bool LoadCatalogue(const char* folder) override;
    bool IsCatalogueLoaded() const override;
    void UnloadCatalogue() override;
    bool IsKnownFlavor(const char* flavor) const override;
    bool ReadFlavorData(const char* path, bool reread, char* flavor, size_t capacity) override;

private:
    bool FindFlavorOfFolder(const std::string& folder, std::string& flavor) const;

    bool m_catalogueLoaded = false;
    bool m_haveFlavor = false;
    std::string m_flavorPath;
    std::string m_flavor;
};

}  // namespace tw
