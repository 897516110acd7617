// The splash screen and the information screen: their designs, and the keys and clicks that
// move on from them (or must not).

#include "ApplicationInfo.h"
#include "DesignUnits.h"
#include "Form.h"
#include "FormTesting.h"
#include "frmAbout.h"
#include "frmPlaintrove.h"
#include "frmSplash.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>

using namespace plaintrove;

using plaintrove::testing::pixelRect;
using plaintrove::testing::pixels;

namespace {

const QColor red(255, 0, 0);

template <class W = QWidget> W *child(QWidget &window, const char *name)
{
    return window.findChild<W *>(QLatin1String(name));
}

bool isPaintedRed(const QWidget &widget)
{
    return widget.autoFillBackground() && widget.palette().color(QPalette::Window) == red;
}

// Unloads whatever the previous test left loaded (the main window shows its successor while it
// unloads, so go round until nothing is left) and lets the deleted windows go.
bool showAndActivate(QWidget &window)
{
    window.show();
    return QTest::qWaitForWindowExposed(&window) && QTest::qWaitForWindowActive(&window);
}

struct KeyStroke
{
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
};

} // namespace

Q_DECLARE_METATYPE(KeyStroke)

class SplashAboutTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void splashWindowDesign();
    void splashControlDesign_data();
    void splashControlDesign();
    void splashLabelsFollowTheirText_data();
    void splashLabelsFollowTheirText();
    void splashLoadSetsCaptionsBeforeShow();
    void splashKeys_data();
    void splashKeys();
    void splashClicks_data();
    void splashClicks();

    void aboutWindowDesign();
    void aboutControlDesign_data();
    void aboutControlDesign();
    void aboutRulesAreDrawn();
    void aboutLoadSetsVersionBeforeShow();
    void aboutFocus();
    void aboutKeysAndClicks_data();
    void aboutKeysAndClicks();
    void aboutCloseBoxOpensNothing();
};

void SplashAboutTest::initTestCase()
{
    app::applyApplicationInfo();
    QApplication::setQuitOnLastWindowClosed(false);
}

void SplashAboutTest::init()
{
    QVERIFY2(runtime::loadedForms().isEmpty(), qPrintable(testing::loadedFormNames().join(u',')));
}

void SplashAboutTest::cleanup()
{
    testing::unloadAllForms();
}

// --- splash screen ---------------------------------------------------------------------------

void SplashAboutTest::splashWindowDesign()
{
    frmSplash &splash = runtime::defaultInstance<frmSplash>();

    QCOMPARE(splash.windowType(), Qt::Tool); // not in the task bar
    QVERIFY(splash.windowFlags().testFlag(Qt::FramelessWindowHint));
    const QSize client(pixels(7380), pixels(4236));
    QCOMPARE(splash.size(), client);
    QCOMPARE(splash.minimumSize(), client);
    QCOMPARE(splash.maximumSize(), client);
    QVERIFY(isPaintedRed(splash));
    QVERIFY(splash.keyPreview());
    QVERIFY(splash.windowTitle().isEmpty());
    QVERIFY(!splash.windowIcon().isNull());

    QVERIFY(showAndActivate(splash));
    const QRect available = splash.screen()->availableGeometry();
    const QPoint offset = splash.frameGeometry().center() - available.center();
    QVERIFY2(qAbs(offset.x()) <= 1 && qAbs(offset.y()) <= 1,
        qPrintable(QStringLiteral("off centre by %1,%2").arg(offset.x()).arg(offset.y())));

    // The margin around the frame and the frame's own surface both show red on screen.
    const QImage image = splash.grab().toImage();
    const qreal dpr = image.devicePixelRatio();
    const auto pixel = [&](QPoint p) { return image.pixelColor((QPointF(p) * dpr).toPoint()); };
    QCOMPARE(pixel({ 3, 100 }), red);
    QCOMPARE(pixel(child(splash, "Frame1")->mapTo(&splash, QPoint(440, 40))), red);
}

void SplashAboutTest::splashControlDesign_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("box"); // in pixels; for labels that follow their text: design box
    QTest::addColumn<bool>("isLabel");
    QTest::addColumn<qreal>("pointSize");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<int>("alignment");

    const int leftTop = int(Qt::AlignLeft | Qt::AlignTop);
    QTest::newRow("Frame1") << "Frame1" << pixelRect(150, 60, 7080, 4050) << false << 0.0 << false
                            << 0;
    QTest::newRow("imgLogo") << "imgLogo" << pixelRect(120, 240, 972, 948) << false << 0.0 << false
                             << 0;
    QTest::newRow("lblCompanyProduct") << "lblCompanyProduct" << pixelRect(1200, 360, 3840, 420)
                                       << true << 18.0 << true << leftTop;
    QTest::newRow("lblProductName")
        << "lblProductName" << pixelRect(1320, 1440, 4320, 756) << true << 32.4 << true << leftTop;
    QTest::newRow("lblVersion") << "lblVersion" << pixelRect(5280, 2520, 888, 288) << true << 12.0
                                << true << int(Qt::AlignRight | Qt::AlignTop);
    QTest::newRow("lblWarning") << "lblWarning" << pixelRect(150, 3660, 6855, 195) << true << 8.4
                                << false << int(Qt::AlignHCenter | Qt::AlignTop);
}

void SplashAboutTest::splashControlDesign()
{
    QFETCH(QString, name);
    QFETCH(QRect, box);
    QFETCH(bool, isLabel);
    QFETCH(qreal, pointSize);
    QFETCH(bool, bold);
    QFETCH(int, alignment);

    frmSplash &splash = runtime::defaultInstance<frmSplash>();
    auto *frame = child<QFrame>(splash, "Frame1");
    QVERIFY(frame);
    QWidget *widget = splash.findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(widget->parentWidget(), name == u"Frame1" ? static_cast<QWidget *>(&splash) : frame);

    if (name == u"Frame1") {
        QCOMPARE(widget->geometry(), box);
        QVERIFY(isPaintedRed(*widget));
        return;
    }
    if (name == u"imgLogo") {
        auto *logo = qobject_cast<QLabel *>(widget);
        QVERIFY(logo);
        QCOMPARE(logo->geometry(), box);
        QVERIFY(logo->hasScaledContents()); // stretched to the box
        QVERIFY(!logo->pixmap().isNull());
        return;
    }

    QVERIFY(isLabel);
    auto *label = qobject_cast<QLabel *>(widget);
    QVERIFY(label);
    QCOMPARE(label->font().family(), QStringLiteral("Arial"));
    QCOMPARE(label->font().pointSizeF(), pointSize);
    QCOMPARE(label->font().bold(), bold);
    QCOMPARE(int(label->alignment()), alignment);
    QVERIFY(isPaintedRed(*label));
    if (name == u"lblWarning") {
        QCOMPARE(label->geometry(), box);
        QCOMPARE(label->text(), QStringLiteral("Press spacebar to continue"));
    }
}

void SplashAboutTest::splashLabelsFollowTheirText_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("design");
    QTest::addColumn<bool>("growsLeft");

    QTest::newRow("lblCompanyProduct") << "lblCompanyProduct"
                                       << "Orrinway's" << pixelRect(1200, 360, 3840, 420) << false;
    QTest::newRow("lblProductName") << "lblProductName"
                                    << "Plaintrove" << pixelRect(1320, 1440, 4320, 756) << false;
    QTest::newRow("lblVersion") << "lblVersion"
                                << "Version 2.0.1" << pixelRect(5280, 2520, 888, 288) << true;
}

void SplashAboutTest::splashLabelsFollowTheirText()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QRect, design);
    QFETCH(bool, growsLeft);

    frmSplash &splash = runtime::defaultInstance<frmSplash>();
    auto *label = splash.findChild<QLabel *>(name);
    QVERIFY(label);
    QCOMPARE(label->text(), text);

    // The box is the text's, measured for the text the label holds after loading.
    const QFontMetrics metrics(label->font());
    QCOMPARE(label->size(), label->sizeHint());
    QVERIFY(label->width() >= metrics.horizontalAdvance(text));
    QVERIFY(label->height() >= metrics.height());
    QCOMPARE(label->y(), design.y());
    if (growsLeft)
        QCOMPARE(label->x() + label->width(), design.x() + design.width());
    else
        QCOMPARE(label->x(), design.x());
}

void SplashAboutTest::splashLoadSetsCaptionsBeforeShow()
{
    frmSplash &splash = runtime::defaultInstance<frmSplash>();
    QVERIFY(!splash.isVisible());
    QCOMPARE(child<QLabel>(splash, "lblVersion")->text(), QStringLiteral("Version 2.0.1"));
    QCOMPARE(child<QLabel>(splash, "lblProductName")->text(), QStringLiteral("Plaintrove"));
}

void SplashAboutTest::splashKeys_data()
{
    QTest::addColumn<KeyStroke>("stroke");
    QTest::addColumn<bool>("movesOn");

    QTest::newRow("letter") << KeyStroke { Qt::Key_Q, Qt::NoModifier } << true;
    QTest::newRow("capital letter") << KeyStroke { Qt::Key_Q, Qt::ShiftModifier } << true;
    QTest::newRow("digit") << KeyStroke { Qt::Key_7, Qt::NoModifier } << true;
    QTest::newRow("Enter") << KeyStroke { Qt::Key_Return, Qt::NoModifier } << true;
    QTest::newRow("Escape") << KeyStroke { Qt::Key_Escape, Qt::NoModifier } << true;
    QTest::newRow("space bar") << KeyStroke { Qt::Key_Space, Qt::NoModifier } << true;
    QTest::newRow("Left") << KeyStroke { Qt::Key_Left, Qt::NoModifier } << false;
    QTest::newRow("F1") << KeyStroke { Qt::Key_F1, Qt::NoModifier } << false;
    QTest::newRow("Shift alone") << KeyStroke { Qt::Key_Shift, Qt::ShiftModifier } << false;
}

void SplashAboutTest::splashKeys()
{
    QFETCH(KeyStroke, stroke);
    QFETCH(bool, movesOn);

    const QPointer<frmSplash> splash = &runtime::defaultInstance<frmSplash>();
    QVERIFY(showAndActivate(*splash));
    QTest::keyClick(splash->windowHandle(), stroke.key, stroke.modifiers);
    QCoreApplication::processEvents();

    QCOMPARE(runtime::isLoaded<frmSplash>(), !movesOn);
    QCOMPARE(runtime::isLoaded<frmAbout>(), movesOn);
    if (movesOn) {
        QVERIFY(!splash || !splash->isVisible());
        QVERIFY(runtime::defaultInstance<frmAbout>().isVisible());
    } else {
        QVERIFY(splash && splash->isVisible());
    }
    QCOMPARE(runtime::loadedForms().size(), 1);
}

void SplashAboutTest::splashClicks_data()
{
    QTest::addColumn<QString>("target"); // the control hit, or empty for the window's own margin
    QTest::addColumn<QPoint>("where"); // in the window; a null point means the target's centre
    QTest::addColumn<bool>("movesOn");

    // (440, 40) in the frame lies right of the company line and above the product name.
    QTest::newRow("frame surface")
        << "Frame1" << (QPoint(440, 40) + pixelRect(150, 60, 0, 0).topLeft()) << true;
    QTest::newRow("frame border") << "Frame1" << pixelRect(150, 60, 0, 0).topLeft() << true;
    QTest::newRow("window margin") << "" << QPoint(3, 100) << false;
    for (const char *name :
        { "imgLogo", "lblCompanyProduct", "lblProductName", "lblVersion", "lblWarning" })
        QTest::newRow(name) << name << QPoint() << false;
}

void SplashAboutTest::splashClicks()
{
    QFETCH(QString, target);
    QFETCH(QPoint, where);
    QFETCH(bool, movesOn);

    frmSplash &splash = runtime::defaultInstance<frmSplash>();
    QVERIFY(showAndActivate(splash));
    QWidget *const hit = target.isEmpty() ? nullptr : splash.findChild<QWidget *>(target);
    QVERIFY(target.isEmpty() || hit);
    if (where.isNull())
        where = hit->mapTo(&splash, hit->rect().center());
    QCOMPARE(splash.childAt(where), hit); // the click lands where the row means it to

    QTest::mouseClick(splash.windowHandle(), Qt::LeftButton, Qt::NoModifier, where);
    QCoreApplication::processEvents();

    QCOMPARE(runtime::isLoaded<frmSplash>(), !movesOn);
    QCOMPARE(runtime::isLoaded<frmAbout>(), movesOn);
    QCOMPARE(runtime::loadedForms().size(), 1);
}

// --- information screen ----------------------------------------------------------------------

void SplashAboutTest::aboutWindowDesign()
{
    frmAbout &about = runtime::defaultInstance<frmAbout>();

    QCOMPARE(about.windowTitle(), QStringLiteral("About Plaintrove"));
    QCOMPARE(about.windowType(), Qt::Tool); // not in the task bar
    const Qt::WindowFlags flags = about.windowFlags();
    QVERIFY(!flags.testFlag(Qt::FramelessWindowHint));
    QVERIFY(flags.testFlag(Qt::WindowTitleHint));
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(isPaintedRed(about));
    QVERIFY(!about.windowIcon().isNull());

    const QSize client(pixels(8676), pixels(4896));
    QCOMPARE(about.minimumSize(), client);
    QCOMPARE(about.maximumSize(), client);
    const QRect screen = about.screen()->geometry();
    const QRect expected(screen.topLeft() + QPoint(pixels(2340), pixels(1932)), client);
    QCOMPARE(about.geometry(), expected); // the client area, not the frame

    QVERIFY(showAndActivate(about));
    QCOMPARE(about.geometry(), expected); // loading and showing move nothing
}

void SplashAboutTest::aboutControlDesign_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("box");
    QTest::addColumn<QString>("text");

    QTest::newRow("cmdOK") << "cmdOK" << pixelRect(7320, 4440, 1260, 345) << "OK";
    // A picture box takes the size of its 40 x 40 picture.
    QTest::newRow("picIcon") << "picIcon" << QRect(pixels(240), pixels(120), 40, 40) << "";
    QTest::newRow("lblDescription")
        << "lblDescription" << pixelRect(240, 840, 8292, 444)
        << "This program converts HTML to ordinary ASCII Text by stripping the HTML Codes.";
    QTest::newRow("lblTitle") << "lblTitle" << pixelRect(1056, 120, 7476, 480) << "Plaintrove";
    QTest::newRow("lblVersion") << "lblVersion" << pixelRect(1056, 600, 7476, 228)
                                << "Version 2.0.1";
}

void SplashAboutTest::aboutControlDesign()
{
    QFETCH(QString, name);
    QFETCH(QRect, box);
    QFETCH(QString, text);

    frmAbout &about = runtime::defaultInstance<frmAbout>();
    QWidget *widget = about.findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(widget->parentWidget(), &about);
    QCOMPARE(widget->geometry(), box);

    if (auto *button = qobject_cast<QPushButton *>(widget)) {
        QCOMPARE(button->text(), text);
        QVERIFY(button->isDefault());
        return;
    }
    auto *label = qobject_cast<QLabel *>(widget);
    QVERIFY(label);
    if (name == u"picIcon") {
        QCOMPARE(label->pixmap().deviceIndependentSize().toSize(), QSize(40, 40));
        QVERIFY(!label->hasScaledContents());
        QVERIFY(label->palette().color(QPalette::Window) != red); // the platform's colours
        return;
    }
    QCOMPARE(label->text(), text);
    QVERIFY(isPaintedRed(*label));
    if (name == u"lblTitle") {
        QCOMPARE(label->font().family(), QStringLiteral("MS Sans Serif"));
        QCOMPARE(label->font().pointSizeF(), 13.8);
        QVERIFY(!label->font().bold());
    } else {
        QCOMPARE(label->font(), QApplication::font(label));
    }
    if (name != u"lblVersion")
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(Qt::black));
}

void SplashAboutTest::aboutRulesAreDrawn()
{
    frmAbout &about = runtime::defaultInstance<frmAbout>();
    QCOMPARE(child(about, "Line1")->geometry(),
        QRect(pixels(4200), pixels(2400), 1, pixels(4800 - 2400)));
    QCOMPARE(child(about, "Line2")->geometry(),
        QRect(pixels(4200), pixels(2400), pixels(8520 - 4200), 1));

    const QImage image = about.grab().toImage();
    const qreal dpr = image.devicePixelRatio();
    const auto pixel = [&](int twipsX, int twipsY) {
        return image.pixelColor((QPointF(pixels(twipsX), pixels(twipsY)) * dpr).toPoint());
    };
    const QColor ink = about.palette().color(QPalette::WindowText);
    QCOMPARE(pixel(4200, 3600), ink); // on Line1
    QCOMPARE(pixel(6300, 2400), ink); // on Line2
    QCOMPARE(pixel(4260, 3600), red); // beside them, the window's red
    QCOMPARE(pixel(6300, 2460), red);
}

void SplashAboutTest::aboutLoadSetsVersionBeforeShow()
{
    frmAbout &about = runtime::defaultInstance<frmAbout>();
    QVERIFY(!about.isVisible());
    QCOMPARE(child<QLabel>(about, "lblVersion")->text(), QStringLiteral("Version 2.0.1"));
}

void SplashAboutTest::aboutFocus()
{
    frmAbout &about = runtime::defaultInstance<frmAbout>();
    QWidget *ok = child(about, "cmdOK");
    QVERIFY(ok);

    // The button is the only control the Tab key visits, so it is first in the tab order.
    QList<QWidget *> tabStops;
    for (QWidget *widget : about.findChildren<QWidget *>())
        if (widget->focusPolicy() & Qt::TabFocus)
            tabStops.append(widget);
    QCOMPARE(tabStops, QList<QWidget *> { ok });

    QCOMPARE(about.focusWidget(), ok);
    QVERIFY(showAndActivate(about));
    QCOMPARE(QApplication::focusWidget(), ok);
}

void SplashAboutTest::aboutKeysAndClicks_data()
{
    QTest::addColumn<QString>("action"); // "key" or "click"
    QTest::addColumn<KeyStroke>("stroke");
    QTest::addColumn<bool>("focusOnOK"); // otherwise nothing in the window has the focus
    QTest::addColumn<bool>("opensMain");

    const KeyStroke none { Qt::Key_unknown, Qt::NoModifier };
    QTest::newRow("click OK") << "click" << none << true << true;
    QTest::newRow("Enter") << "key" << KeyStroke { Qt::Key_Return, Qt::NoModifier } << true << true;
    QTest::newRow("keypad Enter") << "key" << KeyStroke { Qt::Key_Enter, Qt::KeypadModifier }
                                  << true << true;
    QTest::newRow("Escape") << "key" << KeyStroke { Qt::Key_Escape, Qt::NoModifier } << true
                            << true;
    QTest::newRow("space bar on OK")
        << "key" << KeyStroke { Qt::Key_Space, Qt::NoModifier } << true << true;
    QTest::newRow("Enter, no focus")
        << "key" << KeyStroke { Qt::Key_Return, Qt::NoModifier } << false << true;
    QTest::newRow("Escape, no focus")
        << "key" << KeyStroke { Qt::Key_Escape, Qt::NoModifier } << false << true;
    QTest::newRow("letter") << "key" << KeyStroke { Qt::Key_X, Qt::NoModifier } << true << false;
    QTest::newRow("letter, no focus")
        << "key" << KeyStroke { Qt::Key_X, Qt::NoModifier } << false << false;
    QTest::newRow("F1") << "key" << KeyStroke { Qt::Key_F1, Qt::NoModifier } << true << false;
}

void SplashAboutTest::aboutKeysAndClicks()
{
    QFETCH(QString, action);
    QFETCH(KeyStroke, stroke);
    QFETCH(bool, focusOnOK);
    QFETCH(bool, opensMain);

    frmAbout &about = runtime::defaultInstance<frmAbout>();
    QVERIFY(showAndActivate(about));
    auto *ok = child<QPushButton>(about, "cmdOK");
    if (!focusOnOK) {
        ok->clearFocus();
        QCOMPARE(QApplication::focusWidget(), nullptr);
    }

    if (action == u"click")
        QTest::mouseClick(ok, Qt::LeftButton);
    else
        QTest::keyClick(about.windowHandle(), stroke.key, stroke.modifiers);
    QCoreApplication::processEvents();

    QCOMPARE(runtime::isLoaded<frmAbout>(), !opensMain);
    QCOMPARE(runtime::isLoaded<frmPlaintrove>(), opensMain);
    if (opensMain)
        QVERIFY(runtime::defaultInstance<frmPlaintrove>().isVisible());
    QCOMPARE(runtime::loadedForms().size(), 1);
}

void SplashAboutTest::aboutCloseBoxOpensNothing()
{
    frmAbout &about = runtime::defaultInstance<frmAbout>();
    QVERIFY(showAndActivate(about));
    QVERIFY(about.close());
    QCoreApplication::processEvents();
    QVERIFY(!runtime::isLoaded<frmAbout>());
    QVERIFY(!runtime::isLoaded<frmPlaintrove>());
    QVERIFY(runtime::loadedForms().isEmpty());
}

QTEST_MAIN(SplashAboutTest)
#include "frmSplashAboutTest.moc"
