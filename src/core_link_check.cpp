// Touches every entry point of the core so that the Windows build check links all of it.
#include "calibration/backup_file.h"
#include "calibration/liters_lookup.h"
#include "calibration/table_export.h"
#include "protocol/crc16.h"
#include "protocol/frame.h"
#include "transport/comport.h"
#include "transport/port_discovery.h"
#include "transport/port_watch.h"

#include <cstdio>

int main() {
    using namespace vorkel;
    const Frame poll = buildRequest(CommandCode::ReadLevel, FrameData{4, 0, 0, 0, 0});
    std::printf("%02X %04X %d\n", frameChecksum(poll), crc16(poll), signMagnitude(0x85));
    for (const PortEntry& port : discoverPorts()) {
        std::printf("%s %s\n", portDisplayText(port).c_str(), port.path.c_str());
    }
    PortWatch watch(PortWatch::systemFolders(userRuntimeDir()));
    std::printf("%d %d %d\n", watch.handle(), watch.takeChanges(), isPortChangeMessage(nullptr));
    (void)listComPorts();
    (void)listVirtualPorts(userRuntimeDir());
    (void)crc16OfFile("core_link_check.exe");
    // The calibration files go through std::filesystem paths, wide on Windows.
    const std::filesystem::path backup = exportPath("core_link_check", ExportFormat::WialonCsv);
    std::printf("%d %d %s %zu\n", writeBackupFile(backup, FrameData{}),
                readBackupFile(backup).has_value(),
                LitersLookup().litersText(0).value_or("-").c_str(),
                exportText(ExportFormat::OmnicommXml, {}, {}).size());
    std::filesystem::remove(backup);
    TComPort com([](std::function<void()> job) { job(); });
    try {
        com.setTerminator("#13#10");
        com.Open();
        com.Write(poll);
        com.Close();
    } catch (const EComError& error) {
        std::printf("%s\n", error.what());
    }
    return 0;
}
