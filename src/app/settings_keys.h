// The names of the per-user settings values (registry values on Windows, INI keys elsewhere).
#pragma once

#include <QString>

namespace vorkel::settings_key {

// The settings live under the organisation "Ketrafo": HKCU\Software\Ketrafo,
// ~/.config/Ketrafo.conf.
inline const QString kOrganization = QStringLiteral("Ketrafo");

inline const QString kLanguage = QStringLiteral("language");
inline const QString kPort = QStringLiteral("port");
inline const QString kTab = QStringLiteral("tab");
inline const QString kFlashFileName = QStringLiteral("flashfilename");
inline const QString kShowLiters = QStringLiteral("showLiters");
inline const QString kWindowLeft = QStringLiteral("window.left");
inline const QString kWindowTop = QStringLiteral("window.top");
inline const QString kWindowWidth = QStringLiteral("window.width");
inline const QString kWindowHeight = QStringLiteral("window.height");
inline const QString kMultiplier = QStringLiteral("tk");
// The level filter's parameters: no control edits them, they can be tuned in the settings.
inline const QString kOutlierAllowance = QStringLiteral("ДопустимоеЧислоВыпадающихРезИзм");
inline const QString kStabilityTolerance = QStringLiteral("ДопустимоеОтклонение");
inline const QString kWindowLength = QStringLiteral("ЧислоУсреднЗначений");
inline const QString kJumpThreshold = QStringLiteral("ДопустимоеОтклонениеВыпадающеихИзмерений");

// Row n (from 1) of the litres table: its sensor value and its litres.
inline QString litersValue(int row) {
    return QStringLiteral("V,%1").arg(row);
}
inline QString litersLiters(int row) {
    return QStringLiteral("L,%1").arg(row);
}

} // namespace vorkel::settings_key
