// The instructions dialog shows every added line in order and closes by button, Enter and Esc.
#include "Setsumei.h"

#include <QtTest>

#include <QApplication>
#include <QDir>
#include <QFontInfo>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

namespace {

const QStringList kLines = {
    QStringLiteral("  　風車    - - 指の運動訓練 - -"),
    QString(),
    QStringLiteral("□　親指は別として、左手、右手の指1本から4本までの組合せを考えてキーを"),
    QStringLiteral("　　(1) [ｹﾞｰﾑ 開始]ﾎﾞﾀﾝをｸﾘｯｸすると練習(ﾚﾝｼｭｳ)する指(ﾕﾋﾞ)と文字(ﾓｼﾞ)が"),
    QStringLiteral("　  "),
    QStringLiteral("□　文字入力の練習です。練習で入力する文字数は文字入力メニューで選択した２文字か "),
    QString(),
    QStringLiteral("     "),
};

// Runs `act` on the dialog once it is shown modally, then returns what DoModal returned.
int runModal(CSetsumeiDlg& dialog, std::function<void(CSetsumeiDlg&)> act) {
    QTimer::singleShot(0, &dialog, [&dialog, act] {
        QTRY_VERIFY(dialog.isVisible());
        act(dialog);
    });
    return dialog.DoModal();
}

} // namespace

class TestSetsumei : public QObject {
    Q_OBJECT
private slots:
    void showsEveryLineInOrder() {
        CSetsumeiDlg dialog;
        QVERIFY(!dialog.parent());
        for (const QString& line : kLines)
            dialog.AddText(line);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("説明"));
        QCOMPARE(dialog.lines(), kLines);
        auto* text = dialog.findChild<QPlainTextEdit*>(QStringLiteral("txtSetsumei"));
        QVERIFY(text);
        QCOMPARE(text->document()->blockCount(), kLines.size());
        QCOMPARE(text->toPlainText().split(QLatin1Char('\n')), kLines); // empty and all-space lines kept
        QVERIFY(QFontInfo(text->font()).family().contains(QStringLiteral("IPA")));
        // Columns line up: every half-width character is one cell, every full-width one two cells.
        const QFontMetrics metrics(text->font());
        const int half = metrics.horizontalAdvance(QLatin1Char('i'));
        QCOMPARE(metrics.horizontalAdvance(QLatin1Char('W')), half);
        QCOMPARE(metrics.horizontalAdvance(QStringLiteral("ﾚ")), half);
        QCOMPARE(metrics.horizontalAdvance(QStringLiteral("　")), 2 * half);
        QCOMPARE(metrics.horizontalAdvance(QStringLiteral("指")), 2 * half);
        auto* close = dialog.findChild<QPushButton*>(QStringLiteral("cmdClose"));
        QVERIFY(close);
        QCOMPARE(close->text(), QStringLiteral("閉じる"));

        const int result = runModal(dialog, [](CSetsumeiDlg& d) {
            const QString folder = qEnvironmentVariable("HALVOR_SCREENSHOTS");
            if (!folder.isEmpty()) {
                QDir().mkpath(folder);
                d.grab().save(folder + QStringLiteral("/setsumei.png"));
            }
            QTest::mouseClick(d.findChild<QPushButton*>(QStringLiteral("cmdClose")), Qt::LeftButton);
        });
        QCOMPARE(result, CSetsumeiDlg::IDOK);
        QVERIFY(!dialog.isVisible());
    }

    void keysClose_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("result");
        QTest::newRow("Enter") << int(Qt::Key_Return) << CSetsumeiDlg::IDOK;
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << CSetsumeiDlg::IDOK;
        QTest::newRow("Esc") << int(Qt::Key_Escape) << CSetsumeiDlg::IDCANCEL;
    }
    void keysClose() {
        QFETCH(int, key);
        QFETCH(int, result);
        CSetsumeiDlg dialog;
        dialog.AddText(QStringLiteral("□　ゲームの方法"));
        const int got = runModal(dialog, [key](CSetsumeiDlg& d) {
            QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : &d;
            QTest::keyClick(focus, Qt::Key(key));
        });
        QCOMPARE(got, result);
    }

    void scrollsWhenTheLinesDoNotFit() {
        CSetsumeiDlg dialog;
        for (int i = 0; i < 80; ++i)
            dialog.AddText(QStringLiteral("　　%1 行目").arg(i + 1));
        dialog.show();
        auto* text = dialog.findChild<QPlainTextEdit*>(QStringLiteral("txtSetsumei"));
        QTRY_VERIFY(text->verticalScrollBar()->maximum() > 0);
        QCOMPARE(text->document()->blockCount(), 80);
    }
};

QTEST_MAIN(TestSetsumei)
#include "tst_setsumei.moc"
