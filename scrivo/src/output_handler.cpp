#include "scrivo/output_handler.hpp"

namespace scrivo
{

// Defined out of line so that the vtable has one home in the library.
OutputHandler::~OutputHandler() = default;

}  // namespace scrivo
