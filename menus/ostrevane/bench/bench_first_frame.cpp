#include "FirstFrameBench.h"
#include "Ostrevane.h"

int main(int argc, char* argv[]) {
    return halvor::bench::runFirstFrame<COstrevaneDlg>(argc, argv, "Ostrevane");
}
