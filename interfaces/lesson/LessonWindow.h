// The window both lessons are built on: a fixed 720 x 540 window whose drawing area covers it, pages drawn
// from bitmap surfaces and turned with the wipe by hot spots, the hand cursor over what is clickable, Enter
// and Esc swallowed, and on closing the program that started the lesson started again.
#pragma once

#include "LessonPages.h"
#include "Presence.h"
#include "Wipe.h"

#include <Common.h>
#include <QCursor>
#include <QWidget>
#include <Random.h>
#include <map>
#include <memory>
#include <vector>

namespace halvor::lesson {

// A test's random source when given; else the C runtime's generator seeded by the time, kept in `own`.
Random& randomOrSeeded(Random* given, std::unique_ptr<Random>& own);

class LessonWindow : public QWidget {
    Q_OBJECT
public:
    // bitmapIds: every bitmap the lesson draws, its pages first in page order. commandLine: the lesson's
    // own command line, whose quoted second token is started again on closing.
    LessonWindow(const char* captionKey, std::vector<int> bitmapIds, int iconId, int handCursorId,
                 QString commandLine, QWidget* parent = nullptr);
    ~LessonWindow() override;

    bool drawingReady() const { return back_ != nullptr; }
    bool wiping() const { return wipe_.running(); }
    // Ends a running wipe at once (tests; closing).
    void finishWipe() { wipe_.finishNow(); }
    QWidget* drawArea() const { return drawArea_; }
    CMN_Surface* backSurface() const { return back_; }
    // The program that closing starts (the quoted path), empty when the command line has none.
    QString returnCommand() const { return returnCommand_; }
    // Whether the hand cursor shows over the drawing area now.
    bool handShown() const { return handShown_; }

protected:
    // The page machinery of the lesson; the window turns its pages.
    virtual PageBook& book() = 0;
    const PageBook& book() const { return const_cast<LessonWindow*>(this)->book(); }
    // Draws the current page and whatever its exercise shows on the back surface (no flip).
    virtual void render() = 0;
    // A page turn is about to wipe (the old page's exercise stops), and has ended on `page`.
    virtual void turnStarting() {}
    virtual void pageEntered(int page) = 0;
    // Clicks that are not hot spots (START, targets); true when the click was used.
    virtual bool pageClicked(QPoint) { return false; }
    virtual bool pageClickable(QPoint) const { return false; }
    // The second press of a double-click; true when the page used it, else it counts as a press of its own.
    virtual bool pageDoubleClicked(QPoint) { return false; }
    virtual void pageMouseMoved(QPoint, bool /*buttonDown*/) {}
    virtual void pageMouseReleased(QPoint) {}
    // A character typed (not Enter or Esc, not a held key's repeats).
    virtual void typed(QChar) {}
    // What the page on show asks of the learner, for the live class view: an exercise under way, or done,
    // with its figures. A page without an exercise has none going.
    struct Exercise {
        bool going = false;
        bool done = false;
        presence::Figures figures;
    };
    virtual Exercise exercise() const { return {}; }

    CMN_Surface* surface(int id) const;
    CMN_Surface* pageSurface(int page) const;
    // Renders and shows the back surface.
    void redraw();
    // Turns to page t with the wipe; ignored out of range, on the current page, or while a wipe runs.
    void turnTo(int t);
    // Closes through the normal close path once the current event is done.
    void postClose();
    void updateCursor(QPoint p);

    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Tells the live class view the page and its exercise: a start, its figures, its end.
    void tellPresence();
    bool setUpDrawing();
    bool loadSurfaces(bool reload);
    void releaseDrawing();

    int reportedPage_ = 0;
    bool exercising_ = false;
    std::vector<int> bitmapIds_;
    mutable std::map<int, CMN_Surface*> surfaces_; // loaded when first drawn
    CMN_Surface* back_ = nullptr;
    QWidget* drawArea_ = nullptr;
    QCursor hand_;
    Wipe wipe_;
    QString returnCommand_;
    bool closed_ = false;
    bool handShown_ = false;
};

} // namespace halvor::lesson
