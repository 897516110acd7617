#include "ApplicationInfo.h"
#include "Form.h"
#include "frmSplash.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    plaintrove::app::applyApplicationInfo();
    // The windows end the program themselves once the last of them is unloaded.
    QApplication::setQuitOnLastWindowClosed(false);
    plaintrove::runtime::defaultInstance<plaintrove::frmSplash>().show();
    return QApplication::exec();
}
