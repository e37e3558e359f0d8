#include "offcycle/ulip/NetworkConnectivity.h"

#include <netlistmgr.h>

#include "common/Handles.h"

namespace tw {

namespace {

const CLSID kClsidNetworkListManager = {0xDCB00C01, 0x570F, 0x4A9B, {0x8D, 0x69, 0x19, 0x9F, 0xDB, 0xA5, 0x72, 0x3B}};
const IID kIidNetworkListManager = {0xDCB00000, 0x570F, 0x4A9B, {0x8D, 0x69, 0x19, 0x9F, 0xDB, 0xA5, 0x72, 0x3B}};

}  // namespace

HRESULT CNetworkConnectivity::Query(DWORD& flags) {
    flags = 0;
    ComInit com;  // its result is not needed: a failed initialisation fails the creation
    ComPtr<INetworkListManager> manager;
    HRESULT hr =
        ::CoCreateInstance(kClsidNetworkListManager, nullptr, CLSCTX_ALL, kIidNetworkListManager, manager.PutVoid());
    if (FAILED(hr)) return hr;
    NLM_CONNECTIVITY connectivity = NLM_CONNECTIVITY_DISCONNECTED;
    hr = manager->GetConnectivity(&connectivity);
    if (FAILED(hr)) return hr;
    flags = static_cast<DWORD>(connectivity);
    return S_OK;
}

}  // namespace tw
