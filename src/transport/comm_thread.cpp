#include "transport/comm_thread.h"

#include <utility>

namespace vorkel {

TCommThread::TCommThread(std::unique_ptr<SerialDevice> device, MainThreadExecutor executor)
    : device_(std::move(device))
    , executor_(std::move(executor)) {}

TCommThread::~TCommThread() {
    // A thread that was never stopped must not outlive its object. (The thread itself never
    // holds the last reference: jobs do, and they run on the owner's thread.)
    if (thread_.joinable()) {
        stop();
    }
}

void TCommThread::start() {
    thread_ = std::thread([this] { run(); });
}

void TCommThread::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        if (handOver_ == HandOver::Queued) {
            handOver_ = HandOver::Cancelled; // the posted job will find this and do nothing
        }
    }
    changed_.notify_all();
    if (device_) {
        device_->interruptWait();
    }
    // The thread waits only for the device or for this object's state, and both have just been
    // told to stop, so the join cannot hang, even while a hand-over is still on our own stack.
    if (thread_.joinable()) {
        thread_.join();
    }
    onReceive = nullptr;
    onStatus = nullptr;
    device_.reset();
}

void TCommThread::run() {
    device_->prepareReceiveThread();
    for (;;) {
        const DeviceEvent event = device_->waitEvent();
        std::unique_lock lock(mutex_);
        if (stopping_ || event.stopped) {
            return;
        }
        const std::uint64_t generation = ++generation_;
        handOver_ = HandOver::Queued;
        lock.unlock();

        executor_([self = shared_from_this(), event, generation] {
            self->runHandOver(event, generation);
        });

        lock.lock();
        changed_.wait(lock, [this] {
            return stopping_ || handOver_ == HandOver::Done || handOver_ == HandOver::Cancelled;
        });
        if (stopping_) {
            return;
        }
    }
}

void TCommThread::runHandOver(const DeviceEvent& event, std::uint64_t generation) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_ || generation != generation_ || handOver_ != HandOver::Queued) {
            return;
        }
        handOver_ = HandOver::Running;
    }
    dispatch(event);
    {
        std::lock_guard lock(mutex_);
        if (generation == generation_ && handOver_ == HandOver::Running) {
            handOver_ = HandOver::Done;
        }
    }
    changed_.notify_all();
}

void TCommThread::dispatch(const DeviceEvent& event) {
    std::uint32_t mask = event.mask;
    const std::size_t waiting = device_->takeErrorsAndQueued();
    if (mask & device_event::kCharReceived) {
        mask &= ~device_event::kCharReceived;
        // Called through a copy: the callback may close the port, which clears onReceive.
        if (auto notify = onReceive) {
            notify(waiting);
        }
    }
    // A callback above may have stopped this thread and closed the device.
    if (stopping_ || mask == 0) {
        return;
    }
    if (auto notify = onStatus) {
        notify(mask, event.modemStatus);
    }
}

} // namespace vorkel
