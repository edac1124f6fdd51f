#include "protocol/exchange_ending_owner.h"

namespace vorkel {

std::uint8_t ExchangeEndingOwner::handleReply(const Frame& reply, std::uint8_t entryState) {
    namespace rs = request_state;
    switch (static_cast<CommandCode>(reply[frame_offset::kCode])) {
    case CommandCode::ReadConfiguration:
        if (entryState == rs::kFirmwareUpdate) {
            return rs::kFirmwareUpdate;
        }
        if (entryState == rs::kConfigurationWriteStep1) {
            return rs::kConfigurationWrite;
        }
        engine_.view().enableCommandControls(true);
        return rs::kIdle;
    case CommandCode::CalibrateEmpty:
    case CommandCode::CalibrateFull:
        return rs::kCalibration;
    case CommandCode::WriteCalibration:
    case CommandCode::ReadCalibration:
    case CommandCode::ReadLevel:
    case CommandCode::ReadVersion:
        engine_.view().enableCommandControls(true);
        return rs::kIdle;
    case CommandCode::FirmwareBlock:
        if (entryState != rs::kFirmwareUpdate) {
            engine_.view().enableCommandControls(true);
            engine_.view().enableStartFlash(true);
        }
        return rs::kIdle;
    case CommandCode::WriteConfiguration:
        return rs::kIdle;
    }
    return rs::kIdle;
}

} // namespace vorkel
