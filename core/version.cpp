#include "core/version.h"

namespace qv {

const char* ProgramVersion() { return QUORVANE_VERSION; }

}  // namespace qv
