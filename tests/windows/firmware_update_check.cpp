// A whole firmware update through the serial binding of the system it runs on: the real
// ExchangeEngine, FirmwareTransfer and TComPort, a test main loop in place of Qt's. Built for
// Linux and for Windows; wine_serial_test runs both against the virtual sensor (under wine on a
// COM port mapped to its pseudo-terminal) and checks the image the sensor ends up with, and
// prints both times side by side. A firmware update is 3072 exchanges, each block sent from the
// handling of the previous reply, so the time is the binding's turnaround, not the wire's.
//   firmware_update_check <port> <image.bin>
// prints "updated <ms>" or "failed <why>" (exit status 1).
#include "firmware/firmware_transfer.h"
#include "protocol/com_port_adapter.h"
#include "protocol/exchange_engine.h"
#include "support/engine_fakes.h"
#include "support/test_main_loop.h"

#include <chrono>
#include <iostream>

namespace {

using namespace vorkel;

class SilentFirmwareView : public FirmwareView {
public:
    void showFirmwarePath(const std::filesystem::path&) override {}
    void enableConfigurationWrite(bool) override {}
    void showProgressBar() override {}
    void setProgress(std::uint32_t) override {}
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: firmware_update_check <port> <image.bin>\n";
        return 2;
    }
    test::TestMainLoop loop;
    TComPort port(loop.executor());
    port.ReceiveMode = rmRAW;
    ComPortAdapter adapter(port);
    test::VirtualTime time; // the engine's timers never fire: every reply comes in time
    test::VirtualTime::Timer mainTimer(time);
    test::VirtualTime::Timer pollTimer(time);
    test::FakeView view;
    view.selectedIndex = 0;
    std::string failure;
    ExchangeEngine engine(mainTimer, pollTimer, adapter, view,
                          EngineServices{test::englishText, [](const std::string&) {},
                                         [&](const std::string& text) { failure = text; },
                                         [] { return 0u; }});
    SilentFirmwareView firmwareView;
    std::string last;
    FirmwareTransfer transfer(engine, firmwareView,
                              FirmwareServices{test::englishText,
                                               [&](const std::string& line) { last = line; },
                                               [&](const std::string& text) { failure = text; },
                                               [&](const std::string& text) { failure = text; },
                                               [] { return std::nullopt; }, fillerSource(1)});
    transfer.restoreFirmwarePath(argv[2]);
    engine.setPortList({{"SENSOR", argv[1]}});
    port.ReceiveCallBack = [&](const ByteString& data) { engine.ReceiveData(data); };
    engine.start();

    const auto start = std::chrono::steady_clock::now();
    engine.setAwaitingFirmware(true); // a boot loader waits: the first block goes out at once
    transfer.startflashButtonClick();
    const bool finished = loop.runUntil(
        [&] { return transfer.phase() == FirmwareTransfer::Phase::Idle; }, std::chrono::minutes(6));
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    if (!finished || !failure.empty() || last != "rsFirmwareUpdateSuccess") {
        std::cout << "failed " << (finished ? failure + last : "the update did not end")
                  << std::endl;
        return 1;
    }
    std::cout << "updated " << took.count() << std::endl;
    return 0;
}
