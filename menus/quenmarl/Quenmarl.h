// The course menu: eleven buttons each start a drill with its course argument and this menu as the
// return path; END (or the close box) goes back to the top menu.
#pragma once

#include "MenuWindow.h"

#include <span>

class CQuenmarlDlg : public halvor::MenuWindow {
    Q_OBJECT
public:
    enum {
        IDC_D11 = 1100,
        IDC_DM11 = 1101,
        IDC_K12 = 1013,
        IDC_K23 = 1014,
        IDC_D12 = 1103,
        IDC_D13 = 1104,
        IDC_D21 = 1105,
        IDC_D22 = 1106,
        IDC_D23 = 1107,
        IDC_D32 = 1108,
        IDC_D33 = 1109,
        IDC_END = 1110,
    };

    // What a button starts: the program's base name and its course argument.
    struct Course {
        int id;
        const char* program;
        const char* argument;
    };
    static std::span<const Course> courses();

    explicit CQuenmarlDlg(QWidget* parent = nullptr);

    // 1 until a drill was started; while it is 1, leaving the menu starts the top menu again.
    int returnFlag() const { return returnFlag_; }

protected:
    void buttonClicked(int id) override;
    void onClose() override;
    void onProgramStarted() override { returnFlag_ = 0; }

private:
    int returnFlag_ = 1;
};
