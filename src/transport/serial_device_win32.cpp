// Win32 binding of the serial port component: an exclusive overlapped handle, the device
// control block for the line, and on the receive thread an overlapped read for received bytes
// beside WaitCommEvent for modem lines and line errors, a stop event to end both.
#include "transport/serial_device.h"
#include "transport/win32_text.h"

#include <algorithm>
#include <atomic>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <vector>
#include <windows.h>

namespace vorkel {
namespace {

// Received bytes come from reads, not from WaitCommEvent: with EV_RXCHAR in the mask some
// drivers (wine's among them) end or refuse the wait, and the read is what every driver serves.
constexpr DWORD kEventMask = EV_CTS | EV_DSR | EV_RLSD | EV_ERR | EV_RING;

// A read returns as soon as it has a byte, with what is there by then; with nothing it waits at
// most the constant (Microsoft's documented combination: interval and multiplier both MAXDWORD).
// Not the constant MAXDWORD - 1, which one CH340 driver takes as "never wait".
constexpr COMMTIMEOUTS kReadTimeouts{MAXDWORD, MAXDWORD, 1000, 0, 0};

// Binary mode only: no parity checking, no flow control of any kind, DTR and RTS off.
void setBinaryModeOnly(DCB& dcb) {
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = FALSE;
}

class ManualEvent {
public:
    explicit ManualEvent(bool signalled)
        : handle_(::CreateEventW(nullptr, TRUE, signalled ? TRUE : FALSE, nullptr)) {}
    ~ManualEvent() {
        if (handle_ != nullptr) {
            ::CloseHandle(handle_);
        }
    }
    ManualEvent(const ManualEvent&) = delete;
    ManualEvent& operator=(const ManualEvent&) = delete;
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

// An overlapped write keeps its bytes and its record until the driver is done with them.
struct PendingWrite {
    std::vector<std::uint8_t> bytes;
    OVERLAPPED overlapped{};
    ManualEvent done{false};
};

class Win32SerialDevice final : public SerialDevice {
public:
    Win32SerialDevice(std::string port, HANDLE handle)
        : port_(std::move(port))
        , handle_(handle) {
        readRecord_.hEvent = readDone_.get();
        waitRecord_.hEvent = waitDone_.get();
    }

    ~Win32SerialDevice() override {
        ::CancelIoEx(handle_, nullptr);
        for (PendingWrite& write : writes_) {
            DWORD ignored = 0;
            ::GetOverlappedResult(handle_, &write.overlapped, &ignored, TRUE);
        }
        ::CloseHandle(handle_);
    }

    void configure(const LineSettings& settings) override {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        ::GetCommState(handle_, &dcb);
        dcb.BaudRate = settings.baud;
        dcb.ByteSize = settings.dataBits;
        dcb.Parity = static_cast<BYTE>(settings.parity);
        dcb.StopBits = static_cast<BYTE>(settings.stopBits);
        setBinaryModeOnly(dcb);
        if (!::SetCommState(handle_, &dcb)) {
            throw EComError(cannotOpenMessage(port_, win32::systemErrorText(::GetLastError())));
        }
        ::SetupComm(handle_, settings.inputQueue, settings.outputQueue);
    }

    void prepareReceiveThread() override {
        ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
    }

    // Two overlapped operations run side by side: a read that completes with the first bytes
    // to arrive, and, where the driver supports it, WaitCommEvent for the modem lines and line
    // errors. The stop event, a failed write and both completions end one wait.
    DeviceEvent waitEvent() override {
        for (;;) {
            if (!deviceFailed_) {
                if (const auto event = startLineWait()) {
                    return *event;
                }
                if (!readPending_ && !resting_) {
                    if (const auto event = startRead()) {
                        return *event;
                    }
                }
            }
            HANDLE handles[4] = {stopEvent_.get(), failureEvent_.get()};
            DWORD count = 2;
            const DWORD readSlot = readPending_ ? count++ : MAXDWORD;
            if (readPending_) {
                handles[readSlot] = readDone_.get();
            }
            const DWORD lineSlot = lineWaitPending_ ? count++ : MAXDWORD;
            if (lineWaitPending_) {
                handles[lineSlot] = waitDone_.get();
            }
            const DWORD which = ::WaitForMultipleObjects(
                count, handles, FALSE, resting_ && !deviceFailed_ ? backOff_ : INFINITE);
            if (which == WAIT_TIMEOUT) {
                resting_ = false; // time for the next read
                continue;
            }
            if (which == WAIT_OBJECT_0) {
                stopPendingOperations();
                return DeviceEvent{true, 0, 0};
            }
            if (which == WAIT_OBJECT_0 + 1) {
                // A write failed on the owner's thread; the other operations stay pending.
                ::ResetEvent(failureEvent_.get());
                return DeviceEvent{false, EV_ERR, modemStatus_};
            }
            if (which == WAIT_OBJECT_0 + readSlot) {
                if (const auto event = finishRead()) {
                    return *event;
                }
                continue;
            }
            if (which == WAIT_OBJECT_0 + lineSlot) {
                if (const auto event = finishLineWait()) {
                    return *event;
                }
                continue;
            }
            return reportFailure(::GetLastError());
        }
    }

    void interruptWait() override { ::SetEvent(stopEvent_.get()); }

    // The bytes that the receive thread's read took count as waiting too: they are delivered
    // first, then the rest of the driver's queue.
    std::size_t takeErrorsAndQueued() override {
        DWORD errors = 0;
        COMSTAT status{};
        if (!::ClearCommError(handle_, &errors, &status)) {
            return received_.size();
        }
        return received_.size() + status.cbInQue;
    }

    // Only called while the receive thread's read is not pending (between the event it
    // returned and the end of that event's hand-over), so the two never read at once.
    ByteString read(std::size_t count) override {
        ByteString bytes = std::move(received_);
        received_.clear();
        if (bytes.size() > count) {
            received_.assign(bytes.begin() + static_cast<std::ptrdiff_t>(count), bytes.end());
            bytes.resize(count);
        }
        if (bytes.size() < count) {
            // No more than the driver said it holds: a read of more than is waiting may not
            // return before its time-out on every driver (wine's waits for all of it).
            const ByteString rest = readQueued(count - bytes.size());
            bytes.insert(bytes.end(), rest.begin(), rest.end());
        }
        return bytes;
    }

    void write(std::span<const std::uint8_t> bytes) override {
        reapFinishedWrites();
        PendingWrite& write = writes_.emplace_back();
        write.bytes.assign(bytes.begin(), bytes.end());
        write.overlapped.hEvent = write.done.get();
        DWORD put = 0;
        if (::WriteFile(handle_, write.bytes.data(), static_cast<DWORD>(write.bytes.size()), &put,
                        &write.overlapped)) {
            writes_.pop_back(); // finished at once
        } else if (const DWORD error = ::GetLastError(); error != ERROR_IO_PENDING) {
            writes_.pop_back(); // failed: nothing stays in flight
            reportWriteFailure(error);
        }
    }

    std::string errorText() const override {
        std::lock_guard lock(errorMutex_);
        return errorText_;
    }

private:
    // Starts WaitCommEvent unless it is pending or the driver cannot serve it; an event that
    // is there at once is returned.
    std::optional<DeviceEvent> startLineWait() {
        if (!lineEventsSupported_ || lineWaitPending_) {
            return std::nullopt;
        }
        ::ResetEvent(waitDone_.get());
        eventMask_ = 0;
        if (::WaitCommEvent(handle_, &eventMask_, &waitRecord_)) {
            return lineEvent();
        }
        if (const DWORD error = ::GetLastError(); error != ERROR_IO_PENDING) {
            lineEventsUnavailable(error);
            return std::nullopt;
        }
        lineWaitPending_ = true;
        return std::nullopt;
    }

    std::optional<DeviceEvent> finishLineWait() {
        lineWaitPending_ = false;
        DWORD ignored = 0;
        if (!::GetOverlappedResult(handle_, &waitRecord_, &ignored, FALSE)) {
            lineEventsUnavailable(::GetLastError());
            return std::nullopt;
        }
        return lineEvent();
    }

    std::optional<DeviceEvent> lineEvent() {
        if (eventMask_ == 0) {
            // Ended without an event (some drivers do so when the device goes away, others
            // whenever the mask is touched): not waited for again, lest it spin.
            lineEventsUnavailable(ERROR_SUCCESS);
            return std::nullopt;
        }
        ::GetCommModemStatus(handle_, &modemStatus_);
        if (eventMask_ & EV_ERR) {
            setErrorText({}); // an ordinary line error: no system text
        }
        return DeviceEvent{false, eventMask_, modemStatus_};
    }

    // The driver has no modem-line or line-error events (wine on a pseudo-terminal answers
    // "not supported", some virtual COM drivers likewise). Received bytes do not depend on
    // them, so they are simply not reported; a device that went away shows on the read.
    void lineEventsUnavailable(DWORD /*error*/) { lineEventsSupported_ = false; }

    // Reads what is waiting, or else the first byte to arrive; the COMMTIMEOUTS set at open
    // make a read return as soon as it has anything.
    std::optional<DeviceEvent> startRead() {
        DWORD errors = 0;
        COMSTAT status{};
        ::ClearCommError(handle_, &errors, &status);
        readBuffer_.resize(std::clamp<std::size_t>(status.cbInQue, 1, kReadChunk));
        ::ResetEvent(readDone_.get());
        readStarted_ = ::GetTickCount64();
        DWORD got = 0;
        if (::ReadFile(handle_, readBuffer_.data(), static_cast<DWORD>(readBuffer_.size()), &got,
                       &readRecord_)) {
            return readFinished(got);
        }
        if (const DWORD error = ::GetLastError(); error != ERROR_IO_PENDING) {
            return reportFailure(error);
        }
        readPending_ = true;
        return std::nullopt;
    }

    std::optional<DeviceEvent> finishRead() {
        readPending_ = false;
        DWORD got = 0;
        if (!::GetOverlappedResult(handle_, &readRecord_, &got, FALSE)) {
            return reportFailure(::GetLastError()); // the adapter was unplugged
        }
        return readFinished(got);
    }

    std::optional<DeviceEvent> readFinished(DWORD got) {
        if (got > 0) {
            backOff_ = 0;
            received_.assign(readBuffer_.begin(), readBuffer_.begin() + got);
            return DeviceEvent{false, EV_RXCHAR, modemStatus_};
        }
        // The read's time-out passed with nothing received. A driver that ends such reads at
        // once instead of waiting (some treat these time-outs as "never wait") would make this
        // loop spin: pause before the next read, longer each time, up to a poll every 20 ms.
        if (::GetTickCount64() - readStarted_ < kReadTimeoutMs / 2) {
            backOff_ = std::min<DWORD>(backOff_ == 0 ? 1 : backOff_ * 2, kMaxBackOffMs);
            resting_ = true;
        } else {
            backOff_ = 0;
        }
        return std::nullopt;
    }

    // Owner's thread: reads exactly `count` bytes that the driver holds, bounded in time.
    ByteString readQueued(std::size_t count) {
        ByteString bytes(count);
        ManualEvent done(false);
        OVERLAPPED record{};
        record.hEvent = done.get();
        DWORD got = 0;
        if (!::ReadFile(handle_, bytes.data(), static_cast<DWORD>(count), &got, &record)) {
            got = 0;
            if (::GetLastError() == ERROR_IO_PENDING) {
                if (::WaitForSingleObject(done.get(), kQueuedReadLimitMs) != WAIT_OBJECT_0) {
                    ::CancelIoEx(handle_, &record);
                }
                if (!::GetOverlappedResult(handle_, &record, &got, TRUE)) {
                    got = 0;
                }
            }
        }
        bytes.resize(got);
        return bytes;
    }

    // Both operations end before their records go: the read is cancelled, the event wait ends
    // when its mask is cleared.
    void stopPendingOperations() {
        ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_LOWEST);
        DWORD ignored = 0;
        if (readPending_) {
            ::CancelIoEx(handle_, &readRecord_);
            ::GetOverlappedResult(handle_, &readRecord_, &ignored, TRUE);
            readPending_ = false;
        }
        if (lineWaitPending_) {
            ::SetCommMask(handle_, 0);
            ::CancelIoEx(handle_, &waitRecord_);
            ::GetOverlappedResult(handle_, &waitRecord_, &ignored, TRUE);
            lineWaitPending_ = false;
        }
    }

    // The device went away (or failed): reported once, then only the stop is waited for. The
    // event wait that may still be pending is left to the stop.
    DeviceEvent reportFailure(DWORD error) {
        deviceFailed_ = true;
        setErrorText(win32::systemErrorText(error));
        return DeviceEvent{false, EV_ERR, 0};
    }

    // Owner's thread: the receive thread reports it as a line-error event.
    void reportWriteFailure(DWORD error) {
        if (deviceFailed_) {
            return; // the device is gone and that was said once
        }
        setErrorText("cannot write: " + win32::systemErrorText(error));
        ::SetEvent(failureEvent_.get());
    }

    void setErrorText(std::string text) {
        std::lock_guard lock(errorMutex_);
        errorText_ = std::move(text);
    }

    void reapFinishedWrites() {
        writes_.remove_if([this](PendingWrite& write) {
            if (!HasOverlappedIoCompleted(&write.overlapped)) {
                return false;
            }
            DWORD put = 0;
            if (!::GetOverlappedResult(handle_, &write.overlapped, &put, FALSE)) {
                reportWriteFailure(::GetLastError());
            }
            return true;
        });
    }

    static constexpr std::size_t kReadChunk = 4096;
    static constexpr ULONGLONG kReadTimeoutMs = kReadTimeouts.ReadTotalTimeoutConstant;
    static constexpr DWORD kMaxBackOffMs = 20;
    static constexpr DWORD kQueuedReadLimitMs = 200;

    std::string port_;
    HANDLE handle_;
    ManualEvent stopEvent_{false};
    ManualEvent failureEvent_{false}; // a write failed
    // The receive thread's read.
    ManualEvent readDone_{false};
    OVERLAPPED readRecord_{};
    ByteString readBuffer_;
    bool readPending_ = false;
    ULONGLONG readStarted_ = 0;
    DWORD backOff_ = 0;    // the pause after a read that ended at once with nothing, in ms
    bool resting_ = false; // in that pause: no read pending
    ByteString received_;  // read by the receive thread, not yet taken by the owner
    // The event wait for modem lines and line errors.
    ManualEvent waitDone_{false};
    OVERLAPPED waitRecord_{};
    DWORD eventMask_ = 0;
    DWORD modemStatus_ = 0;
    bool lineWaitPending_ = false;
    bool lineEventsSupported_ = true;
    std::atomic<bool> deviceFailed_{false}; // set by the receive thread, read by writes
    std::list<PendingWrite> writes_;
    mutable std::mutex errorMutex_;
    std::string errorText_;
};

} // namespace

std::unique_ptr<SerialDevice> SerialDevice::open(const std::string& port) {
    const std::string path = port.find('\\') == std::string::npos ? R"(\\.\)" + port : port;
    const HANDLE handle = ::CreateFileW(win32::widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        throw EComError(cannotOpenMessage(port, win32::systemErrorText(::GetLastError())));
    }
    // Interim line settings until Open applies the real ones.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ::GetCommState(handle, &dcb);
    dcb.BaudRate = CBR_9600;
    dcb.ByteSize = 8;
    dcb.Parity = EVENPARITY;
    dcb.StopBits = ONESTOPBIT;
    setBinaryModeOnly(dcb);
    ::SetupComm(handle, 512, 512);
    ::SetCommState(handle, &dcb);
    COMMTIMEOUTS timeouts = kReadTimeouts;
    ::SetCommTimeouts(handle, &timeouts);
    ::SetCommMask(handle, kEventMask);
    ::PurgeComm(handle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    ::EscapeCommFunction(handle, CLRDTR);
    ::EscapeCommFunction(handle, CLRRTS);
    return std::make_unique<Win32SerialDevice>(port, handle);
}

} // namespace vorkel
