#include "protected/ProductInfoReader.h"

#include "protected/InstalledProductInfoReader.h"

namespace tw {

namespace {

std::unique_ptr<IProductInfoReader>& Holder() {
    static std::unique_ptr<IProductInfoReader> reader;
    return reader;
}

}  // namespace

IProductInfoReader& ProductInfoReader() {
    auto& reader = Holder();
    if (!reader) reader.reset(new CInstalledProductInfoReader());
    return *reader;
}

void SetProductInfoReader(std::unique_ptr<IProductInfoReader> reader) { Holder() = std::move(reader); }

}  // namespace tw
