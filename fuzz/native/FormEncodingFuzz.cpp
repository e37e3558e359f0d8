// libFuzzer target (Linux, clang): the form value encoder and the text utilities, which
// need no Windows headers. Beyond memory safety it checks what the encoding promises: an
// encoded value never carries a raw "&", "=" or blank (a blank is encoded as "+").
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/TextUtil.h"
#include "logging/FormEncoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string value = tw::FormEncoding::EncodeValue(text);
    if (value.find_first_of("&= ") != std::string::npos) std::abort();
    tw::FormEncoding::EncodeQuotedValue(text);
    tw::FormEncoding::EncodeFieldList(text);

    char small[16];
    const std::string cString(text.c_str());
    if (tw::SafeCopy(small, cString.c_str()) != (cString.size() < sizeof(small))) std::abort();
    tw::SafeAppend(small, cString.c_str());
    tw::SafeFormat(small, sizeof(small), "%s|%s", cString.c_str(), cString.c_str());
    tw::SplitLines(text);
    return 0;
}
