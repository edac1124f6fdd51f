// A pseudo-terminal pair: the slave side is a real serial device to the kernel's tty layer,
// so the serial component opens it like a USB adapter; the test plays the far end on the
// master side.
#pragma once

#include "transport/byte_string.h"

#include <chrono>
#include <string>
#include <termios.h>

namespace vorkel::test {

class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& path() const { return path_; }

    // The far end: what it sends arrives at the component, what the component writes arrives here.
    void send(const ByteString& bytes);
    // Reads until `count` bytes have come or `limit` has passed.
    ByteString receive(std::size_t count,
                       std::chrono::milliseconds limit = std::chrono::seconds(2));
    // Everything the component wrote that has arrived within `quiet` of silence.
    ByteString drain(std::chrono::milliseconds quiet = std::chrono::milliseconds(50));

    // The line settings of the device, as the component left them.
    termios settings() const;
    // Whether the device is opened exclusively (TIOCEXCL): nobody but root may open it then.
    bool exclusive() const;

    // Hangs up the line: closes the master and the observer, the device then goes away.
    void hangUp();

private:
    int master_ = -1;
    int observer_ = -1; // a slave descriptor of our own: keeps the settings readable
    std::string path_;
};

} // namespace vorkel::test
