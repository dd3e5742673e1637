// The map of what is hard, on the offscreen platform: the cells' colours, the list of the weakest and its
// change since the period before; screenshots for a look at any scale (QT_SCALE_FACTOR).
#include "UnitMapView.h"

#include <QApplication>
#include <QTest>

using namespace seiseki;
using halvor::UnitHistory;

namespace {

UnitHistory row(const QString& run, int day, const QString& unit, int attempts, int misses,
                const QString& wrong = {}) {
    UnitHistory h;
    h.runId = run;
    h.day = QDate(2026, 5, day);
    h.unit = unit;
    h.attempts = attempts;
    h.misses = misses;
    h.wrongKey = wrong;
    return h;
}

// Three runs in the week of 11 May and one the week before: き and the key f are weak.
QList<UnitHistory> history(bool keys) {
    QList<UnitHistory> rows;
    for (int run = 0; run < 3; ++run) {
        const QString id = QStringLiteral("h%1").arg(run);
        if (keys) {
            rows << row(id, 11 + run, "f", 30, 9, "d") << row(id, 11 + run, "j", 30, 0);
            continue;
        }
        rows << row(id, 11 + run, "き", 10, 4, "s") << row(id, 11 + run, "か", 10, 0)
             << row(id, 11 + run, "しゃ", 10, 1, "i") << row(id, 11 + run, "ん", 10, 0);
    }
    if (!keys)
        rows << row("before", 5, "き", 10, 6, "s");
    return rows;
}

} // namespace

class TestMap : public QObject {
    Q_OBJECT
private slots:
    void coloursRunFromGreenToRed();
    void aLearnersMapAndWeakest();
    void theClassMapHasNoKeyboard();
};

void TestMap::coloursRunFromGreenToRed() {
    QVERIFY(MissColour(0).hueF() > 0.3);                     // green
    QVERIFY(MissColour(0.15).hueF() < MissColour(0).hueF()); // towards yellow
    QCOMPARE(MissColour(0.3), MissColour(0.9));              // as red as it gets from 30 %
    QVERIFY(MissColour(0.3).hueF() < 0.02);
}

void TestMap::aLearnersMapAndWeakest() {
    const QDate from(2026, 5, 11);
    const QDate to(2026, 5, 17);
    UnitMapView view(UnitMapView::Scope::Learner);
    view.resize(1000, 640);
    view.setUnits(UnitsWithChange(history(false), from, to, halvor::Weighting::KanaFrequency),
                  UnitsWithChange(history(true), from, to, halvor::Weighting::None));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QCOMPARE(view.listedRows(),
             (QStringList{"き 30 12 40% s よく なった（-20ポイント）", "f 90 27 30% d まえの きかんは なし",
                          "しゃ 30 3 10% i まえの きかんは なし"}));
    // き's cell is red, か's green, a kana not practised white.
    const QImage map = view.findChild<QWidget*>("kanaMap")->grab().toImage();
    int red = 0;
    int green = 0;
    for (int y = 0; y < map.height(); y += 2)
        for (int x = 0; x < map.width(); x += 2) {
            const QColor c = map.pixelColor(x, y);
            red += c.rgb() == MissColour(0.4).rgb();
            green += c.rgb() == MissColour(0).rgb();
        }
    QVERIFY(red > 0 && green > red);
    const QString dir = qEnvironmentVariable("HALVOR_SCREENSHOTS");
    if (!dir.isEmpty())
        view.grab().save(dir + QStringLiteral("/seiseki_map_learner_x%1.png").arg(view.devicePixelRatio()));
}

void TestMap::theClassMapHasNoKeyboard() {
    UnitMapView view(UnitMapView::Scope::Class);
    view.setUnits(UnitsWithChange(history(false), QDate(), QDate(), halvor::Weighting::KanaFrequency),
                  UnitsWithChange(history(true), QDate(), QDate(), halvor::Weighting::None));
    view.show();
    QVERIFY(!view.findChild<QWidget*>("keyboardMap")->isVisible());
    QCOMPARE(view.listedRows().size(), 2); // the kana only
}

QTEST_MAIN(TestMap)
#include "tst_map.moc"
