// The top menu: the title picture, the start button to the course menu, the link to the guide or home
// page, the end button, the version label and looping music.
#pragma once

#include "MenuWindow.h"

#include <QPointer>
#include <QUrl>

class QLabel;

class COstrevaneDlg : public halvor::MenuWindow {
    Q_OBJECT
public:
    enum { IDC_OK = 1000, IDC_URL = 1001, IDC_END = 1002 };

    explicit COstrevaneDlg(QWidget* parent = nullptr);

    // The page the URL button opens: $HALVOR_HOME_PAGE, else the setting "Ostrevane/homePage", else the
    // suite's own guide (so the button works offline).
    static QUrl homePage();
    // The guide as found from the programs' folder: the installed data folder, else the build tree's copy.
    static QUrl guidePage(const QString& programDir);

    // What the learner reads when no browser can be started.
    static QString noBrowserText();
    // How long "起動中です" stays at most while the browser starts (its window taking the focus ends it).
    static constexpr int kStartingMessageMs = 1500;

    QLabel* versionLabel() const { return version_; }
    // Keeps the label's right edge 16 pixels from the window's whatever the text's width.
    void setVersionText(const QString& text);

protected:
    void buttonClicked(int id) override;

private:
    // Asks who is practising and sets HALVOR_LEARNER; false when the learner went back.
    bool chooseLearner();
    void openHomePage();
    void closeStartingMessage();

    QLabel* version_ = nullptr;
    QPointer<QWidget> startingMessage_; // up while the browser starts; the URL button waits meanwhile
};
