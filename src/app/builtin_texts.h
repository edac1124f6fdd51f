// The five texts that the program carries itself, in Russian, and shows in Russian whatever the
// chosen language (they do not go through the translation list).
#pragma once

#include <QString>

namespace vorkel::builtin {

inline const QString rsProgram_name = QStringLiteral("Конфигуратор ketrafo v1.8 CRC16");
inline const QString rsWarningTitle = QStringLiteral("Предупреждение");
inline const QString rsAwaitingFirmwareUpdate =
    QStringLiteral("Датчик ожидает прошивки!\r\nВы уверены?");
inline const QString rsEmptyAboveFull =
    QStringLiteral("Значение пустого больше полного!\r\nВы уверены?");
inline const QString rsNumberEntered = QStringLiteral("Введено: ");

} // namespace vorkel::builtin
