#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

// The pause of a piece of work that one consumer thread does with helper threads beside it (a
// scan's thread and its hashing and listing workers). Pause holds everybody at the next gate:
// the consumer at its own gates, a helper before its next job or between the pieces of the job
// in hand (so after Pause no helper starts more than the piece it holds). Resume lets everybody
// go on where they stopped. While the stop test answers true no gate holds, and a helper's
// piece gate tells it to end its job.
//
// Suspended is true while paused and nothing moves: the consumer waits (at a gate or for a
// helper) and every helper is at a gate or between jobs. A consumer that waited for a helper
// passes its own gate before it goes on, so nothing it does is seen while Suspended holds.
//
// Threads: Pause, Resume, Wake and Suspended may be called from any thread. The consumer's
// calls belong to the consumer thread; BeginWork, EndWork and PieceGate to a helper thread,
// PieceGate only between its BeginWork and EndWork.
class TPauseGate {
public:
    // stopping: true when the work is to end; asked often and from every thread, so it must
    // be cheap and thread-safe. None: the work never stops this way.
    explicit TPauseGate(std::function<bool()> stopping = {});
    TPauseGate(const TPauseGate&) = delete;
    TPauseGate& operator=(const TPauseGate&) = delete;

    void Pause();
    void Resume();
    // Makes every wait look at the stop test and the cancel flags again; call it after either
    // changed.
    void Wake();
    bool PauseRequested() const { return FPaused.load(); }
    bool Suspended() const;

    // The consumer's gate: waits while paused and not stopping.
    void ConsumerGate();
    // While it lives, the consumer counts as waiting for a helper (held up, not moving).
    class TConsumerWait {
    public:
        explicit TConsumerWait(TPauseGate* gate);
        ~TConsumerWait();
        TConsumerWait(const TConsumerWait&) = delete;
        TConsumerWait& operator=(const TConsumerWait&) = delete;

    private:
        TPauseGate* FGate;
    };

    // A helper before a job: waits while paused and not stopping, then counts the helper as at
    // work until EndWork. False, and nothing counted, when cancelled is set (it is looked at
    // whenever the gate is woken): the job is not to be run.
    bool BeginWork(const std::atomic<bool>* cancelled = nullptr);
    void EndWork();
    // A helper between two pieces of its job: waits while paused (not counted as at work
    // meanwhile). False when the job is to end: the work is stopping or the job's cancel flag
    // (given to BeginWork) is set.
    bool PieceGate();

private:
    bool Stopping() const { return FStopping && FStopping(); }
    // Whether a gate holds now; FLock held.
    bool Holding() const { return FPaused.load() && !Stopping(); }

    std::function<bool()> FStopping;
    std::atomic<bool> FPaused {false};
    mutable std::mutex FLock;
    std::condition_variable FSignal;
    // Guarded by FLock: the consumer's waits (at its gate or for a helper), and the helpers at
    // work outside a gate.
    int FConsumerWaiting = 0;
    int FBusy = 0;
};
