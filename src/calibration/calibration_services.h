// What the calibration flows reach outside themselves: translated texts, the message boxes,
// the file dialogs, today's date and two values other subsystems show. The program fills these
// with Qt boxes and dialogs; tests fill them with answers given in advance.
#pragma once

#include "calibration/table_export.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vorkel {

// The export dialog's answer: the path and the format of the chosen filter entry.
struct ExportChoice {
    std::filesystem::path path;
    ExportFormat format = ExportFormat::VorkelTable;
};

struct CalibrationServices {
    std::function<std::string(std::string_view key)> translate; // getTranslation
    // Modal boxes; each may run a nested event loop.
    std::function<void(const std::string& text)> showErrorBox;
    std::function<void(const std::string& text)> showWarningBox;
    // An OK/Cancel question; true when the user chose OK.
    std::function<bool(const std::string& title, const std::string& text)> confirm;
    // The information box that closes itself after 1000 ms.
    std::function<void(const std::string& title, const std::string& text)>
        showSelfClosingInformation;

    // The backup file dialog, for saving and for loading; nothing when cancelled.
    std::function<std::optional<std::filesystem::path>()> chooseBackupSavePath;
    std::function<std::optional<std::filesystem::path>()> chooseBackupLoadPath;
    // The export dialog, with the proposed file name; it asks itself before replacing the file
    // the user chose.
    std::function<std::optional<ExportChoice>(const std::string& proposedName)> chooseExportPath;

    // For the export: today, the system's date separator ("/" when it has none), the caption of
    // the selected reading display and the averaging setting in seconds (0 when off).
    std::function<CalendarDate()> today;
    std::function<std::string()> dateSeparator;
    std::function<std::string()> selectedReadingText;
    std::function<int()> averagingSeconds;
};

} // namespace vorkel
