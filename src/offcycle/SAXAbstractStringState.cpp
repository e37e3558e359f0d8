#include "offcycle/SAXAbstractStringState.h"

namespace tw {
namespace Manifest {

HRESULT SAXAbstractStringState::startElement(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int,
                                             ISAXAttributes*) {
    m_text.clear();
    return S_OK;
}

HRESULT SAXAbstractStringState::characters(const wchar_t* text, int textLength) {
    if (text && textLength > 0)
        m_text.assign(text, static_cast<size_t>(textLength));
    else
        m_text.clear();
    return S_OK;
}

SAXAbstractStringState::~SAXAbstractStringState() = default;

}  // namespace Manifest
}  // namespace tw
