#pragma once

#include <QIcon>
#include <QObject>
#include <QSize>
#include <QString>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

#include <functional>

// One display widget as Qt Designer knows it: its entry in the widget box,
// the header that generated code includes, the size of a new instance and
// the factory.
class WidgetPlugin : public QObject, public QDesignerCustomWidgetInterface
{
    Q_OBJECT
    Q_INTERFACES(QDesignerCustomWidgetInterface)

public:
    struct Description
    {
        QString className;   // as forms name the class
        QString includeFile; // as forms include it
        QString objectName;  // of a new instance
        QSize size;          // of a new instance
        QString toolTip;
        QString whatsThis;
        std::function<QWidget *(QWidget *parent)> create;
        std::function<QIcon()> paintIcon;
    };

    WidgetPlugin(const QString &group, Description description, QObject *parent = nullptr);

    QString name() const override { return m_description.className; }
    QString group() const override { return m_group; }
    QString toolTip() const override { return m_description.toolTip; }
    QString whatsThis() const override { return m_description.whatsThis; }
    QString includeFile() const override { return m_description.includeFile; }
    QIcon icon() const override;
    bool isContainer() const override { return false; }
    QWidget *createWidget(QWidget *parent) override { return m_description.create(parent); }
    bool isInitialized() const override { return m_initialized; }
    void initialize(QDesignerFormEditorInterface *core) override;
    QString domXml() const override;

private:
    QString m_group;
    Description m_description;
    bool m_initialized = false;
    // Painted on first use: Designer asks for it once the application exists.
    mutable QIcon m_icon;
};
