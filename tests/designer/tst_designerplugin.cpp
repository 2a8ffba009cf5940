// The Designer plugin as Qt Designer and QUiLoader use it: every custom widget
// of the main window's form comes from the plugin's collection as the real
// class, with the properties the form sets, and the form opens with them.
// The test does not link the widgets; it meets them only through the plugin.
// VM_DESIGNER_PLUGIN in the environment names another plugin file, e.g. an
// installed one.
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QMetaProperty>
#include <QPluginLoader>
#include <QUiLoader>
#include <QtTest>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

#include <memory>

namespace {

// One instance of a custom widget in a form, with what the form sets on it.
struct FormWidget
{
    QString className;
    QString objectName;
    QStringList properties;
    QRect geometry;
};

// The custom widget classes a form declares (class to header) and their
// instances.
struct Form
{
    QMap<QString, QString> headers;
    QVector<FormWidget> widgets;
};

QRect rectOf(const QDomElement &property)
{
    const QDomElement rect = property.firstChildElement(QStringLiteral("rect"));
    const auto value = [&rect](const char *name) {
        return rect.firstChildElement(QLatin1String(name)).text().toInt();
    };
    return QRect(value("x"), value("y"), value("width"), value("height"));
}

// The properties set on the widget element (not on its children).
void readProperties(const QDomElement &widget, FormWidget *out)
{
    for (QDomElement p = widget.firstChildElement(QStringLiteral("property")); !p.isNull();
         p = p.nextSiblingElement(QStringLiteral("property"))) {
        const QString name = p.attribute(QStringLiteral("name"));
        out->properties.append(name);
        if (name == QLatin1String("geometry"))
            out->geometry = rectOf(p);
    }
}

bool parse(const QByteArray &xml, QDomDocument *document)
{
    QString error;
    int line = 0;
    if (document->setContent(xml, &error, &line))
        return true;
    qWarning("XML error at line %d: %s", line, qPrintable(error));
    return false;
}

// The widgets of the given classes in a form document (or domXml).
QVector<FormWidget> widgetsOf(const QDomDocument &document, const QStringList &classes)
{
    QVector<FormWidget> widgets;
    const QDomNodeList elements = document.elementsByTagName(QStringLiteral("widget"));
    for (int i = 0; i < elements.size(); ++i) {
        const QDomElement element = elements.at(i).toElement();
        FormWidget widget;
        widget.className = element.attribute(QStringLiteral("class"));
        if (!classes.contains(widget.className))
            continue;
        widget.objectName = element.attribute(QStringLiteral("name"));
        readProperties(element, &widget);
        widgets.append(widget);
    }
    return widgets;
}

Form readForm(const QString &path)
{
    Form form;
    QFile file(path);
    QDomDocument document;
    if (!file.open(QIODevice::ReadOnly) || !parse(file.readAll(), &document))
        return form;
    const QDomNodeList custom = document.elementsByTagName(QStringLiteral("customwidget"));
    for (int i = 0; i < custom.size(); ++i) {
        const QDomElement element = custom.at(i).toElement();
        form.headers.insert(element.firstChildElement(QStringLiteral("class")).text(),
                            element.firstChildElement(QStringLiteral("header")).text());
    }
    form.widgets = widgetsOf(document, form.headers.keys());
    return form;
}

// True when some pixel of the icon is not fully transparent.
bool drawn(const QIcon &icon)
{
    const QImage image = icon.pixmap(QSize(22, 22)).toImage();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) != 0)
                return true;
    return false;
}

} // namespace

class TestDesignerPlugin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void collectionOffersTheFormsWidgets();
    void widgetsAreTheRealClassesWithTheFormsProperties();
    void formOpensWithTheRealWidgets();
    void meterShowsItsLevel();

private:
    QDesignerCustomWidgetInterface *plugin(const QString &className) const;

    QString m_pluginFile;
    QPluginLoader m_loader;
    QList<QDesignerCustomWidgetInterface *> m_widgets;
    Form m_form;
};

void TestDesignerPlugin::initTestCase()
{
    m_pluginFile = qEnvironmentVariable("VM_DESIGNER_PLUGIN", QStringLiteral(VM_DESIGNER_PLUGIN));
    m_loader.setFileName(m_pluginFile);
    QObject *instance = m_loader.instance();
    QVERIFY2(instance, qPrintable(m_loader.errorString()));
    auto *collection = qobject_cast<QDesignerCustomWidgetCollectionInterface *>(instance);
    QVERIFY2(collection, "not a Designer custom widget collection");
    m_widgets = collection->customWidgets();

    m_form = readForm(QStringLiteral(VM_MAIN_FORM));
    QVERIFY(!m_form.headers.isEmpty());
    QVERIFY(!m_form.widgets.isEmpty());
}

QDesignerCustomWidgetInterface *TestDesignerPlugin::plugin(const QString &className) const
{
    for (QDesignerCustomWidgetInterface *widget : m_widgets)
        if (widget->name() == className)
            return widget;
    return nullptr;
}

void TestDesignerPlugin::collectionOffersTheFormsWidgets()
{
    QStringList names;
    for (QDesignerCustomWidgetInterface *widget : m_widgets)
        names.append(widget->name());
    names.sort();
    QCOMPARE(names, m_form.headers.keys());

    for (QDesignerCustomWidgetInterface *widget : m_widgets) {
        const QString name = widget->name();
        // Saved forms include what the plugin names: the form's own header.
        QCOMPARE(widget->includeFile(), m_form.headers.value(name));
        QVERIFY2(!widget->group().isEmpty(), qPrintable(name));
        QCOMPARE(widget->group(), m_widgets.first()->group());
        QVERIFY2(!widget->toolTip().isEmpty(), qPrintable(name));
        QVERIFY2(drawn(widget->icon()), qPrintable(name + QStringLiteral(": icon not drawn")));
        QVERIFY(!widget->isContainer());

        QDomDocument dom;
        QVERIFY2(parse(widget->domXml().toUtf8(), &dom), qPrintable(name));
        const QVector<FormWidget> entries = widgetsOf(dom, {name});
        QCOMPARE(entries.size(), 1);
        QVERIFY(!entries.first().geometry.isEmpty());
    }
}

void TestDesignerPlugin::widgetsAreTheRealClassesWithTheFormsProperties()
{
    QWidget parent;
    for (QDesignerCustomWidgetInterface *widget : m_widgets) {
        const QString name = widget->name();
        QStringList properties;
        for (const FormWidget &used : m_form.widgets)
            if (used.className == name)
                properties += used.properties;
        QDomDocument dom;
        QVERIFY(parse(widget->domXml().toUtf8(), &dom));
        properties += widgetsOf(dom, {name}).first().properties;
        properties.removeDuplicates();
        QVERIFY(!properties.isEmpty());

        QWidget *created = widget->createWidget(&parent);
        QVERIFY2(created, qPrintable(name));
        QCOMPARE(QString::fromLatin1(created->metaObject()->className()), name);
        for (const QString &property : properties) {
            const QMetaObject *meta = created->metaObject();
            const int index = meta->indexOfProperty(property.toLatin1().constData());
            QVERIFY2(index >= 0, qPrintable(name + QLatin1Char('.') + property));
            QVERIFY(meta->property(index).isWritable());
            QVERIFY(meta->property(index).isDesignable(created));
        }
    }
}

void TestDesignerPlugin::formOpensWithTheRealWidgets()
{
    QUiLoader loader;
    loader.clearPluginPaths();
    loader.addPluginPath(QFileInfo(m_pluginFile).absolutePath());
    const QStringList available = loader.availableWidgets();
    for (const QString &name : m_form.headers.keys())
        QVERIFY2(available.contains(name), qPrintable(name));

    QFile file(QStringLiteral(VM_MAIN_FORM));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const std::unique_ptr<QWidget> window(loader.load(&file));
    QVERIFY2(window, qPrintable(loader.errorString()));
    for (const FormWidget &used : m_form.widgets) {
        auto *widget = window->findChild<QWidget *>(used.objectName);
        QVERIFY2(widget, qPrintable(used.objectName));
        QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), used.className);
        QCOMPARE(widget->geometry(), used.geometry);
    }
}

void TestDesignerPlugin::meterShowsItsLevel()
{
    QDesignerCustomWidgetInterface *meterPlugin = plugin(QStringLiteral("TVKPPMMeter"));
    QVERIFY(meterPlugin);
    const std::unique_ptr<QWidget> meter(meterPlugin->createWidget(nullptr));
    meter->resize(16, 200);
    const auto bottomColour = [&meter] {
        const QImage image = meter->grab().toImage();
        return image.pixelColor(image.width() / 2, image.height() - 1);
    };
    // Designer sets the level as a property; nothing else moves the bar.
    QVERIFY(meter->setProperty("dBPosition", 0.0));
    QCOMPARE(bottomColour(), meter->property("MinColor").value<QColor>());
    QVERIFY(meter->setProperty("dBPosition", -50.0));
    QCOMPARE(bottomColour(), meter->property("MinBackgroundColor").value<QColor>());
}

QTEST_MAIN(TestDesignerPlugin)
#include "tst_designerplugin.moc"
