#include "offcycle/SAXContentHandlerStateFactory.h"

#include "offcycle/SAXActionState.h"
#include "offcycle/SAXChannelState.h"
#include "offcycle/SAXFeatureState.h"
#include "offcycle/SAXFileState.h"
#include "offcycle/SAXIdentityState.h"
#include "offcycle/SAXItemState.h"
#include "offcycle/SAXManifestState.h"
#include "offcycle/SAXProductNameState.h"
#include "offcycle/SAXProductState.h"
#include "offcycle/SAXProductVersionState.h"
#include "offcycle/SAXTypeState.h"
#include "offcycle/SAXVersionState.h"

namespace tw {
namespace Manifest {

namespace {

// The state of every element the grammar does not expect. It has no transitions, so the
// element's whole subtree is skipped.
class DefaultUnexpectedState : public SAXContentHandlerState {
public:
    HRESULT startElement(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int, ISAXAttributes*) override {
        return S_OK;
    }
    HRESULT endElement(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int) override { return S_OK; }
    HRESULT characters(const wchar_t*, int) override { return S_OK; }
    ~DefaultUnexpectedState() override = default;
};

}  // namespace

SAXContentHandlerStateFactory::SAXContentHandlerStateFactory() = default;
SAXContentHandlerStateFactory::~SAXContentHandlerStateFactory() = default;

SAXContentHandlerState* SAXContentHandlerStateFactory::CreateManifestState(SAXContentHandlerImpl*) {
    return new SAXManifestState();
}
SAXContentHandlerState* SAXContentHandlerStateFactory::CreateIdentityState(SAXContentHandlerImpl*) {
    return new SAXIdentityState();
}
SAXContentHandlerState* SAXContentHandlerStateFactory::CreateTypeState(SAXContentHandlerImpl* handler) {
    return new SAXTypeState(handler);
}
SAXContentHandlerState* SAXContentHandlerStateFactory::CreateVersionState(SAXContentHandlerImpl* handler) {
    return new SAXVersionState(handler);
}
SAXContentHandlerState* SAXContentHandlerStateFactory::CreateChannelState(SAXContentHandlerImpl* handler) {
    return new SAXChannelState(handler);
}
SAXContentHandlerState* SAXContentHandlerStateFactory::CreateProductState(SAXContentHandlerImpl*) {
    return new SAXProductState();
}
SAXContentHandlerState* SAXContentHandlerStateFactory::CreateProductNameState(SAXContentHandlerImpl* handler) {
    return new SAXProductNameState(handler);
}
SAXContentHandlerState* SAXContentHandlerStateFactory::CreateProductVersionState(SAXContentHandlerImpl* handler) {
    return new SAXProductVersionState(handler);
}
SAXContentHandlerState* SAXContentHandlerStateFactory::CreateItemState(SAXContentHandlerImpl* handler) {
    return new SAXItemState(handler);
}
SAXContentHandlerState* SAXContentHandlerStateFactory::CreateFileState(SAXContentHandlerImpl* handler) {
    return new SAXFileState(handler);
}
SAXContentHandlerState* SAXContentHandlerStateFactory::CreateFeatureState(SAXContentHandlerImpl* handler) {
    return new SAXFeatureState(handler);
}
SAXContentHandlerState* SAXContentHandlerStateFactory::CreateActionState(SAXContentHandlerImpl* handler) {
    return new SAXActionState(handler);
}
SAXContentHandlerState* SAXContentHandlerStateFactory::CreateUnexpectedState(SAXContentHandlerImpl*) {
    return new DefaultUnexpectedState();
}

}  // namespace Manifest
}  // namespace tw
