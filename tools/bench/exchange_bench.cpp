// Exchanges per second between the exchange engine and the virtual sensor over a
// pseudo-terminal, without wire pacing: the configurator's own cost per request and reply
// (serial component, hand-over to the main thread, reply handling, the next request sent from
// the reply handler as firmware blocks are). A firmware update is 3072 such exchanges.
//   build/tools/exchange_bench
#include "protocol/com_port_adapter.h"
#include "protocol/exchange_engine.h"
#include "support/engine_fakes.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"
#include "support/test_main_loop.h"

#include <benchmark/benchmark.h>
#include <filesystem>

namespace {

using namespace vorkel;
constexpr int kExchangesPerUpdate = 3072;

// Sends the next request straight from the handling of each reply, until none remain.
class ChainedRequests : public ReplyOwner {
public:
    explicit ChainedRequests(ExchangeEngine& engine)
        : engine_(engine) {}

    void start(int count) {
        remaining = count;
        send();
    }
    std::uint8_t handleReply(const Frame&, std::uint8_t) override {
        if (--remaining > 0) {
            send();
            return request_state::kFirmwareUpdate;
        }
        return request_state::kIdle;
    }

    int remaining = 0;

private:
    void send() {
        // The request state of a firmware transfer: nothing is logged, as in a real update.
        engine_.SendCommand(CommandCode::ReadVersion, FrameData{}, request_state::kFirmwareUpdate);
    }
    ExchangeEngine& engine_;
};

void BM_ExchangesWithTheVirtualSensor(benchmark::State& state) {
    test::TempDir dir;
    std::filesystem::create_directories(dir / "run");
    test::SimProcess sim(VORKEL_SENSOR_SIM_PATH, {"--wander", "0"}, dir / "run");
    const std::string path = sim.readLine();

    test::TestMainLoop loop;
    TComPort port(loop.executor());
    port.ReceiveMode = rmRAW;
    ComPortAdapter adapter(port);
    test::VirtualTime time; // the engine's timers never fire here: every reply comes in time
    test::VirtualTime::Timer mainTimer(time);
    test::VirtualTime::Timer pollTimer(time);
    test::FakeView view;
    view.selectedIndex = 0;
    ExchangeEngine engine(mainTimer, pollTimer, adapter, view,
                          EngineServices{test::englishText, [](const std::string&) {},
                                         [](const std::string&) {}, [] { return 0u; }});
    ChainedRequests chain(engine);
    engine.setReplyOwner(CommandCode::ReadVersion, &chain);
    engine.setPortList({{"VSENSOR1", path}});
    port.ReceiveCallBack = [&](const ByteString& data) { engine.ReceiveData(data); };
    engine.start();

    for (auto _ : state) {
        chain.start(kExchangesPerUpdate);
        if (!loop.runUntil([&] { return chain.remaining == 0; }, std::chrono::seconds(60))) {
            state.SkipWithError("the virtual sensor stopped answering");
            break;
        }
    }
    state.counters["exchanges_per_second"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kExchangesPerUpdate, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ExchangesWithTheVirtualSensor)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
