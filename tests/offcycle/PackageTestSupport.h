#pragma once
// Helpers of the package cabinet and download tests: the signed test cabinets and the
// loopback web server the downloads are made from.

#include <set>
#include <string>

#include "common/LoopbackServer.h"

namespace octest {

// Windows path of the folder of test cabinets (tools/make-cabinets.sh), made on first use.
// Empty when they could not be made.
const std::string& CabinetFolder();

// Relative paths of every file under a folder, subfolders included ("x32\\helper.dll").
std::set<std::string> FilesUnder(const std::string& folder);

// A plain HTTP server on 127.0.0.1 (addresses by that number) serving the folder given
// (empty: its own empty folder), in the mode given.
twtest::LoopbackServer::Options PackageServer(const std::string& root, const std::string& mode = "serve");

}  // namespace octest
