#pragma once

#include <QObject>

class QLineEdit;

// Watches one port field of the settings dialog: tells whether it holds a
// usable port, marks it (red frame, explanatory tool tip) when the dialog
// refuses it, and takes the mark away as soon as the text is fixed.
class PortFieldGuard : public QObject
{
    Q_OBJECT

public:
    explicit PortFieldGuard(QLineEdit *field);

    // A disabled field shows the defaults and is therefore always usable.
    bool isAcceptable() const;
    bool isMarked() const { return marked; }
    void mark();
    void clearMark();

private slots:
    void onTextChanged();

private:
    QLineEdit *field;
    bool marked = false;
};
