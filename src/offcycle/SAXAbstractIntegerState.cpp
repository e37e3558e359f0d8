#include "offcycle/SAXAbstractIntegerState.h"

#include <sstream>
#include <string>

namespace tw {
namespace Manifest {

HRESULT SAXAbstractIntegerState::startElement(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int,
                                              ISAXAttributes*) {
    m_value = 0;
    return S_OK;
}

HRESULT SAXAbstractIntegerState::characters(const wchar_t* text, int textLength) {
    // Stream extraction: leading blanks skipped, optional sign, stops at the first character
    // that cannot continue the number; no number gives 0, out of range gives the nearest limit.
    std::wistringstream stream(text && textLength > 0 ? std::wstring(text, static_cast<size_t>(textLength))
                                                      : std::wstring());
    int value = 0;
    stream >> value;
    m_value = value;
    return S_OK;
}

SAXAbstractIntegerState::~SAXAbstractIntegerState() = default;

}  // namespace Manifest
}  // namespace tw
