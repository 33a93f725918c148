#include "ui/job_reports.h"

void CJobReports::Reset(JOB_KIND eKind) {
    Flags(eKind).bStop = false;
    Flags(eKind).bDone = false;
}
