#include "frmHelp.h"

#include "Common.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

namespace hiragana {

namespace {

// Kept exactly, spaces and mixed-width brackets included: the blank lines give the text its rhythm.
constexpr const char16_t* kHelpLines[] = {
    u"■　低学年のみなさんへ  　　（一般の方は下側の説明をお読み下さい）",
    u"   ",
    u"　　｢あいうえお｣や「がぎぐげご｣や「さっぱり｣のような字(ｼﾞ)をローマ字を使(ﾂｶ)って書(ｶ)いてみましょう。",
    u"　　 ",
    u"　　[開始](ｶｲｼ)ボタンをクリックすると入力欄(ﾆｭｳﾘｮｸﾗﾝ)にカーソルがでてきますので、お手本(ﾃﾎﾝ)",
    u"     ",
    u"　　のローマ字を書きます。一行(ｲﾁｷﾞｮｳ)全部(ｾﾞﾝﾌﾞ)のローマ字をいれたら[Enter(エンター)]キーを",
    u"     ",
    u"　　おします。字をまちがえたときは、(←　→)キーをおして、まちがった字のうしろにカーソルを",
    u"     ",
    u"　　うつして、BackSpase(バックスペース) キーをおして字を消(ｹ)して正(ﾀﾀﾞ)しい字を書きます。",
    u"     ",
    u"     ",
    u"■　一般の方     ",
    u"     ",
    u"　　この変換方式はマイクロソフト社Windowsに標準に装備されている「かな漢字変換」のMS-IME",
    u"",
    u"　　によるものです。",
    u"   ",
    u"",
    u"",
    u"□　平がなの記入",
    u"",
    u"　　日本語入力システムがローマ字入力になっているときは、ローマ字を入力すると自動的に",
    u"",
    u"　　平がなに変換されます。",
    u"",
    u"",
    u"□　入力ミス",
    u"",
    u"　　あいうえお等の入力を間違えると、Enter キーを押しても次に進むことができません。",
    u"",
    u"　　矢印キーと削除(Del  -- カーソルの後の文字を消す --)キーやバックスペース(BackSpace",
    u"　　-- カーソルの前の文字を消す --)キーを使ってローマ字を修正して下さい。",
    u"",
    u"",
    u"□　平がなのローマ字表現法は多様",
    u"",
    u"　　平がなをローマ字で表す方法はここで表示される以外の方法もあります。",
    u"",
    u"　　例えば　ち：ti は chi、ふ：hu は fu 等です。詳細については、MS-IMEの解説書を参照下さい。",
    u"",
    u"",
    u"□　漢字への変換",
    u"",
    u"　　平がなを漢字に変換するときはスペースキーを押すなどの方法がありますが、",
    u"",
    u"　　詳細は、MS-IMEの解説書を参照下さい。",
    u"",
    u"",
    u"□　ゐ、ゑの入力",
    u"",
    u"　　｢ＩＭＥパッド｣の｢文字一覧｣｢ひらがな｣を開いて、その中からクリックして取出します。",
    u"",
    u"   ",
};

} // namespace

QString HelpText() {
    QString text;
    for (const char16_t* line : kHelpLines) {
        text += QString::fromUtf16(line) + QStringLiteral("\r\n");
    }
    return text;
}

frmHelp::frmHelp(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(QStringLiteral("説  明"));
    CMN_SetWindowSize(this, 651, 388);
    const QString face = QStringLiteral("ＭＳ Ｐゴシック");
    setFont(CMN_Font(face, 12));

    Label1 = new QLabel(QStringLiteral("ローマ字によるかな変換の概要"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(56, 16, 212, 16);
    Label1->setMinimumWidth(Label1->sizeHint().width()); // the designed width is narrower than the text

    txtMsg = new QPlainTextEdit(this);
    txtMsg->setObjectName(QStringLiteral("txtMsg"));
    txtMsg->setFont(CMN_Font(face, 9));
    txtMsg->setGeometry(48, 56, 553, 273);
    txtMsg->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtMsg->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtMsg->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtMsg->setReadOnly(true);
    // The box shows lines; its own line breaks are plain "\n".
    txtMsg->setPlainText(HelpText().replace(QStringLiteral("\r\n"), QStringLiteral("\n")));

    cmdCancel = new QPushButton(QStringLiteral("閉じる"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setFont(CMN_Font(face, 11.25, true));
    cmdCancel->setGeometry(528, 352, 73, 25);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::accept);
}

} // namespace hiragana
