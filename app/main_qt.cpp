#include "platform/qt/QtMain.h"

int main(int argc, char** argv) {
    return zb::RunQtApp(argc, argv);
}
