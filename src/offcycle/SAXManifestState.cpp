#include "offcycle/SAXManifestState.h"

namespace tw {
namespace Manifest {

HRESULT SAXManifestState::startElement(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int, ISAXAttributes*) {
    return S_OK;
}

HRESULT SAXManifestState::endElement(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int) { return S_OK; }

HRESULT SAXManifestState::characters(const wchar_t*, int) { return S_OK; }

SAXManifestState::~SAXManifestState() = default;

}  // namespace Manifest
}  // namespace tw
