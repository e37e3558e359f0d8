#pragma once
// Windows Installer settings of patch.ini (the MSI section), with their defaults.

#include <string>

namespace tw {

struct MsiSettings {
    std::string productCodeStandard = "Error! no standard product code.";
    std::string productCodeEnterprise = "Error! no enterprise product code.";
    std::string productCode;
    std::string reinstall = "ALL";
    std::string reinstallMode = "omus";
    std::string cmdOptions;
    int logInfoMsg = 0;
    int logProgressMsg = 0;
    bool saveTempFiles = false;
    int loggingMode = 8159;
    bool loggingEnable = false;
};

}  // namespace tw
