#pragma once

#include <QColor>
#include <QImage>
#include <QLinearGradient>
#include <QString>
#include <QWidget>

// Plain aliases for the level types used in the meter's signatures. They are
// not registered with the meta-type system: the slot is called directly.
using double_position = double;
using double_db = double;
using double_phase = double;
using int_number = int;
using char_none = char;

// A vertical peak programme meter for one channel. The owner writes a level
// in dB, calls calculatePosition() and repaints the meter when that reports a
// new bar height; the meter keeps no timer and no ballistics of its own.
class TVKPPMMeter : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(double dBPosition READ dBPosition WRITE setdBPosition
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(double MindBPosition READ mindBPosition WRITE setMindBPosition
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(double MaxdBPosition READ maxdBPosition WRITE setMaxdBPosition
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(double ReleasePerSecond READ releasePerSecond WRITE setReleasePerSecond
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(
        bool DINCurve READ dINCurve WRITE setDINCurve DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(bool GradientBackground READ gradientBackground WRITE setGradientBackground
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(bool GradientForground READ gradientForground WRITE setGradientForground
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(
        QColor MaxColor READ maxColor WRITE setMaxColor DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(
        QColor MinColor READ minColor WRITE setMinColor DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(QColor MaxBackgroundColor READ maxBackgroundColor WRITE setMaxBackgroundColor
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(QColor MinBackgroundColor READ minBackgroundColor WRITE setMinBackgroundColor
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(QString SkinEnvironmentVariable READ skinEnvironmentVariable WRITE
                   setSkinEnvironmentVariable DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(QString PPMMeterBackgroundFileName READ pPMMeterBackgroundFileName WRITE
                   setPPMMeterBackgroundFileName DESIGNABLE true SCRIPTABLE true STORED true)

public:
    explicit TVKPPMMeter(QWidget *parent = nullptr);
    ~TVKPPMMeter() override;

    double dBPosition() const { return m_dBPosition; }
    // Stores the level exactly like the slot, but requests no repaint: the
    // owner's meter drive writes every tick and repaints only when
    // calculatePosition() reports a changed bar height.
    void setLevelWithoutRepaint(double_db level);

    double mindBPosition() const { return m_mindBPosition; }
    void setMindBPosition(double value);
    double maxdBPosition() const { return m_maxdBPosition; }
    void setMaxdBPosition(double value);
    // Stored and reported only; the release is the owner's work.
    double releasePerSecond() const { return m_releasePerSecond; }
    void setReleasePerSecond(double value);

    bool dINCurve() const { return m_dinCurve; }
    void setDINCurve(bool value);
    bool gradientBackground() const { return m_gradientBackground; }
    void setGradientBackground(bool value);
    bool gradientForground() const { return m_gradientForground; }
    void setGradientForground(bool value);

    QColor maxColor() const { return m_maxColor; }
    virtual void setMaxColor(const QColor &color);
    QColor minColor() const { return m_minColor; }
    virtual void setMinColor(const QColor &color);
    QColor maxBackgroundColor() const { return m_maxBackgroundColor; }
    virtual void setMaxBackgroundColor(const QColor &color);
    QColor minBackgroundColor() const { return m_minBackgroundColor; }
    virtual void setMinBackgroundColor(const QColor &color);

    QString skinEnvironmentVariable() const { return m_skinEnvironmentVariable; }
    void setSkinEnvironmentVariable(const QString &name);
    QString pPMMeterBackgroundFileName() const { return m_backgroundFileName; }
    void setPPMMeterBackgroundFileName(const QString &fileName);

    // Threshold line; the owner sets the level first, then the flag, then
    // calls update().
    double silenceLevel() const { return m_silenceLevel; }
    void setSilenceLevel(double level);
    bool silenceMarker() const { return m_silenceMarker; }
    void setSilenceMarker(bool on);

    // Clamps the level into the limits (writing it back), recomputes the bar
    // and 0 dB heights for the current height and returns true when the bar
    // height in pixels changed since the previous call.
    bool calculatePosition();
    // Repaints the pixel rows that the last change reported by
    // calculatePosition() can have changed; the rest of the picture stays as
    // it is. For the owner's per-tick repaint: a few rows instead of the bar.
    void updateChangedRows();

    // Heights in pixels above the bottom edge, as of the last
    // calculatePosition(); always within 0..height().
    int barHeight() const { return m_barHeight; }
    int zeroHeight() const { return m_zeroHeight; }

public slots:
    void setdBPosition(double_db NewdBPosition);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void updateScale();
    void loadBackground();
    int levelToHeight(double level, int height) const;

    QImage m_background;
    double m_dBPosition = -50.0;
    int m_lastBarHeight = 0;
    int m_barHeight = 0;
    // The bar height before the last change calculatePosition() reported.
    int m_previousBarHeight = 0;
    int m_zeroHeight = 0;
    double m_mindBPosition = -50.0;
    double m_maxdBPosition = 5.0;
    bool m_silenceMarker = false;
    double m_silenceLevel = -50.0;
    double m_releasePerSecond = 18.0;
    bool m_dinCurve = true;
    bool m_gradientBackground = true;
    bool m_gradientForground = false;
    QColor m_maxColor;
    QColor m_minColor;
    QColor m_maxBackgroundColor;
    QColor m_minBackgroundColor;
    QString m_skinEnvironmentVariable;
    QString m_backgroundFileName;
    double m_dinBase = 0.0;
    double m_dinSpan = 1.0;
    double m_linearSpan = 55.0;

    // Colour stops are set when a colour changes; painting only places the
    // end points for the current height.
    QLinearGradient m_backgroundGradient;
    QLinearGradient m_barGradient;
};
