// File paths and Qt's texts, converted both ways without exceptions. A path need not be valid
// text (a Linux file name is any bytes: a folder named in Latin-1 under a UTF-8 system), and a
// QString need not be valid UTF-16 (a stored setting may hold half of a surrogate pair); the
// standard library's conversions throw on both. Qt's own file-name encoding is used instead,
// which puts a replacement character where the text is invalid. On Windows a path is the wide
// text itself (through a std::string it would be read in the ANSI code page).
#pragma once

#include <filesystem>
#include <string>

#include <QByteArray>
#include <QFile>
#include <QString>

namespace vorkel {

inline std::filesystem::path pathFromText(const QString& text) {
#if defined(_WIN32)
    return std::filesystem::path(text.toStdWString());
#else
    const QByteArray bytes = QFile::encodeName(text);
    return std::filesystem::path(
        std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())));
#endif
}

inline QString textFromPath(const std::filesystem::path& path) {
#if defined(_WIN32)
    return QString::fromStdWString(path.native());
#else
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
#endif
}

} // namespace vorkel
