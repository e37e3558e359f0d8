#pragma once
// What the installer asks of the product's protected information: whether the
// product-information catalogue ("twm3t2.dat" in the common files folder) is loaded and
// which flavor names it knows, and which flavor an installation's flavor data file
// ("twf5a86r.dat" in the product folder) holds. The process-wide reader can be replaced.
// The data store only asks; the protected layer above answers, registered at start.

#include <cstddef>
#include <memory>

namespace tw {

class IProductInfoReader {
public:
    virtual ~IProductInfoReader() = default;

    // Loads the catalogue from folder; true when it is loaded.
    virtual bool LoadCatalogue(const char* folder) = 0;
    virtual bool IsCatalogueLoaded() const = 0;
    // Forgets the loaded catalogue.
    virtual void UnloadCatalogue() = 0;
    // True when the catalogue knows the flavor name (compared without regard to case).
    virtual bool IsKnownFlavor(const char* flavor) const = 0;

    // The flavor code held by the flavor data file at path (empty for an installation
    // without flavors), copied into flavor (capacity bytes, terminated). The last answer
    // is kept and given again unless reread is set. False when the file cannot be read.
    virtual bool ReadFlavorData(const char* path, bool reread, char* flavor, size_t capacity) = 0;
};

// The process-wide reader, made by the default factory on first use; while no factory is
// registered, a reader that knows nothing answers.
IProductInfoReader& ProductInfoReader();

// Replaces the process-wide reader; null puts the default reader back.
void SetProductInfoReader(std::unique_ptr<IProductInfoReader> reader);

// Registers the factory of the default reader (the program does so at start).
using ProductInfoReaderFactory = std::unique_ptr<IProductInfoReader> (*)();
void SetDefaultProductInfoReader(ProductInfoReaderFactory factory);

}  // namespace tw
