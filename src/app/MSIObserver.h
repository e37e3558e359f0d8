#pragma once
// Receiver of the Windows Installer messages that the process-wide installer interface
// object forwards from its external UI handler.

#include <windows.h>

namespace tw {

class MSIObserver {
public:
    // One message: its kind and flags (the handler's message type) and its text. The result
    // is the handler's answer to Windows Installer.
    virtual int OnMsiMessage(UINT messageType, LPCSTR message) = 0;
    virtual ~MSIObserver() = default;
};

}  // namespace tw
