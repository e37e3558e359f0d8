#include "config/ParserBase.h"

namespace tw {

CParserBase::~CParserBase() = default;

}  // namespace tw
