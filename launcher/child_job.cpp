#include "launcher/child_job.h"

// Never closed by the launcher: the system closes it when the process ends,
// however it ends, and that ends the child. Not inheritable, so no other
// process holds the job open.
static HANDLE child_job;

void hold_child_in_job(HANDLE process) {
  HANDLE job = CreateJobObjectW(/*lpJobAttributes=*/nullptr, /*lpName=*/nullptr);
  if (job == nullptr) return;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags =
      JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK;
  if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits) ||
      !AssignProcessToJobObject(job, process)) {
    CloseHandle(job);
    return;
  }
  child_job = job;
}
