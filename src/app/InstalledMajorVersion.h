#pragma once
// The installed major version, shared by initialisation and the patch run.

#include <string>

namespace tw {

// From Windows Installer's "VersionMajor" of the product when it is located by its code,
// else from the product executable's version resource (current when there is none).
int QueryInstalledMajorVersion(bool locateByProductCode, const std::string& productCode, int current);

}  // namespace tw
