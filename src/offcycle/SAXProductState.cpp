#include "offcycle/SAXProductState.h"

namespace tw {
namespace Manifest {

HRESULT SAXProductState::startElement(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int, ISAXAttributes*) {
    return S_OK;
}

HRESULT SAXProductState::endElement(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int) { return S_OK; }

HRESULT SAXProductState::characters(const wchar_t*, int) { return S_OK; }

SAXProductState::~SAXProductState() = default;

}  // namespace Manifest
}  // namespace tw
