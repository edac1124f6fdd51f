// The receive thread of TComPort. It only waits for device events; each event is handed to the
// owner's thread and the thread waits there until the owner has handled it, so the device is
// read, and every callback runs, on the owner's thread alone.
#pragma once

#include "transport/main_thread_executor.h"
#include "transport/serial_device.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace vorkel {

class TCommThread : public std::enable_shared_from_this<TCommThread> {
public:
    using ReceiveNotification = std::function<void(std::size_t waiting)>;
    using StatusNotification =
        std::function<void(std::uint32_t eventMask, std::uint32_t modemStatus)>;

    TCommThread(std::unique_ptr<SerialDevice> device, MainThreadExecutor executor);
    ~TCommThread();
    TCommThread(const TCommThread&) = delete;
    TCommThread& operator=(const TCommThread&) = delete;

    // Owner's thread only. Set while the port is open, cleared when it closes.
    ReceiveNotification onReceive;
    StatusNotification onStatus;

    void start();

    // Owner's thread: ends the thread and closes the device. Returns promptly also when an event
    // is being handed over at that moment, or when it is called from inside one of the
    // notifications (a callback that closes the port).
    void stop();

    SerialDevice& device() { return *device_; }

private:
    enum class HandOver { None, Queued, Running, Done, Cancelled };

    void run();
    void runHandOver(const DeviceEvent& event, std::uint64_t generation);
    void dispatch(const DeviceEvent& event);

    std::unique_ptr<SerialDevice> device_;
    MainThreadExecutor executor_;
    std::thread thread_;

    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    HandOver handOver_ = HandOver::None;
    std::uint64_t generation_ = 0; // tells a late job from the current one
};

} // namespace vorkel
