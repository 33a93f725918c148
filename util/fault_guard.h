#pragma once
// Last-resort guard against a segmentation or bus fault inside one unit of work: the fault
// abandons that unit and the work goes on. The parsers are bounds-checked; this only keeps one
// unforeseen fault from ending a long scan.
//
// A jump out of a unit destroys nothing and finishes nothing, so a guarded unit must own no heap
// memory (it would leak) and change no state that outlives it (it would be left half-changed):
// guard pure tests that read their input and write only into the caller's plain storage, and run
// the work that allocates or changes engines outside the guard. The deep scan guards exactly the
// record tests that classify each sector of a chunk.
//
// The handlers are installed for the life of the guard and the previous ones restored after,
// so a fault outside a guarded unit still crashes the process as usual. One guarded unit at a
// time per thread; a fault on a thread without an active unit is not caught.
// Sanitizer and fuzz builds compile the guard out so the sanitizers see every fault.

class CFaultGuard {
public:
    // szLogLine is written to the debug sink whenever a fault abandons a unit.
    explicit CFaultGuard(const char* szLogLine);
    ~CFaultGuard();
    CFaultGuard(const CFaultGuard&) = delete;
    CFaultGuard& operator=(const CFaultGuard&) = delete;

    // Runs pfnUnit(pParam). Returns true when it ran to the end, false when a fault abandoned
    // it (objects on the abandoned frames are not destroyed: see above).
    bool Run(void (*pfnUnit)(void* pParam), void* pParam);

    // Runs any callable the same way.
    template <typename F>
    bool Run(F& unit) {
        return Run([](void* p) { (*static_cast<F*>(p))(); }, &unit);
    }

private:
    const char* m_szLogLine;
    bool m_bInstalled = false;
    struct SavedHandlers;
    SavedHandlers* m_pSaved = nullptr;
};
