#pragma once
// Keeps the reader's runs of the installer's configuration code away from the user and the
// update folder: for its lifetime the patch log goes to a scratch folder of its own and no
// dialog can show; afterwards the platform seams and the patch log are as they were and the
// scratch folder is gone.

#include <string>

#include "common/PlatformSeams.h"

namespace twcheck {

class CReaderIsolation {
public:
    CReaderIsolation();
    ~CReaderIsolation();
    CReaderIsolation(const CReaderIsolation&) = delete;
    CReaderIsolation& operator=(const CReaderIsolation&) = delete;

    // The scratch folder (empty when none could be made; the log then stays unset).
    const std::string& Folder() const { return m_folder; }

private:
    std::string m_folder;
    tw::PlatformSeams m_seams;
};

}  // namespace twcheck
