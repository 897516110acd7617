#include "FormTesting.h"

#include "Form.h"

#include <QCoreApplication>

namespace plaintrove::testing {

void unloadAllForms()
{
    for (int round = 0; round < 5 && !runtime::loadedForms().isEmpty(); ++round) {
        const auto forms = runtime::loadedForms();
        for (runtime::Form *form : forms)
            runtime::unload(*form);
    }
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QString formName(const QObject *form)
{
    return QString::fromLatin1(form->metaObject()->className()).section(QLatin1String("::"), -1);
}

QStringList loadedFormNames()
{
    QStringList names;
    for (const runtime::Form *form : runtime::loadedForms())
        names.append(formName(form));
    names.sort();
    return names;
}

} // namespace plaintrove::testing
