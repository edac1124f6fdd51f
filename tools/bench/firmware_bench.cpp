// A whole firmware update, 3072 blocks of one word, against the virtual sensor over a
// pseudo-terminal: the real ExchangeEngine, FirmwareTransfer and TComPort, with a test main loop
// in place of the Qt event loop. Once as fast as the pseudo-terminal goes, and once with the
// virtual sensor pacing the wire at 19200 baud in both directions (a request is taken when its
// eighth byte would have arrived; reply bytes leave one byte time apart).
//
// At 19200 baud the wire alone needs 3072 exchanges x 16 bytes x 10 bits / 19200 = 25.6 s; the
// counters say how much the paced update takes beyond that, and the configurator's part of it:
//   turnaround_s  per update, summed over the replies: from the receive thread handing over the
//                 chunk that completes a reply to the next block written (hand-over to the main
//                 thread, reading, reply assembly and handling, the write)
//   handling_s    per update, the time inside ExchangeEngine::ReceiveData, every chunk
// The rest is the kernel's and the virtual sensor's: waking the receive thread, the
// pseudo-terminal, and the sensor's own wake-ups.
//
// Twice more paced, with a USB adapter between sensor and computer that holds each reply back
// until its latency timer runs out: 16 ms (the common FTDI chips' default) and 1 ms (what
// low-latency mode sets). Every exchange waits for it once.
//   build/tools/firmware_bench
#include "firmware/firmware_transfer.h"
#include "protocol/com_port_adapter.h"
#include "protocol/exchange_engine.h"
#include "support/engine_fakes.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"
#include "support/test_main_loop.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <span>

namespace {

using namespace vorkel;
using Clock = std::chrono::steady_clock;

constexpr double kExchangesPerUpdate = kFirmwareImageSize / FirmwareTransfer::kWordSize;
constexpr double kBitsPerExchange = 2 * kFrameSize * 10; // request and reply, 10 bits a byte
constexpr double kWireSecondsPerUpdate = kExchangesPerUpdate * kBitsPerExchange / 19200;
constexpr auto kUpdateLimit = std::chrono::seconds(120);

// The port as the engine writes to it, counting the writes.
class CountingPort : public SensorPort {
public:
    explicit CountingPort(SensorPort& port)
        : port_(port) {}
    void setPort(const std::string& path) override { port_.setPort(path); }
    void setBaud(std::uint32_t baud) override { port_.setBaud(baud); }
    void open() override { port_.open(); }
    void close() override { port_.close(); }
    void write(std::span<const std::uint8_t> bytes) override {
        port_.write(bytes);
        ++writes;
    }
    std::uint64_t writes = 0; // touched on the main thread only

private:
    SensorPort& port_;
};

class SilentFirmwareView : public FirmwareView {
public:
    void showFirmwarePath(const std::filesystem::path&) override {}
    void enableConfigurationWrite(bool) override {}
    void showProgressBar() override {}
    void setProgress(std::uint32_t) override {}
};

ByteString randomImage() {
    std::mt19937 random(2024);
    ByteString image(kFirmwareImageSize);
    for (std::uint8_t& byte : image) {
        byte = static_cast<std::uint8_t>(random());
    }
    return image;
}

ByteString readAll(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return ByteString(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void updateFirmware(benchmark::State& state, bool paced, int holdBackMs = 0) {
    test::TempDir dir;
    std::filesystem::create_directories(dir / "run");
    const ByteString image = randomImage();
    std::ofstream(dir / "fw.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));

    // Stuck in its boot loader at first; after each update the sensor restarts at once into the
    // boot loader's window, where the next update's first block is welcome.
    std::vector<std::string> args{"--wander=0", "--bootloader", "--restart-ms=0",
                                  "--firmware-out=" + (dir / "flashed.bin").string()};
    if (paced) {
        args.push_back("--pace");
    }
    if (holdBackMs > 0) {
        args.push_back("--hold-back-ms=" + std::to_string(holdBackMs));
    }
    test::SimProcess sim(VORKEL_SENSOR_SIM_PATH, args, dir / "run");
    const std::string path = sim.readLine();

    test::TestMainLoop loop;
    Clock::duration turnaround{};
    std::uint64_t* writes = nullptr;
    // Times every hand-over from the moment the receive thread posts it; a job that ends with a
    // write is the one that completed a reply.
    MainThreadExecutor timedExecutor = [inner = loop.executor(), &turnaround,
                                        &writes](std::function<void()> job) {
        const Clock::time_point posted = Clock::now();
        inner([job = std::move(job), posted, &turnaround, &writes] {
            const std::uint64_t before = *writes;
            job();
            if (*writes != before) {
                turnaround += Clock::now() - posted;
            }
        });
    };
    TComPort port(timedExecutor);
    port.ReceiveMode = rmRAW;
    ComPortAdapter comPortAdapter(port);
    CountingPort adapter(comPortAdapter);
    writes = &adapter.writes;
    test::VirtualTime time; // the engine's timers never fire: every reply comes in time
    test::VirtualTime::Timer mainTimer(time);
    test::VirtualTime::Timer pollTimer(time);
    test::FakeView view;
    view.selectedIndex = 0;
    std::vector<std::string> log;
    int boxes = 0;
    ExchangeEngine engine(mainTimer, pollTimer, adapter, view,
                          EngineServices{test::englishText, [](const std::string&) {},
                                         [&](const std::string&) { ++boxes; }, [] { return 0u; }});
    SilentFirmwareView firmwareView;
    FirmwareTransfer transfer(
        engine, firmwareView,
        FirmwareServices{test::englishText, [&](const std::string& line) { log.push_back(line); },
                         [&](const std::string&) { ++boxes; }, [&](const std::string&) { ++boxes; },
                         [] { return std::nullopt; }, fillerSource(1)});
    transfer.restoreFirmwarePath(dir / "fw.bin");
    engine.setPortList({{"VSENSOR1", path}});
    Clock::duration handling{};
    port.ReceiveCallBack = [&](const ByteString& data) {
        const Clock::time_point start = Clock::now();
        engine.ReceiveData(data);
        handling += Clock::now() - start;
    };
    engine.start();

    Clock::duration total{};
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        engine.setAwaitingFirmware(true); // the first block goes out at once
        transfer.startflashButtonClick();
        const bool finished = loop.runUntil(
            [&] { return transfer.phase() == FirmwareTransfer::Phase::Idle; }, kUpdateLimit);
        total += Clock::now() - start;
        if (!finished || boxes != 0 || log.back() != "rsFirmwareUpdateSuccess" ||
            readAll(dir / "flashed.bin") != image) {
            state.SkipWithError("the update did not complete cleanly");
            break;
        }
    }
    const auto perUpdate = [&](Clock::duration sum) {
        return std::chrono::duration<double>(sum).count() / double(state.iterations());
    };
    state.counters["update_s"] = perUpdate(total);
    state.counters["handling_s"] = perUpdate(handling);
    state.counters["turnaround_s"] = perUpdate(turnaround);
    state.counters["us_per_exchange"] = perUpdate(total) / kExchangesPerUpdate * 1e6;
    if (paced) {
        state.counters["wire_s"] = kWireSecondsPerUpdate;
        state.counters["beyond_wire_s"] = perUpdate(total) - kWireSecondsPerUpdate;
    }
}

void BM_FirmwareUpdate(benchmark::State& state) {
    updateFirmware(state, false);
}
BENCHMARK(BM_FirmwareUpdate)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

void BM_FirmwareUpdatePacedAt19200Baud(benchmark::State& state) {
    updateFirmware(state, true);
}
BENCHMARK(BM_FirmwareUpdatePacedAt19200Baud)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

void BM_FirmwareUpdatePacedThroughAdapterHolding16ms(benchmark::State& state) {
    updateFirmware(state, true, 16);
}
BENCHMARK(BM_FirmwareUpdatePacedThroughAdapterHolding16ms)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

void BM_FirmwareUpdatePacedThroughAdapterHolding1ms(benchmark::State& state) {
    updateFirmware(state, true, 1);
}
BENCHMARK(BM_FirmwareUpdatePacedThroughAdapterHolding1ms)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

} // namespace

BENCHMARK_MAIN();
