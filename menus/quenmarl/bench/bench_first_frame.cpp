#include "FirstFrameBench.h"
#include "Quenmarl.h"

int main(int argc, char* argv[]) {
    return halvor::bench::runFirstFrame<CQuenmarlDlg>(argc, argv, "Quenmarl");
}
