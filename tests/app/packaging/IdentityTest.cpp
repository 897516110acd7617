// The icon and the logo as the running program sees them: compiled into the resources, decoded by
// Qt's image plugins (the logo needs the jpeg plugin) and showing the red and yellow design.

#include "identity/Identity.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QTest>

using namespace plaintrove;

namespace {

const QRgb red = qRgb(255, 0, 0);
const QRgb yellow = qRgb(255, 255, 0);

int distance(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b))
        + std::abs(qBlue(a) - qBlue(b));
}

// The share of pixels within `tolerance` (sum of channel differences) of `colour`.
double shareNear(const QImage &image, QRgb colour, int tolerance)
{
    qsizetype near = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            near += distance(image.pixel(x, y), colour) <= tolerance ? 1 : 0;
    return static_cast<double>(near) / static_cast<double>(image.width() * image.height());
}

// Mean difference per channel between two images of one size.
double meanDifference(const QImage &a, const QImage &b)
{
    qint64 total = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            total += distance(a.pixel(x, y), b.pixel(x, y));
    return static_cast<double>(total) / (3.0 * a.width() * a.height());
}

// The marker of the JPEG's frame header (0xC0 baseline, 0xC2 progressive, ...), or -1.
int startOfFrame(const QByteArray &jpeg)
{
    const auto byteAt = [&jpeg](qsizetype i) { return static_cast<unsigned char>(jpeg.at(i)); };
    if (jpeg.size() < 4 || byteAt(0) != 0xFF || byteAt(1) != 0xD8)
        return -1;
    qsizetype at = 2;
    while (at + 4 <= jpeg.size() && byteAt(at) == 0xFF) {
        const int marker = byteAt(at + 1);
        const bool isFrame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8
            && marker != 0xCC;
        if (isFrame)
            return marker;
        at += 2 + (byteAt(at + 2) << 8 | byteAt(at + 3));
    }
    return -1;
}

} // namespace

class IdentityTest : public QObject
{
    Q_OBJECT

private slots:
    void iconHasRendering_data();
    void iconHasRendering();
    void iconOriginalIsSixteenColours();
    void logoLoadsAsBaselineJpeg();
    void logoShowsTheIconsDesign();
};

void IdentityTest::iconHasRendering_data()
{
    QTest::addColumn<int>("size");
    for (const int size : { 16, 32, 48, 64, 128, 256 })
        QTest::newRow(qPrintable(QStringLiteral("%1 px").arg(size))) << size;
}

// Each size is drawn, not scaled from a neighbour, and is the design: red ground, yellow strokes.
void IdentityTest::iconHasRendering()
{
    QFETCH(const int, size);
    const QIcon icon = identity::programIcon();
    QVERIFY(!icon.isNull());
    QVERIFY2(icon.availableSizes().contains(QSize(size, size)),
        "no rendering of this size among the icon's files");

    const QImage image = icon.pixmap(QSize(size, size)).toImage();
    QCOMPARE(image.size(), QSize(size, size));
    QVERIFY(!image.hasAlphaChannel());
    QCOMPARE(image.pixel(0, 0), red);
    QCOMPARE(image.pixel(size - 1, size - 1), red);
    // The slash crosses the centre (at 16 px an edge shade of it).
    QVERIFY(distance(image.pixel(size / 2, size / 2), yellow) < 64);
    // Sizes apart, every rendering is the same design, so about the same area is yellow.
    const double yellowShare = shareNear(image, yellow, 127);
    QVERIFY2(yellowShare > 0.2 && yellowShare < 0.27, qPrintable(QString::number(yellowShare)));
}

void IdentityTest::iconOriginalIsSixteenColours()
{
    QImageReader reader(QStringLiteral(":/identity/icon-32.png"));
    const QImage original = reader.read();
    QVERIFY2(!original.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(original.format(), QImage::Format_Indexed8);
    QVERIFY(original.colorCount() <= 16);
    QVERIFY(!original.hasAlphaChannel());
    for (const QRgb colour : original.colorTable())
        QCOMPARE(qAlpha(colour), 255);

    // The icon shows this file at 32 px, not a scaled neighbour.
    const QImage shown = identity::programIcon().pixmap(QSize(32, 32)).toImage();
    QCOMPARE(shown.convertToFormat(QImage::Format_RGB32),
        original.convertToFormat(QImage::Format_RGB32));
}

void IdentityTest::logoLoadsAsBaselineJpeg()
{
    QVERIFY2(QImageReader::supportedImageFormats().contains("jpeg"),
        "Qt's jpeg image format plugin is missing");
    QFile file(QStringLiteral(":/identity/logo.jpg"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(startOfFrame(file.readAll()), 0xC0); // baseline DCT, not progressive (0xC2)
    file.seek(0);
    QImageReader reader(&file);
    QCOMPARE(reader.format(), QByteArray("jpeg"));

    const QPixmap logo = identity::logoPicture();
    QVERIFY2(!logo.isNull(), "the logo did not load");
    QCOMPARE(logo.size(), QSize(40, 40));
    QVERIFY(!logo.hasAlphaChannel());
}

// The logo is the icon's design at 40 px: the largest icon scaled down differs from it only by
// what JPEG compression loses.
void IdentityTest::logoShowsTheIconsDesign()
{
    const QImage logo = identity::logoPicture().toImage().convertToFormat(QImage::Format_RGB32);
    QVERIFY(!logo.isNull());
    const QImage reference = identity::programIcon()
                                 .pixmap(QSize(256, 256))
                                 .toImage()
                                 .convertToFormat(QImage::Format_RGB32)
                                 .scaled(40, 40, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const double difference = meanDifference(logo, reference);
    QVERIFY2(difference < 12.0, qPrintable(QString::number(difference)));
    QVERIFY(distance(logo.pixel(0, 0), red) < 40);
    QVERIFY(distance(logo.pixel(20, 20), yellow) < 40);
}

QTEST_MAIN(IdentityTest)
#include "IdentityTest.moc"
