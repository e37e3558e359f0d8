#pragma once
// Creates the manifest parser's element states, one call per element kind. Every state it
// returns is new and owned by the caller.

namespace tw {
namespace Manifest {

class SAXContentHandlerImpl;
class SAXContentHandlerState;

class SAXContentHandlerStateFactory {
public:
    SAXContentHandlerStateFactory();
    virtual SAXContentHandlerState* CreateManifestState(SAXContentHandlerImpl* handler);
    virtual SAXContentHandlerState* CreateIdentityState(SAXContentHandlerImpl* handler);
    virtual SAXContentHandlerState* CreateTypeState(SAXContentHandlerImpl* handler);
    virtual SAXContentHandlerState* CreateVersionState(SAXContentHandlerImpl* handler);
    virtual SAXContentHandlerState* CreateChannelState(SAXContentHandlerImpl* handler);
    virtual SAXContentHandlerState* CreateProductState(SAXContentHandlerImpl* handler);
    virtual SAXContentHandlerState* CreateProductNameState(SAXContentHandlerImpl* handler);
    virtual SAXContentHandlerState* CreateProductVersionState(SAXContentHandlerImpl* handler);
    virtual SAXContentHandlerState* CreateItemState(SAXContentHandlerImpl* handler);
    virtual SAXContentHandlerState* CreateFileState(SAXContentHandlerImpl* handler);
    virtual SAXContentHandlerState* CreateFeatureState(SAXContentHandlerImpl* handler);
    virtual SAXContentHandlerState* CreateActionState(SAXContentHandlerImpl* handler);
    virtual SAXContentHandlerState* CreateUnexpectedState(SAXContentHandlerImpl* handler);
    virtual ~SAXContentHandlerStateFactory();
};

}  // namespace Manifest
}  // namespace tw
