#include "widgetplugin.h"

#include <utility>

WidgetPlugin::WidgetPlugin(const QString &group, Description description, QObject *parent)
    : QObject(parent), m_group(group), m_description(std::move(description))
{
}

QIcon WidgetPlugin::icon() const
{
    if (m_icon.isNull())
        m_icon = m_description.paintIcon();
    return m_icon;
}

void WidgetPlugin::initialize(QDesignerFormEditorInterface *core)
{
    Q_UNUSED(core);
    m_initialized = true;
}

QString WidgetPlugin::domXml() const
{
    return QStringLiteral("<ui language=\"c++\">\n"
                          " <widget class=\"%1\" name=\"%2\">\n"
                          "  <property name=\"geometry\">\n"
                          "   <rect><x>0</x><y>0</y><width>%3</width><height>%4</height></rect>\n"
                          "  </property>\n"
                          " </widget>\n"
                          "</ui>\n")
        .arg(m_description.className, m_description.objectName)
        .arg(m_description.size.width())
        .arg(m_description.size.height());
}
