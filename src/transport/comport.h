// The serial port component: opens one serial device, sets its line, writes byte strings to it
// and hands every device event (received bytes, modem-line changes, line errors) to the owner's
// main thread, where the bytes are read and delivered.
//
// A receive thread (TCommThread) only waits for device events; each one is handed over
// synchronously through the executor the owner injects, so that every callback below runs on
// the owner's thread and nothing needs locking there.
#pragma once

#include "transport/byte_string.h"
#include "transport/main_thread_executor.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vorkel {

class TCommThread;
class SerialDevice;

// Every failure of the component that its caller must see.
class EComError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The ordinal values are those of the platform's line settings.
enum TParity : std::uint8_t { ptNONE = 0, ptODD = 1, ptEVEN = 2, ptMARK = 3, ptSPACE = 4 };
enum TStopBit : std::uint8_t { sbONE = 0, sbONE5 = 1, snTWO = 2 };
enum TReceiveMode : std::uint8_t {
    rmRAW = 0,  // every chunk as it was read
    rmTERM = 1, // one message at a time, each ending with the terminator
};

class TComPort;
using TNotifyEvent = std::function<void(TComPort& Sender)>;
using TReceiveProc = std::function<void(const ByteString& Data)>;
using TStatusChanged = std::function<void(bool Status)>;
// Opens the device for a port name; raises EComError when it cannot. The component uses the
// OS binding (SerialDevice::open) unless it is given another one, as tests give a fake device.
using SerialDeviceFactory = std::function<std::unique_ptr<SerialDevice>(const std::string& port)>;

class TComPort {
public:
    explicit TComPort(MainThreadExecutor executor, SerialDeviceFactory openDevice = {});
    ~TComPort(); // closes the port first
    TComPort(const TComPort&) = delete;
    TComPort& operator=(const TComPort&) = delete;

    // Properties. They take effect at the next Open.
    //
    // Port: on Windows a name without a backslash is opened as "\\.\" + name; elsewhere a name
    // without "/" is opened as "/dev/" + name. Any other name is opened as given.
    std::string Port = "COM1";
    std::uint32_t Baud = 9600;
    std::uint8_t DataBits = 8;
    TParity Parity = ptNONE;
    TStopBit StopBits = sbONE;
    std::uint32_t WinQSizeIn = 8192; // driver queue sizes: recommendations, where the OS has them
    std::uint32_t WinQSizeOut = 8192;
    TReceiveMode ReceiveMode = rmTERM;

    // The terminator for rmTERM in its text form: "#" and the decimal value of each byte,
    // "#13#10" for CR LF. A malformed text raises EComError (and leaves CR LF stored); an
    // empty one raises EComError too.
    std::string Terminator() const;
    void setTerminator(std::string_view text);

    // Events, all called on the owner's thread.
    TNotifyEvent OnPortOpen;
    TNotifyEvent OnPortClose;
    TReceiveProc ReceiveCallBack; // only while the port is open
    // Status is true when the line is off (its modem status bit is clear).
    TStatusChanged OnCTSChanged;
    TStatusChanged OnDSRChanged;
    TStatusChanged OnRingChanged;
    TStatusChanged OnRLSDChanged;
    // A line error, a write the device did not take, or the device went away (adapter
    // unplugged); lastErrorText() says which.
    TNotifyEvent OnError;

    // Opens the device and starts the receive thread; nothing if already open.
    // Raises EComError("TCOMPORT : cannot open " + Port + "\r" + the system's text).
    void Open();
    // Stops the receive thread and closes the device; nothing if not open. Safe to call from
    // inside one of the component's own callbacks.
    void Close();
    // Starts writing all bytes and returns; nothing happens while the port is closed.
    void Write(std::span<const std::uint8_t> data);

    bool isOpen() const { return open_; }
    // During and after OnError: the system's text for a failed write or a device that went
    // away; empty for an ordinary line error (framing, parity, overrun, break).
    const std::string& lastErrorText() const { return lastErrorText_; }

private:
    void receiveDispatch(std::size_t waiting);
    void statusDispatch(std::uint32_t eventMask, std::uint32_t modemStatus);
    void deliverTerminatedMessages();

    MainThreadExecutor executor_;
    SerialDeviceFactory openDevice_;
    bool open_ = false;
    std::string lastErrorText_;
    std::shared_ptr<TCommThread> thread_;
    ByteString terminator_{13, 10};
    ByteString accumulated_; // rmTERM bytes not yet delivered
    // Lets a dispatch that is still on the stack notice that a callback destroyed the component.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

} // namespace vorkel
