#include "portfieldguard.h"

#include <QCoreApplication>
#include <QLineEdit>

namespace {
const char *const markedStyleSheet = "QLineEdit { border: 1px solid red; }";
} // namespace

PortFieldGuard::PortFieldGuard(QLineEdit *field) : QObject(field), field(field)
{
    connect(field, SIGNAL(textChanged(QString)), this, SLOT(onTextChanged()));
}

bool PortFieldGuard::isAcceptable() const
{
    return !field->isEnabled() || field->hasAcceptableInput();
}

void PortFieldGuard::mark()
{
    marked = true;
    field->setStyleSheet(QLatin1String(markedStyleSheet));
    // Shown as part of the settings dialog, so it shares the dialog's context.
    field->setToolTip(
        QCoreApplication::translate("CSettingsDialog", "Enter a port number from 1 to 65535."));
}

void PortFieldGuard::clearMark()
{
    marked = false;
    field->setStyleSheet(QString());
    field->setToolTip(QString());
}

void PortFieldGuard::onTextChanged()
{
    if (marked && isAcceptable())
        clearMark();
}
