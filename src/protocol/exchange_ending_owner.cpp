#include "protocol/exchange_ending_owner.h"

namespace vorkel {

std::uint8_t ExchangeEndingOwner::handleReply(const Frame& reply, std::uint8_t entryState) {
    namespace rs = request_state;
    EngineView& view = engine_.view();
    switch (static_cast<CommandCode>(reply[frame_offset::kCode])) {
    case CommandCode::WriteConfiguration:
        // The sensor restarts after a configuration write; its owner keeps the controls off.
        return rs::kIdle;
    case CommandCode::ReadConfiguration:
        view.enableCommandControls(true);
        if (entryState == rs::kFirmwareUpdate) {
            engine_.enableStartFlash(true); // the transfer it would have started is not there
        }
        return rs::kIdle;
    case CommandCode::FirmwareBlock:
        view.enableCommandControls(true);
        engine_.enableStartFlash(true);
        return rs::kIdle;
    case CommandCode::CalibrateEmpty:
    case CommandCode::CalibrateFull:
    case CommandCode::WriteCalibration:
    case CommandCode::ReadCalibration:
    case CommandCode::ReadLevel:
    case CommandCode::ReadVersion:
        view.enableCommandControls(true);
        return rs::kIdle;
    }
    return rs::kIdle;
}

} // namespace vorkel
