#pragma once

// Helpers for tests that open the program's windows.

#include <QString>
#include <QStringList>

class QObject;

namespace plaintrove::testing {

// Unloads every loaded window and lets Qt delete them. Unloading the main window brings up the
// farewell screen, hence more than one round.
void unloadAllForms();

// The class name of a window without its namespace, such as "frmAbout".
QString formName(const QObject *form);

// The names of the loaded windows, sorted.
QStringList loadedFormNames();

} // namespace plaintrove::testing
