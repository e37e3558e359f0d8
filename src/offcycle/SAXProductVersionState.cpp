#include "offcycle/SAXProductVersionState.h"

#include "offcycle/ManifestTable.h"
#include "offcycle/SAXContentHandlerImpl.h"

namespace tw {
namespace Manifest {

SAXProductVersionState::SAXProductVersionState(SAXContentHandlerImpl* handler) : m_handler(handler) {}

HRESULT SAXProductVersionState::endElement(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int) {
    m_handler->GetTable()->productVersion = m_value;
    return S_OK;
}

SAXProductVersionState::~SAXProductVersionState() = default;

}  // namespace Manifest
}  // namespace tw
