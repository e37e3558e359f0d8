#pragma once
// The reader that answers while no product-information reader is registered: no catalogue,
// no flavor known, no flavor data readable.

#include "datastore/ProductInfoReader.h"

namespace tw {

class CNullProductInfoReader : public IProductInfoReader {
public:
    bool LoadCatalogue(const char* folder) override;
    bool IsCatalogueLoaded() const override;
    void UnloadCatalogue() override;
    bool IsKnownFlavor(const char* flavor) const override;
    bool ReadFlavorData(const char* path, bool reread, char* flavor, size_t capacity) override;
};

}  // namespace tw
