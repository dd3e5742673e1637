// The Common library: the one way from the programs to the platform (windows, frames, number panel,
// program start and command line, paths, fonts, drawing surfaces, sprites, textured squares, text, sound,
// start-up message, picture buttons). The library owns everything it makes; callers free nothing.
#pragma once

#include <QAbstractButton>
#include <QCursor>
#include <QFont>
#include <QImage>
#include <QMessageBox>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <QStringList>
#include <functional>
#include <initializer_list>

class QKeyEvent;
class QPainter;
class QWidget;

// Colours as the programs pass them: 0x00BBGGRR. Pure blue (0xFF0000) is the transparent key.
using COLORREF = quint32;
QColor CMN_ColorFromRef(COLORREF colour);

// ---- Application and fonts --------------------------------------------------------------------------------

// Called first in every program's main: with the one argument --version or --help the program says its
// version, or how it is used (`arguments` after its name, and what it is), on standard output, and true
// is returned: main then returns 0 at once, before any window or display is needed.
bool CMN_AnswerInfoOption(int argc, char* argv[], const char* arguments, const char* what);
// Called first in every program's main, before the QApplication: when no display can be reached the program
// says so in one line (and how to run headless for tests) and exits with status 1, rather than aborting.
void CMN_PrepareDisplay(const char* program);
// Called in main after CMN_PrepareDisplay with the pictures the first frame shows ("bitmap/129",
// "cursor/134"): they are read on another core while the window system is being set up. A program that
// draws through CMN_DXInitDirectDraw7 names the size of its drawing frame too, and its back surface is
// made there as well: fresh memory is slow to touch the first time.
void CMN_PreloadPictures(std::initializer_list<const char*> names, QSize backSurface = {});
// The drawing frame CMN_SetFrameSize gives a drill in its 720 x 540 window.
inline constexpr QSize CMN_kDrillDrawSize{704, 444};
// The line CMN_PrepareDisplay prints for `program` (its path or name).
QString CMN_NoDisplayText(const QString& program);
// Called once by every program's main after the QApplication exists: font substitution, logging, the
// full-screen key.
void CMN_InitApplication();
// Runs `task` on the GUI thread once the program's first window has been painted (at once when one has, or
// when there is no application): what the first frame does not need waits until the learner sees it.
void CMN_AfterFirstFrame(std::function<void()> task);
// The window's icon ":/icon/<name>", set once its first frame is on the screen.
void CMN_SetWindowIcon(QWidget* window, const QString& name);
// The entry point `entry` of the module `name` (modules/<name>.so beside the program, or in HALVOR_MODULES):
// what only some runs need is loaded when first needed. Null, with the reason in `why`, when it cannot be.
QFunctionPointer CMN_LoadModule(const char* name, const char* entry, QString* why = nullptr);
// F11 shows the program's 720 x 540 window scaled to fill the screen (aspect kept, the rest in its
// background colour) and F11 again leaves; no widget ever sees the key. Set up by CMN_InitApplication.
// Full screen is the suite's state: a program started by one in full screen opens full screen, and every
// dialog or message shown meanwhile is scaled like the window and centred on the screen (one as large as
// the window covers the screen), with nothing to do for its caller.
void CMN_EnableFullScreenKey();
bool CMN_IsFullScreen(const QWidget* window);
// A message for the learner over `owner` with an OK button, shown at once and left to the learner: the
// caller goes on, the owner takes no input meanwhile, and the box is freed when closed. A newer message of
// the same owner and non-empty `topic` closes the older ones, so messages about one thing never pile up.
// `name` is the box's object name. Null without an application.
QMessageBox* CMN_ShowMessage(QWidget* owner, QMessageBox::Icon icon, const QString& caption,
                             const QString& text, const QString& name = {}, const QString& topic = {});
// Device pixels per logical pixel that `widget` is shown at (its screen's ratio, times the zoom of full
// screen). Pictures made at this ratio are drawn one to one.
qreal CMN_PixelRatio(const QWidget* widget);
// The picture ":/bitmap/<name>.svg" (or .png) at `ratio` (its devicePixelRatio), at its own logical size
// or `size`; null when missing.
QImage CMN_LoadPicture(const QString& name, qreal ratio, QSize size = {});
// Whether every pixel of `image` is fully opaque, so nothing under it shows.
bool CMN_IsOpaque(const QImage& image);
// "ＭＳ ゴシック" -> IPAGothic, "ＭＳ Ｐゴシック" -> IPAPGothic; size in points at 96 dpi (px = pt * 4 / 3).
QFont CMN_Font(const QString& face, double points, bool bold = false);
// QPainter::drawText in the painter's font and pen, with bold that shows at every scale: the Japanese fonts
// have no bold face, and the bold Qt makes of them thins as the screen's scale grows. Widgets' captions
// (labels, buttons) are drawn this way by themselves once CMN_InitApplication has run.
void CMN_DrawText(QPainter& painter, const QRectF& rect, int flags, const QString& text);

// ---- Window
// ------------------------------------------------------------------------------------------------

// Keys: "OSTREVANE", "Quenmarl", "PELVORAN11", "PELVORAN12", "TAVREL11", "TAVREL23". What the program's
// start gave CMN_SetCaptionSuffix follows the caption, after "　－　".
void CMN_SetWindowTitle(const char* key, QWidget* window);
QString CMN_WindowTitle(const char* key); // the caption a key stands for; empty for an unknown key
// What follows every caption (on a shared computer, the learner's name); asked at each CMN_SetWindowTitle.
// The program's start sets it; nullptr: nothing follows.
void CMN_SetCaptionSuffix(std::function<QString()> suffix);

// Fixes the client area of a top-level window at width x height.
void CMN_SetWindowSize(QWidget* window, int width, int height);
// Places a top-level window in the middle of the screen, as dialogs are placed, so the learner's window
// stays in one place from program to program.
void CMN_CentreWindow(QWidget* window);
// The characters a key event types; empty when Ctrl, Alt or the system key is held, since such a chord is
// a command whatever text it carries.
QString CMN_TypedText(const QKeyEvent* event);
// Places the drill's drawing frame (8, 8, 704 x 444 in a 720 x 540 window), its panel frame
// (8, 460, 704 x 72) and the help, graph and end buttons of the panel. A null button is left alone.
void CMN_SetFrameSize(QWidget* window, QWidget* drawFrame, QWidget* panelFrame, QWidget* helpButton,
                      QWidget* graphButton, QWidget* endButton);
// Paints the panel fill and the sunken borders of both frames on the window (call from paintEvent).
void CMN_RedrawFrame(QWidget* window, QPainter& dc, QWidget* drawFrame, QWidget* panelFrame,
                     COLORREF panelColour);

// A number of the panel: value, position in window pixels, digits (2 or 3), flag 1.
struct tagKirokuNumber {
    int value = 0;
    int x = 0;
    int y = 0;
    int digits = 3;
    int flag = 1;
};
void CMN_RedrawKirokuNumber(QPainter& dc, const tagKirokuNumber& number);
QRect CMN_KirokuNumberRect(const tagKirokuNumber& number); // the area a number paints, for update()

// ---- Programs and command lines
// ----------------------------------------------------------------------------

// Starts the program `file` (a bare name; ".exe" is dropped) from the running program's folder. With
// passCaller 1 the new program's command line is "\"<its path>\" \"<caller's full path>\" <argument>".
// Returns non-zero once the program started.
int CMN_STDExecPGM2(const QString& file, const QString& argument, int passCaller, QWidget* window);
// Starts a command line such as "\"/path/Quenmarl\"" (first token the program, the rest its arguments).
int CMN_ExecPGM2(const QString& command, int = 0, int = 0, QWidget* window = nullptr);
// The running program's command line, rebuilt from argv in the quoted form the programs parse:
// "\"program\" \"return path\" argument".
QString CMN_GetCommandLine();
// The same line made of main's arguments, for use before the application exists.
QString CMN_CommandLineOf(int argc, char* argv[]);
// The second quoted token of a command line, quotes included, opened by its third double quote; empty when
// the line has fewer than three. This is the program a drill starts again as it closes.
QString CMN_ReturnCommand(const QString& commandLine);
// Tests replace how programs are started; nullptr restores the real start (QProcess::startDetached).
using CMN_Launcher = std::function<bool(const QString& program, const QStringList& arguments)>;
void CMN_SetLauncher(CMN_Launcher launcher);
// The full path of a program of the suite: the executable of that base name next to the running program.
QString CMN_ProgramPath(const QString& file);

// A small message window at screen point x, y ("起動中です"); close it with close(). Null on failure.
QWidget* CMN_DispStartupMsg(QWidget* owner, int x, int y, const QString& text);

// ---- Drawing surfaces
// ---------------------------------------------------------------------------------------

// A drawing surface: an image in premultiplied ARGB. Bitmaps are resources ":/bitmap/<id>.svg" (or .png),
// drawn at the size their file gives in logical pixels, at the device pixel ratio of the drawing frame (the
// image's devicePixelRatio), so they are sharp on a scaled screen. Every position and size the drawing
// functions take is in logical pixels.
struct CMN_Surface {
    QImage image;
    int resourceId = 0;
    bool colourKeyed = false;
};

// Makes the back surface for a drawing-frame widget (its size); null on failure. One per program.
CMN_Surface* CMN_DXInitDirectDraw7(QWidget* frame);
// Whether bitmap `id` is among the program's resources (nothing is drawn).
bool CMN_DXHasBitmap(int id);
// Loads bitmap `id` into a new surface (surface null) or reloads it into `surface`. Null on failure.
CMN_Surface* CMN_DXCreateSurfaceFromBitmap(CMN_Surface* surface, int id);
// Makes pixels of exactly the key colour transparent; a null surface sets the key for later loads.
int CMN_DXSetColorKey(CMN_Surface* surface, COLORREF low, COLORREF high);
// Draws `source` (or its `sourceRect` part) at x, y of `dest`, clipped at dest's edges.
int CMN_DXPutSurface(CMN_Surface* dest, int x, int y, CMN_Surface* source, const QRect* sourceRect = nullptr);
// Text at x, y (top left). size in tenths of a point; mode 1 transparent back, 2 opaque back; bold 1 or 0.
int CMN_DXTextOut(CMN_Surface* surface, int x, int y, const QString& text, const QString& face, int size,
                  COLORREF colour, COLORREF back, int mode, int bold, int = 0, int = 0);
// A surface's size in logical pixels (its image holds CMN_PixelRatio device pixels per logical one).
QSize CMN_SurfaceSize(const CMN_Surface* surface);
// Shows the back surface in the drawing frame.
void CMN_DXFlip();
// Called when surfaces must be rebuilt (for example after a change of screen scale).
void CMN_DXSetRestoreCallbackFunc(std::function<void()> restore);
void CMN_DXReleaseDirectDraw7();

// A sprite of the list that CMN_DXPutAllSprites draws into the back surface, in list order.
struct tagSprite {
    int visible = 0;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    CMN_Surface* surface = nullptr;
    int sourceY = 0; // top of the sprite's cell in its surface
};
tagSprite* CMN_DXInitSprite(int count);
void CMN_DXPutAllSprites();
void CMN_DXReleaseSprite();

// ---- Textured squares
// ---------------------------------------------------------------------------------------

struct CMN_Texture {
    QImage image;
    int resourceId = 0;
};
// A textured square: its rectangle on the back surface, its texture and its angle in degrees, clockwise.
struct tagD3DPlain {
    QRect rect;
    CMN_Texture* texture = nullptr;
    int angle = 0;
};
int CMN_D3InitDirect3D7(CMN_Surface* backSurface);
CMN_Texture* CMN_D3CreateTextureFromBitmap(CMN_Texture* texture, int id);
void CMN_D3TransRectToVertex(tagD3DPlain& plain, const QRect& rect);
int CMN_D3PutD3DPlain(const tagD3DPlain& plain);
void CMN_D3ReleaseDirect3D7();

// ---- Sound
// --------------------------------------------------------------------------------------------------

// A sound buffer; WAVE resources are ":/wave/<id>.wav". With no audio device every call succeeds silently.
struct CMN_SoundBuffer;
CMN_SoundBuffer* CMN_DSInitDirectSound(QWidget* window);
CMN_SoundBuffer* CMN_DSCreateBufferFromWave(CMN_SoundBuffer* buffer, int id);
int CMN_DSPlaySound(CMN_SoundBuffer* buffer, int loop);
int CMN_DSStopSound(CMN_SoundBuffer* buffer);
int CMN_DSIsPlayingSound(CMN_SoundBuffer* buffer);
int CMN_DSSetVolume(CMN_SoundBuffer* buffer, int hundredthsOfDecibel);
int CMN_DSSetCurrentPosition(CMN_SoundBuffer* buffer, int position);
void CMN_DSSetRestoreCallbackFunc(std::function<void()> restore);
void CMN_DSReleaseDirectSound();
// Tests force the set-up to fail, so a program's "close at once" road can be exercised.
void CMN_DSForceInitFailure(bool fail);
void CMN_DXForceInitFailure(bool fail);
// Tests stand in for an audio output appearing (true) or going away (false), as the system reports it.
void CMN_DSForceOutputChange(bool hasOutput);
// The gain (0 silent .. 1 full) a buffer plays at after CMN_DSSetVolume; -1 for an unknown buffer.
float CMN_DSGainOf(CMN_SoundBuffer* buffer);

// ---- Picture buttons
// ----------------------------------------------------------------------------------------

// A button drawn from two bitmaps named by its caption: "<caption>U" at rest, "<caption>D" pressed
// (":/bitmap/OKU.svg"), sized to the picture, with the program's hand cursor over it.
class CMN_PictureButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit CMN_PictureButton(const QString& caption, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    static void setHandCursor(const QCursor& cursor); // the program's hand, used by every picture button

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void loadFaces(qreal ratio);

    QPixmap up_;
    QPixmap down_;
    qreal ratio_ = 1;
    bool tabbedTo_ = false; // the focus mark shows only for a learner who moves with Tab
};
// The program's hand cursor, ":/cursor/<id>.svg" with its hot spot; the arrow when the resource is missing.
QCursor CMN_LoadCursor(int id, int hotX = 0, int hotY = 0);
