// Win32 binding of the serial port component: an exclusive overlapped handle, the device
// control block for the line, WaitCommEvent on the receive thread, a stop event to end it.
#include "transport/serial_device.h"
#include "transport/win32_text.h"

#include <atomic>
#include <list>
#include <mutex>
#include <string>
#include <vector>
#include <windows.h>

namespace vorkel {
namespace {

constexpr DWORD kEventMask = EV_RXCHAR | EV_CTS | EV_DSR | EV_RLSD | EV_ERR | EV_RING; // 0x1B9

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
        waitRecord_.hEvent = waitEvent_.get();
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

    DeviceEvent waitEvent() override {
        for (;;) {
            if (!deviceFailed_ && !waitPending_) {
                ::ResetEvent(waitEvent_.get());
                eventMask_ = 0;
                if (::WaitCommEvent(handle_, &eventMask_, &waitRecord_)) {
                    ::SetEvent(waitEvent_.get()); // finished at once
                } else if (::GetLastError() == ERROR_IO_PENDING) {
                    waitPending_ = true;
                } else {
                    return reportFailure();
                }
                modemStatus_ = 0;
                ::GetCommModemStatus(handle_, &modemStatus_);
            }
            const HANDLE handles[3] = {stopEvent_.get(), failureEvent_.get(), waitEvent_.get()};
            const DWORD count = deviceFailed_ ? 2 : 3;
            const DWORD which = ::WaitForMultipleObjects(count, handles, FALSE, INFINITE);
            if (which == WAIT_OBJECT_0) {
                // Setting the mask to 0 ends the pending wait; the record must not be reused
                // before the driver has finished with it.
                ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_LOWEST);
                ::SetCommMask(handle_, 0);
                if (waitPending_) {
                    DWORD ignored = 0;
                    ::GetOverlappedResult(handle_, &waitRecord_, &ignored, TRUE);
                    waitPending_ = false;
                }
                return DeviceEvent{true, 0, 0};
            }
            if (which == WAIT_OBJECT_0 + 1) {
                // A write failed on the owner's thread; the event wait stays pending.
                ::ResetEvent(failureEvent_.get());
                return DeviceEvent{false, EV_ERR, modemStatus_};
            }
            if (which != WAIT_OBJECT_0 + 2) {
                return reportFailure();
            }
            if (waitPending_) {
                DWORD ignored = 0;
                waitPending_ = false;
                if (!::GetOverlappedResult(handle_, &waitRecord_, &ignored, FALSE)) {
                    return reportFailure(); // the adapter was unplugged
                }
            }
            if (eventMask_ != 0) {
                return DeviceEvent{false, eventMask_, modemStatus_};
            }
        }
    }

    void interruptWait() override { ::SetEvent(stopEvent_.get()); }

    std::size_t takeErrorsAndQueued() override {
        DWORD errors = 0;
        COMSTAT status{};
        if (!::ClearCommError(handle_, &errors, &status)) {
            return 0;
        }
        return status.cbInQue;
    }

    ByteString read(std::size_t count) override {
        ByteString bytes(count);
        ManualEvent done(false);
        OVERLAPPED record{};
        record.hEvent = done.get();
        DWORD got = 0;
        if (!::ReadFile(handle_, bytes.data(), static_cast<DWORD>(count), &got, &record)) {
            if (::GetLastError() != ERROR_IO_PENDING ||
                !::GetOverlappedResult(handle_, &record, &got, TRUE)) {
                got = 0;
            }
        }
        bytes.resize(got);
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
    DeviceEvent reportFailure() {
        deviceFailed_ = true; // from now on only the stop event is waited for
        setErrorText(win32::systemErrorText(::GetLastError()));
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

    std::string port_;
    HANDLE handle_;
    ManualEvent stopEvent_{false};
    ManualEvent failureEvent_{false}; // a write failed
    ManualEvent waitEvent_{true};
    OVERLAPPED waitRecord_{};
    DWORD eventMask_ = 0;
    DWORD modemStatus_ = 0;
    bool waitPending_ = false;
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
    ::SetCommMask(handle, kEventMask);
    ::PurgeComm(handle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    ::EscapeCommFunction(handle, CLRDTR);
    ::EscapeCommFunction(handle, CLRRTS);
    return std::make_unique<Win32SerialDevice>(port, handle);
}

} // namespace vorkel
