// Common's own helpers shared between its source files; not part of the programs' interface.
#pragma once

#include <QBrush>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

class QPainter;
class QPainterPath;

namespace cmn_detail {

// Where a sound server of this session would be found. The sound module plays through PulseAudio (or
// PipeWire's stand-in for it); without one it has nothing to play on.
struct SoundPlaces {
    QString serverVariable; // PULSE_SERVER
    QString runtimeDir;     // XDG_RUNTIME_DIR
    QString pulseRuntime;   // PULSE_RUNTIME_PATH
    QString display;        // DISPLAY: a server may be announced on a remote display
    QStringList sockets;    // the system-wide sockets
    QStringList configFiles;
    bool daemonInstalled = false; // a server that starts when asked for

    static SoundPlaces ofThisSession();
};

// False only when no server can answer: loading the module then buys nothing but its libraries.
bool soundServerMayAnswer(const SoundPlaces& places);

// Renders ":/<folder>/<stem>.svg" (or loads the .png) at `ratio` device pixels per logical pixel; the
// image's devicePixelRatio says so. The logical size is the SVG's own unless `size` is valid. Null when
// there is no such picture.
QImage loadPicture(const QString& folder, const QString& stem, QSize size = {}, qreal ratio = 1);

// A picture CMN_PreloadPictures read ahead for `base` (":/bitmap/129") at `ratio`, handed over once; null
// when there is none.
QImage takePreloaded(const QString& base, qreal ratio);
// The black back surface CMN_PreloadPictures made ahead for `logical` at `ratio`, handed over once; null
// when there is none of that size.
QImage takePreloadedBack(QSize logical, qreal ratio);
// Lets go of the pictures read ahead that no window asked for.
void dropPreloaded();

// Logical to device pixels. Edges are rounded one by one, so neighbouring cells of a sheet stay
// neighbours at any ratio.
int toDevice(int logical, qreal ratio);
QRect toDevice(const QRect& logical, qreal ratio);
QSize deviceSize(QSize logical, qreal ratio);
QSize logicalSize(const QImage& image);

// The width of the outline that draws bold in `font` (a family without a bold face asked for bold); 0 when
// Qt draws it (not bold, or a real bold face).
qreal boldOutline(const QFont& font);
// Fills `glyphs` with `ink` and strokes them `outline` wide: bold that keeps its weight at every scale.
void fillOutlined(QPainter& painter, const QPainterPath& glyphs, const QBrush& ink, qreal outline);
// Has the widgets' captions drawn with that bold (set up by CMN_InitApplication).
void useBoldTextStyle();

// Where a program learns that the program that started it was in full screen ("1").
inline constexpr char kFullScreenVariable[] = "HALVOR_FULL_SCREEN";
// Whether the learner has the suite in full screen: the programs this one starts open full screen too.
bool suiteFullScreen();

} // namespace cmn_detail
