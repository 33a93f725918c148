// Linked into a copy of the command line that scans without the fast engines, so the fast pass
// can be measured against a sweep of the whole area.
#include "session/recovery_factory.h"

namespace {
const bool g_bFastEnginesOff = (CFileRecoveryFactory::SetFastEnginesEnabled(false), true);
}  // namespace
