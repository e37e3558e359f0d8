#include "offcycle/SAXContentHandlerState.h"

namespace tw {
namespace Manifest {

SAXContentHandlerState::~SAXContentHandlerState() = default;

}  // namespace Manifest
}  // namespace tw
