#pragma once
// Asks the Network List Manager how the machine is connected.

#include <windows.h>

namespace tw {

class CNetworkConnectivity {
public:
    // The connectivity flags (NLM_CONNECTIVITY_*). Fails when the manager cannot be created
    // or cannot answer; COM is initialised for the call and uninitialised after it.
    static HRESULT Query(DWORD& flags);
};

}  // namespace tw
