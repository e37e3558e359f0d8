#pragma once
// Parsing one manifest file with the MSXML SAX reader into a ManifestTable.

#include <windows.h>
#include <msxml2.h>

#include <memory>

#include "offcycle/SAXContentHandlerStateFactory.h"

namespace tw {
namespace Manifest {

class ManifestTable;

// Parses the file at path (read as text in the system's ANSI code page) into table with the
// given, initialised reader. The factory is created in factoryHolder on first use and kept
// there. Returns success, the first failure of the handlers or the reader, or the C runtime
// error of a file that cannot be examined as an HRESULT. The table keeps what was filled in
// before a failure.
HRESULT ParseManifestFile(std::unique_ptr<SAXContentHandlerStateFactory>& factoryHolder, ManifestTable& table,
                          const char* path, ISAXXMLReader* reader);

}  // namespace Manifest
}  // namespace tw
