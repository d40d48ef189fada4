#include "engine/PauseGate.h"

#include <utility>

namespace {

// The cancel flag of the job that the calling helper is doing, for its piece gates.
thread_local const std::atomic<bool>* JobCancelled = nullptr;

bool IsSet(const std::atomic<bool>* flag)
{
    return flag != nullptr && flag->load();
}

} // namespace

TPauseGate::TPauseGate(std::function<bool()> stopping)
    : FStopping(std::move(stopping))
{ }

void TPauseGate::Pause()
{
    std::lock_guard guard(FLock);
    FPaused = true;
}

void TPauseGate::Resume()
{
    {
        std::lock_guard guard(FLock);
        FPaused = false;
    }
    FSignal.notify_all();
}

void TPauseGate::Wake()
{
    // Taking the lock orders this after a waiter's look at the flags: the waiter either saw
    // the new values or is already waiting when the notification comes.
    {
        std::lock_guard guard(FLock);
    }
    FSignal.notify_all();
}

bool TPauseGate::Suspended() const
{
    std::lock_guard guard(FLock);
    return Holding() && FConsumerWaiting > 0 && FBusy == 0;
}

void TPauseGate::ConsumerGate()
{
    if (!FPaused.load()) {
        return;
    }
    std::unique_lock lock(FLock);
    if (!Holding()) {
        return;
    }
    ++FConsumerWaiting;
    FSignal.wait(lock, [this] { return !Holding(); });
    --FConsumerWaiting;
}

TPauseGate::TConsumerWait::TConsumerWait(TPauseGate* gate)
    : FGate(gate)
{
    if (FGate != nullptr) {
        std::lock_guard guard(FGate->FLock);
        ++FGate->FConsumerWaiting;
    }
}

TPauseGate::TConsumerWait::~TConsumerWait()
{
    if (FGate != nullptr) {
        std::lock_guard guard(FGate->FLock);
        --FGate->FConsumerWaiting;
    }
}

bool TPauseGate::BeginWork(const std::atomic<bool>* cancelled)
{
    std::unique_lock lock(FLock);
    FSignal.wait(lock, [this, cancelled] { return !Holding() || IsSet(cancelled); });
    if (IsSet(cancelled)) {
        return false;
    }
    ++FBusy;
    JobCancelled = cancelled;
    return true;
}

void TPauseGate::EndWork()
{
    JobCancelled = nullptr;
    std::lock_guard guard(FLock);
    --FBusy;
}

bool TPauseGate::PieceGate()
{
    const std::atomic<bool>* cancelled = JobCancelled;
    if (FPaused.load()) {
        std::unique_lock lock(FLock);
        if (Holding() && !IsSet(cancelled)) {
            --FBusy;
            FSignal.wait(lock, [this, cancelled] { return !Holding() || IsSet(cancelled); });
            ++FBusy;
        }
    }
    return !Stopping() && !IsSet(cancelled);
}
