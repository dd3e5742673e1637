#include "Quenmarl.h"

#include "Common.h"
#include "Database.h"

#include <QLabel>

namespace {

constexpr halvor::MenuButton kButtons[] = {
    {CQuenmarlDlg::IDC_D11, "D11", 70, 133},  {CQuenmarlDlg::IDC_DM11, "DM11", 70, 266},
    {CQuenmarlDlg::IDC_K12, "K12", 70, 400},  {CQuenmarlDlg::IDC_K23, "K23", 286, 266},
    {CQuenmarlDlg::IDC_D12, "D12", 557, 241}, {CQuenmarlDlg::IDC_D13, "D13", 557, 274},
    {CQuenmarlDlg::IDC_D21, "D21", 557, 305}, {CQuenmarlDlg::IDC_D22, "D22", 557, 336},
    {CQuenmarlDlg::IDC_D23, "D23", 557, 369}, {CQuenmarlDlg::IDC_D32, "D32", 557, 402},
    {CQuenmarlDlg::IDC_D33, "D33", 557, 433}, {CQuenmarlDlg::IDC_END, "END", 297, 499},
};

constexpr int kTabOrder[] = {
    CQuenmarlDlg::IDC_END, CQuenmarlDlg::IDC_D11, CQuenmarlDlg::IDC_DM11, CQuenmarlDlg::IDC_D12,
    CQuenmarlDlg::IDC_D13, CQuenmarlDlg::IDC_D21, CQuenmarlDlg::IDC_D22,  CQuenmarlDlg::IDC_D32,
    CQuenmarlDlg::IDC_D33, CQuenmarlDlg::IDC_D23, CQuenmarlDlg::IDC_K12,  CQuenmarlDlg::IDC_K23,
};

constexpr CQuenmarlDlg::Course kCourses[] = {
    {CQuenmarlDlg::IDC_D11, "Pelvoran11", ""},  {CQuenmarlDlg::IDC_DM11, "Sorvanel11", ""},
    {CQuenmarlDlg::IDC_K12, "Tavrel11", "12"},  {CQuenmarlDlg::IDC_K23, "Tavrel23", ""},
    {CQuenmarlDlg::IDC_D12, "Pelvoran12", "1"}, {CQuenmarlDlg::IDC_D13, "Pelvoran12", "2"},
    {CQuenmarlDlg::IDC_D21, "Pelvoran12", "3"}, {CQuenmarlDlg::IDC_D22, "Pelvoran12", "4"},
    {CQuenmarlDlg::IDC_D23, "Pelvoran12", "5"}, {CQuenmarlDlg::IDC_D32, "Pelvoran12", "6"},
    {CQuenmarlDlg::IDC_D33, "Pelvoran12", "7"},
};

constexpr halvor::MenuLook kLook{"Quenmarl", 147, 155, 206, 9, 2, 128};

} // namespace

std::span<const CQuenmarlDlg::Course> CQuenmarlDlg::courses() {
    return kCourses;
}

CQuenmarlDlg::CQuenmarlDlg(QWidget* parent) : MenuWindow(kLook, kButtons, kTabOrder, parent) {
    // On a shared computer the chosen name stays in sight, so nobody practises under another child's name.
    if (!DB_SharedComputer())
        return;
    auto* learner = new QLabel(QStringLiteral("れんしゅう する ひと： %1").arg(DB_Learner()), this);
    learner->setObjectName(QStringLiteral("lblLearner"));
    learner->setTextFormat(Qt::PlainText);
    learner->setFont(CMN_Font(QStringLiteral("ＭＳ Ｐゴシック"), 15, true));
    learner->setStyleSheet(
        QStringLiteral("color: #1d2b57; background: rgba(255, 255, 255, 220); padding: 4px 10px;"
                       " border-radius: 8px;"));
    learner->adjustSize();
    learner->move(width() - learner->width() - 16, 12);
}

void CQuenmarlDlg::buttonClicked(int id) {
    if (id == IDC_END) {
        stopMusic();
        postClose();
        return;
    }
    for (const Course& course : kCourses) {
        if (course.id != id)
            continue;
        startProgram(QString::fromLatin1(course.program), QString::fromLatin1(course.argument), true);
        return;
    }
}

void CQuenmarlDlg::onClose() {
    // Leaving without starting a drill goes back to the top menu; its failure is not the menu's concern.
    if (returnFlag_ == 1)
        CMN_STDExecPGM2(QStringLiteral("Ostrevane"), QString(), 0, nullptr);
}
