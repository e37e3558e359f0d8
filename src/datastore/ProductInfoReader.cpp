#include "datastore/ProductInfoReader.h"

#include "common/ProcessState.h"
#include "datastore/NullProductInfoReader.h"

namespace tw {

namespace {

std::unique_ptr<IProductInfoReader>& Holder() {
    static std::unique_ptr<IProductInfoReader> reader;
    return reader;
}

ProductInfoReaderFactory g_defaultFactory = nullptr;

// The reader in use goes; the default factory is the program's configuration and stays.
[[maybe_unused]] const bool g_resetRegistered =
    RegisterProcessStateReset(ProcessLayer::DataStore, [] { Holder().reset(); });

}  // namespace

IProductInfoReader& ProductInfoReader() {
    auto& reader = Holder();
    if (!reader && g_defaultFactory) reader = g_defaultFactory();
    if (reader) return *reader;
    // Not kept: a factory registered later still takes over.
    static CNullProductInfoReader none;
    return none;
}

void SetProductInfoReader(std::unique_ptr<IProductInfoReader> reader) { Holder() = std::move(reader); }

void SetDefaultProductInfoReader(ProductInfoReaderFactory factory) { g_defaultFactory = factory; }

}  // namespace tw
