// The window both menus are made of: a fixed 720 x 540 picture with picture buttons placed in pixels,
// looping music, the hand cursor over the buttons, Enter and Esc swallowed, and program starts that close
// the menu on success.
#pragma once

#include <QDialog>
#include <QImage>
#include <QString>
#include <span>
#include <vector>

class CMN_PictureButton;
struct CMN_SoundBuffer;

namespace halvor {

// One picture button: control id, caption (naming its pictures "<caption>U"/"<caption>D") and the
// top-left corner of its place.
struct MenuButton {
    int id;
    const char* caption;
    int x;
    int y;
};

// Resources and caption of a menu.
struct MenuLook {
    const char* titleKey;
    int backgroundId; // ":/bitmap/<id>.svg", 720 x 540
    int musicId;      // ":/wave/<id>.wav", looped
    int cursorId;     // ":/cursor/<id>.svg", the hand
    int cursorHotX;
    int cursorHotY;
    int iconId; // ":/icon/<id>.svg"
};

class MenuWindow : public QDialog {
    Q_OBJECT
public:
    // Buttons are placed in table order; tabOrder lists their ids in focus order, the first holding the
    // focus at start (Space presses the focused button).
    MenuWindow(const MenuLook& look, std::span<const MenuButton> buttons, std::span<const int> tabOrder,
               QWidget* parent = nullptr);
    ~MenuWindow() override;

    CMN_PictureButton* button(int id) const;
    bool musicPlaying() const;

    // Every way out of the dialog passes here: END, the close box, a posted close.
    void done(int result) override;

signals:
    // Emitted once, as the window closes, after the sound is released and the leaving work is done.
    void closed();

protected:
    // A button of the table was clicked while the menu is not leaving.
    virtual void buttonClicked(int id) = 0;
    // Called once as the window closes, after the sound is released (the course menu starts the top menu).
    virtual void onClose() {}
    // Called as soon as a program started, before queued input is discarded (a close box clicked
    // meanwhile may close the menu during the discarding).
    virtual void onProgramStarted() {}

    // Silences and stops the music (the volume drops first, so no tail is heard).
    void stopMusic();
    // Starts `file` with `argument` and this program as the return path. On success the menu closes and
    // true is returned; on failure it stays, with the music stopped. With discardInput, clicks and keys
    // that queued up during the start are dropped, so a quick double click starts one program only.
    bool startProgram(const QString& file, const QString& argument, bool discardInput);
    // Leaves the menu by a queued close, so the normal close path runs after the current handler.
    void postClose();

    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool initSound(int musicId);
    void startMusic();
    void finish();
    void discardQueuedInput();
    bool ownsObject(QObject* object) const;

    int backgroundId_ = 0;
    QImage background_;
    std::vector<CMN_PictureButton*> buttons_;
    std::vector<int> ids_;
    CMN_SoundBuffer* primary_ = nullptr;
    CMN_SoundBuffer* music_ = nullptr;
    bool soundReleased_ = false;
    bool discarding_ = false;
    bool leaving_ = false; // a start succeeded or the menu is closing: no button acts any more
    bool finished_ = false;
};

} // namespace halvor
