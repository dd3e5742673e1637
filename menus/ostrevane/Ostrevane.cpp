#include "Ostrevane.h"

#include "Common.h"
#include "LearnerPicker.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLoggingCategory>
#include <QPainter>
#include <QPalette>
#include <QPointer>
#include <QSettings>
#include <QTimer>

Q_LOGGING_CATEGORY(lcOstrevane, "halvor.menu.ostrevane")

namespace {

constexpr halvor::MenuButton kButtons[] = {
    {COstrevaneDlg::IDC_OK, "OK", 200, 470},
    {COstrevaneDlg::IDC_URL, "URL", 80, 360},
    {COstrevaneDlg::IDC_END, "END", 380, 470},
};
constexpr int kTabOrder[] = {COstrevaneDlg::IDC_OK, COstrevaneDlg::IDC_END, COstrevaneDlg::IDC_URL};

constexpr halvor::MenuLook kLook{"OSTREVANE", 133, 135, 134, 9, 2, 128};

constexpr int kVersionRightMargin = 16;
constexpr int kVersionTop = 12;

// The label shows the project's own version as the picture the build drew ahead (so the first frame reads
// no font), drawn again at the window's pixel ratio when that changes; any other text as text.
class VersionLabel final : public QLabel {
public:
    using QLabel::QLabel;

    // False when the picture is missing.
    bool showPicture() {
        picture_ = CMN_LoadPicture(QStringLiteral("VERSION"), CMN_PixelRatio(this));
        return !picture_.isNull();
    }
    void showText() { picture_ = QImage(); }
    QSize sizeHint() const override {
        return picture_.isNull() ? QLabel::sizeHint() : picture_.deviceIndependentSize().toSize();
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override {
        if (picture_.isNull()) {
            QLabel::paintEvent(event);
            return;
        }
        if (const qreal ratio = CMN_PixelRatio(this); !qFuzzyCompare(ratio, picture_.devicePixelRatio())) {
            if (QImage again = CMN_LoadPicture(QStringLiteral("VERSION"), ratio); !again.isNull())
                picture_ = std::move(again);
        }
        QPainter(this).drawImage(0, 0, picture_);
    }

private:
    QImage picture_;
};

const QString kVersion = QStringLiteral("Ver %1").arg(QStringLiteral(HALVOR_VERSION));

QUrl urlFromSetting(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return {};
    const QUrl url = QUrl::fromUserInput(trimmed);
    // Only pages: a configured address must not make the button run something else.
    const QString scheme = url.scheme();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https") &&
                           scheme != QLatin1String("file"))) {
        qCWarning(lcOstrevane) << "home page address not usable, showing the guide:" << trimmed;
        return {};
    }
    return url;
}

} // namespace

COstrevaneDlg::COstrevaneDlg(QWidget* parent) : MenuWindow(kLook, kButtons, kTabOrder, parent) {
    version_ = new VersionLabel(this);
    version_->setObjectName(QStringLiteral("lblVersion"));
    version_->setFont(CMN_Font(QStringLiteral("ＭＳ Ｐゴシック"), 11, true));
    // Its colour through the palette: a style sheet would bring Qt's style-sheet machinery into the first
    // frame for one label. A label draws no background of its own.
    QPalette colours = version_->palette();
    colours.setColor(QPalette::WindowText, QColor(0x2b, 0x3a, 0x67));
    version_->setPalette(colours);
    setVersionText(kVersion);
}

void COstrevaneDlg::setVersionText(const QString& text) {
    auto* label = static_cast<VersionLabel*>(version_);
    label->setAccessibleName(text);
    if (text == kVersion && label->showPicture()) {
        label->clear();
    } else {
        label->showText();
        label->setText(text);
    }
    version_->adjustSize();
    version_->move(width() - kVersionRightMargin - version_->width(), kVersionTop);
}

QUrl COstrevaneDlg::guidePage(const QString& programDir) {
    const QDir dir(programDir);
    // Installed, the guide lies in the data folder; in the build tree, beside the programs.
    const QString installed =
        QDir::cleanPath(dir.filePath(QStringLiteral(HALVOR_DATA_FROM_PROGRAMS "/guide/index.html")));
    if (QFileInfo::exists(installed))
        return QUrl::fromLocalFile(installed);
    return QUrl::fromLocalFile(dir.filePath(QStringLiteral("guide/index.html")));
}

QUrl COstrevaneDlg::homePage() {
    QUrl url = urlFromSetting(qEnvironmentVariable("HALVOR_HOME_PAGE"));
    if (url.isEmpty())
        url = urlFromSetting(QSettings().value(QStringLiteral("Ostrevane/homePage")).toString());
    return url.isEmpty() ? guidePage(QCoreApplication::applicationDirPath()) : url;
}

void COstrevaneDlg::buttonClicked(int id) {
    switch (id) {
    case IDC_OK:
        // On a shared computer the learner says who is practising; every program started from here on
        // inherits the name. The course menu plays its own music; on failure the top menu stays, silent.
        if (DB_SharedComputer() && !chooseLearner())
            break;
        startProgram(QStringLiteral("Quenmarl"), QString(), false);
        break;
    case IDC_URL:
        openHomePage();
        break;
    case IDC_END:
        setCursor(Qt::ArrowCursor);
        done(1);
        break;
    default:
        break;
    }
}

bool COstrevaneDlg::chooseLearner() {
    LearnerPicker picker(this);
    if (picker.exec() != QDialog::Accepted || picker.chosen().isEmpty())
        return false;
    qputenv("HALVOR_LEARNER", picker.chosen().toUtf8());
    return true;
}

void COstrevaneDlg::openHomePage() {
    // The browser is on its way: a second click would only open another one.
    if (startingMessage_)
        return;
    const QPoint at = QCursor::pos();
    startingMessage_ = CMN_DispStartupMsg(this, at.x(), at.y(), QStringLiteral("起動中です"));
    // When no browser can be started (no xdg-open), the learner is told so in place of a button that does
    // nothing; the reason goes to the log.
    const QUrl page = homePage();
    if (!QDesktopServices::openUrl(page)) {
        qCWarning(lcOstrevane) << "no web browser could be started for" << page
                               << "(xdg-open, from xdg-utils, opens the desktop's browser)";
        closeStartingMessage();
        CMN_ShowMessage(this, QMessageBox::Information, windowTitle(), noBrowserText(),
                        QStringLiteral("noBrowserMessage"), QStringLiteral("browser"));
        return;
    }
    if (!startingMessage_)
        return;
    // The hand-off returns at once, long before the browser shows: the message stays until the browser's
    // window takes the focus from the menu, or for a moment at most, so the learner sees something happen.
    QTimer::singleShot(kStartingMessageMs, startingMessage_, [this] { closeStartingMessage(); });
    connect(qApp, &QGuiApplication::applicationStateChanged, startingMessage_,
            [this](Qt::ApplicationState s) {
                if (s != Qt::ApplicationActive)
                    closeStartingMessage();
            });
}

QString COstrevaneDlg::noBrowserText() {
    return QStringLiteral("ホームページを みる ソフト（ブラウザ）を ひらけませんでした。"
                          "おうちの ひとか せんせいに みて もらって ください。");
}

void COstrevaneDlg::closeStartingMessage() {
    if (!startingMessage_)
        return;
    startingMessage_->close();
    startingMessage_->deleteLater();
    startingMessage_ = nullptr;
}
