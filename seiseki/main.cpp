#include "App.h"

int main(int argc, char* argv[]) {
    return seiseki::run(argc, argv);
}
