#include "offcycle/SAXChannelState.h"

#include "offcycle/ManifestTable.h"
#include "offcycle/SAXContentHandlerImpl.h"

namespace tw {
namespace Manifest {

SAXChannelState::SAXChannelState(SAXContentHandlerImpl* handler) : m_handler(handler) {}

HRESULT SAXChannelState::endElement(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int) {
    m_handler->GetTable()->manifestChannel = m_text;
    return S_OK;
}

SAXChannelState::~SAXChannelState() = default;

}  // namespace Manifest
}  // namespace tw
