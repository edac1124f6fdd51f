#include "protocol/sensor_wiring.h"

namespace vorkel {

void registerReplyOwners(ExchangeEngine& engine, const SensorReplyOwners& owners) {
    for (const CommandCode code : {CommandCode::CalibrateEmpty, CommandCode::CalibrateFull,
                                   CommandCode::WriteCalibration, CommandCode::ReadCalibration}) {
        engine.setReplyOwner(code, &owners.calibrationPoints);
    }
    // Points read for a backup file, and points written from one.
    engine.setReplyOwner(CommandCode::ReadCalibration, request_state::kCalibrationToFile,
                         &owners.calibrationBackup);
    engine.setReplyOwner(CommandCode::WriteCalibration, request_state::kCalibrationFromFile,
                         &owners.calibrationBackup);
    engine.setReplyOwner(CommandCode::ReadVersion, &owners.readings);
    engine.setReplyOwner(CommandCode::ReadLevel, &owners.readings);
    engine.setReplyOwner(CommandCode::WriteConfiguration, &owners.configuration);
    engine.setReplyOwner(CommandCode::ReadConfiguration, &owners.configuration);
}

void setSensorLineSettings(TComPort& port) {
    port.DataBits = 8;
    port.StopBits = sbONE;
    port.Parity = ptNONE;
    port.ReceiveMode = rmRAW;
    port.WinQSizeIn = 16;
    port.WinQSizeOut = 16;
}

void prepareSensorLine(TComPort& port, ExchangeEngine& engine) {
    setSensorLineSettings(port);
    port.ReceiveCallBack = [&engine](const ByteString& data) { engine.ReceiveData(data); };
}

} // namespace vorkel
