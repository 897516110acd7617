#include "Identity.h"

#include <QString>
#include <array>

namespace plaintrove::identity {

namespace {

// Every rendering of the icon; QIcon picks the nearest for each use, the 32 px one being the
// 16-colour original.
constexpr std::array iconSizes { 16, 32, 48, 64, 128, 256 };

} // namespace

QIcon programIcon()
{
    QIcon icon;
    for (const int size : iconSizes)
        icon.addFile(QStringLiteral(":/identity/icon-%1.png").arg(size), QSize(size, size));
    return icon;
}

QPixmap logoPicture()
{
    // A JPEG: loading it needs Qt's jpeg image format plugin at run time.
    return QPixmap(QStringLiteral(":/identity/logo.jpg"));
}

} // namespace plaintrove::identity
