#include "offcycle/SAXProductNameState.h"

#include "offcycle/ManifestTable.h"
#include "offcycle/SAXContentHandlerImpl.h"

namespace tw {
namespace Manifest {

SAXProductNameState::SAXProductNameState(SAXContentHandlerImpl* handler) : m_handler(handler) {}

HRESULT SAXProductNameState::endElement(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int) {
    m_handler->GetTable()->productNames.push_back(m_text);
    return S_OK;
}

SAXProductNameState::~SAXProductNameState() = default;

}  // namespace Manifest
}  // namespace tw
