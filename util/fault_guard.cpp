#include "util/fault_guard.h"

#include <setjmp.h>
#include <signal.h>

#include "util/debug_log.h"

struct CFaultGuard::SavedHandlers {
    struct sigaction segv;
    struct sigaction bus;
};

#ifndef KORVALO_NO_FAULT_GUARD

namespace {
// The jump target of the unit running on this thread, or null.
thread_local sigjmp_buf* t_pJumpTarget = nullptr;

void OnFault(int nSignal) {
    if (t_pJumpTarget != nullptr) siglongjmp(*t_pJumpTarget, 1);
    // No guarded unit on this thread: let the fault take its usual course.
    signal(nSignal, SIG_DFL);
    raise(nSignal);
}
}  // namespace

CFaultGuard::CFaultGuard(const char* szLogLine) : m_szLogLine(szLogLine), m_pSaved(new SavedHandlers) {
    struct sigaction action = {};
    action.sa_handler = OnFault;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_NODEFER;
    m_bInstalled = sigaction(SIGSEGV, &action, &m_pSaved->segv) == 0 &&
                   sigaction(SIGBUS, &action, &m_pSaved->bus) == 0;
}

CFaultGuard::~CFaultGuard() {
    if (m_bInstalled) {
        sigaction(SIGSEGV, &m_pSaved->segv, nullptr);
        sigaction(SIGBUS, &m_pSaved->bus, nullptr);
    }
    delete m_pSaved;
}

bool CFaultGuard::Run(void (*pfnUnit)(void* pParam), void* pParam) {
    if (!m_bInstalled) {
        pfnUnit(pParam);
        return true;
    }
    sigjmp_buf jumpTarget;
    sigjmp_buf* pOuter = t_pJumpTarget;
    // The handler runs with SA_NODEFER and an empty mask, so jumping out of it leaves the mask
    // as it was: no need to save it (that would cost a system call per unit).
    if (sigsetjmp(jumpTarget, 0) != 0) {
        t_pJumpTarget = pOuter;
        if (m_szLogLine != nullptr) DebugLog("%s", m_szLogLine);
        return false;
    }
    t_pJumpTarget = &jumpTarget;
    pfnUnit(pParam);
    t_pJumpTarget = pOuter;
    return true;
}

#else

CFaultGuard::CFaultGuard(const char* szLogLine) : m_szLogLine(szLogLine) {}
CFaultGuard::~CFaultGuard() {}
bool CFaultGuard::Run(void (*pfnUnit)(void* pParam), void* pParam) {
    (void)m_szLogLine;
    (void)m_bInstalled;
    (void)m_pSaved;
    pfnUnit(pParam);
    return true;
}

#endif
