#include "offcycle/SAXVersionState.h"

#include "offcycle/ManifestTable.h"
#include "offcycle/SAXContentHandlerImpl.h"

namespace tw {
namespace Manifest {

SAXVersionState::SAXVersionState(SAXContentHandlerImpl* handler) : m_handler(handler) {}

HRESULT SAXVersionState::endElement(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int) {
    m_handler->GetTable()->manifestVersion = m_value;
    return S_OK;
}

SAXVersionState::~SAXVersionState() = default;

}  // namespace Manifest
}  // namespace tw
