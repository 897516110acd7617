#pragma once

// A file's name as the system spells it, in bytes, and as Qt does, in UTF-8.

#include <QFile>
#include <QString>
#include <filesystem>

namespace plaintrove::runtime {

inline std::filesystem::path systemPath(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

inline QString shownPath(const std::filesystem::path &path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

} // namespace plaintrove::runtime
