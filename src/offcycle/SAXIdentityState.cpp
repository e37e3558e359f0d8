#include "offcycle/SAXIdentityState.h"

namespace tw {
namespace Manifest {

HRESULT SAXIdentityState::startElement(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int, ISAXAttributes*) {
    return S_OK;
}

HRESULT SAXIdentityState::endElement(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int) { return S_OK; }

HRESULT SAXIdentityState::characters(const wchar_t*, int) { return S_OK; }

SAXIdentityState::~SAXIdentityState() = default;

}  // namespace Manifest
}  // namespace tw
