// Test programs that reach the data store register the product-information reader the
// program registers at start, before any test runs.
#include "datastore/ProductInfoReader.h"
#include "protected/InstalledProductInfoReader.h"

namespace {
const bool g_readerRegistered = (tw::SetDefaultProductInfoReader(&tw::CInstalledProductInfoReader::Create), true);
}
